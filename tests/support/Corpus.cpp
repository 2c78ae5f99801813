#include "support/Corpus.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testing_support {

namespace fs = std::filesystem;

std::string CorpusFile(const std::string& relative) {
  const fs::path path = fs::path(TESSALINE_CORPUS_DIR) / relative;
  std::error_code error;
  return fs::exists(path, error) ? path.string() : std::string();
}

std::string ProgramPath(const std::string& nativePath) {
#ifdef _WIN32
  std::string out = "Z:";
  for (char c : nativePath) out += c == '/' ? '\\' : c;
  return out;
#else
  return nativePath;
#endif
}

std::string DemoPayloadFile(const std::string& name) {
  const fs::path path = fs::path(TESSALINE_BINARY_DIR) / "tools" / "demo-payload" / name;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) ADD_FAILURE() << path.string() << " was not built";
  return path.string();
}

std::vector<uint8_t> ReadWholeFile(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::path(TESSALINE_BINARY_DIR) / "scratch";
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("scratch");
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const fs::path path = base / (name + "." + std::to_string(counter++));
  fs::remove_all(path);
  fs::create_directories(path);
  native_ = path.string();
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  fs::permissions(native_, fs::perms::all, error);
  fs::remove_all(native_, error);
}

}  // namespace testing_support
