// Where the tests find the shared corpus and scratch folders, on both builds.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testing_support {

// Absolute native path of a corpus file ("" when the corpus is absent).
std::string CorpusFile(const std::string& relative);
// Skips the calling test when the corpus is not there.
#define REQUIRE_CORPUS()                                                         \
  do {                                                                           \
    if (testing_support::CorpusFile("README.md").empty())                        \
      GTEST_SKIP() << "corpus not found at " TESSALINE_CORPUS_DIR " (skipping)"; \
  } while (0)

// The path in the form the program's own layers take (Windows form under the
// Win32 build, where a native '/...' path is reached through Z:).
std::string ProgramPath(const std::string& nativePath);

// The native path of a program the build puts beside the demo payload (the
// add-on, the version probes); a test that asks for one that is missing fails.
std::string DemoPayloadFile(const std::string& name);

// The whole file's bytes (empty when it cannot be read).
std::vector<uint8_t> ReadWholeFile(const std::string& nativePath);

// A fresh, empty folder for one test, removed when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Native() const { return native_; }
  std::string Program() const { return ProgramPath(native_); }

 private:
  std::string native_;
};

}  // namespace testing_support
