#include "Files.h"

#include <exception>

#include "os/os.h"
#include "rtl/Exception.h"
#include "rtl/Stream.h"
#include "zip/engine/AbUtils.h"

namespace mksfx {

namespace {

// Inputs larger than this cannot go into a ZIP without ZIP64 anyway.
constexpr int64_t kLargestFile = 0x7FFFFFFF;

[[noreturn]] void FailOn(const std::string& shown, const std::string& what) {
  const std::string reason = os::SystemErrorMessage(os::LastError());
  throw std::runtime_error(shown + ": " + what + (reason.empty() ? "" : ": " + reason));
}

// Deletes the temporary unless it has been moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (path_.empty()) return;
    os::SetFileAttributes(path_, os::faNormal);
    os::RemoveFile(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

Bytes ReadWholeFile(const std::string& path, const std::string& shown) {
  const uint32_t attributes = os::FileAttributes(path);
  if (attributes == os::kInvalidFileAttributes) FailOn(shown, "cannot be found");
  if (attributes & os::faDirectory) throw std::runtime_error(shown + ": is a folder, not a file");
  try {
    rtl::TFileStream in(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    const int64_t size = in.Size();
    if (size < 0 || size > kLargestFile)
      throw std::runtime_error(shown + ": too large for a ZIP without ZIP64");
    Bytes data(static_cast<size_t>(size));
    in.ReadBuffer(data.data(), static_cast<int32_t>(size));
    return data;
  } catch (const rtl::Exception& error) {
    throw std::runtime_error(shown + ": cannot be read: " + os::AnsiToUtf8(error.Message()));
  }
}

std::string InstallerBesideProgram() {
  const std::string folder = ab::FolderPart(os::ModuleFileName());
  // The build copies it beside mksfx; cmake --install puts it where the
  // install rules say, which may be the same folder.
  std::string installed = TESSALINE_INSTALLER_FROM_BIN;
  for (char& c : installed) {
    if (c == '/') c = '\\';
  }
  if (!installed.empty()) installed += '\\';
  for (const std::string& place : {folder, folder + installed}) {
    for (const char* name : {"CVCustomScrZipBase.exe", "CVCustomScrZipBase"}) {
      const uint32_t attributes = os::FileAttributes(place + name);
      if (attributes != os::kInvalidFileAttributes && !(attributes & os::faDirectory))
        return place + name;
    }
  }
  return "";
}

void WriteWholeOrNothing(const std::string& installer, const Bytes& image,
                         const std::string& target, const std::string& shown,
                         const FileCheck& check) {
  const uint32_t existing = os::FileAttributes(target);
  if (existing != os::kInvalidFileAttributes && (existing & os::faDirectory))
    throw std::runtime_error(shown + ": is a folder");
  if (!os::CopyFile(installer, target + ".mksfx-tmp", false)) FailOn(shown, "cannot be written");
  TemporaryFile temporary(target + ".mksfx-tmp");
  os::SetFileAttributes(temporary.Path(), os::faNormal);  // a read-only installer's copy too
  try {
    rtl::TFileStream out(temporary.Path(), rtl::fmOpenReadWrite | rtl::fmShareExclusive);
    out.WriteBuffer(image.data(), static_cast<int32_t>(image.size()));
  } catch (const rtl::Exception& error) {
    throw std::runtime_error(shown + ": cannot be written: " + os::AnsiToUtf8(error.Message()));
  }
  if (!check(temporary.Path())) throw CheckFailed();
  if (!os::MoveFileReplacing(temporary.Path(), target)) FailOn(shown, "cannot be put in place");
  temporary.Release();
}

}  // namespace mksfx
