// Small helpers the operating-system layer's tests share: files made and read
// natively, so that the layer is checked against something other than itself.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "os/os.h"
#include "support/Corpus.h"

namespace os_test {

inline void WriteNative(const std::string& nativePath, const std::string& content) {
  std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadNative(const std::string& nativePath) {
  const std::vector<uint8_t> bytes = testing_support::ReadWholeFile(nativePath);
  return std::string(bytes.begin(), bytes.end());
}

// A scratch folder with its native and program spellings side by side.
struct Scratch {
  testing_support::ScratchFolder folder;
  std::string Native(const std::string& name) const { return folder.Native() + "/" + name; }
  std::string Program(const std::string& name) const { return folder.Program() + "\\" + name; }
};

// Closes a handle when the test leaves its scope.
class ScopedFile {
 public:
  explicit ScopedFile(os::FileHandle file) : file_(file) {}
  ~ScopedFile() { os::CloseFile(file_); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  os::FileHandle Get() const { return file_; }
  bool Valid() const { return file_.Valid(); }

 private:
  os::FileHandle file_;
};

}  // namespace os_test
