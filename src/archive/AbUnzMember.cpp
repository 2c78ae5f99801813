// The member decoder: one catalogue item to one file. It resolves the target
// below the base folder, decodes with the member's method (stored, Deflate,
// Deflate64 or a legacy method), asks for passwords, checks the CRC-32 and
// stamps the file. Whatever fails after the file was created removes it.
#include "archive/AbUnzMember.h"

#include <memory>
#include <string>

#include "os/text.h"
#include "rtl/Exception.h"
#include "zip/engine/AbUtils.h"

namespace ab {

namespace {

void RemoveIfExists(const std::string& path) {
  if (os::FileExists(path)) os::RemoveFileForcibly(path);
}

// Whether a stored name, joined to the base folder, could land outside it.
bool LeavesBaseFolder(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '\\') return true;
  if (name.find(':') != std::string::npos) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('\\', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

// Whether a folder or file of a name below the base folder (in the program's
// code page, `\` between folders) would be opened as a device, whose port or
// console would receive the member's bytes.
bool NamesDevice(const std::string& relative) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (os::IsDosDeviceName(os::text::Win1252ToUtf8(part))) return true;
    start = end + 1;
  }
  return false;
}
class ArchivePasswords final : public TAbPasswordKeeper {
 public:
  explicit ArchivePasswords(TAbZipArchive& archive) : archive_(archive) {}
  const std::string& Password() const override { return archive_.ArchivePassword(); }
  void SetPassword(std::string password) override {
    archive_.SetArchivePassword(std::move(password));
  }
  uint8_t TryLimit() const override { return archive_.PasswordTryLimit(); }
  bool CanAsk() const override { return static_cast<bool>(archive_.OnPasswordRequest); }
  std::string Ask(void* sender) override {
    std::string password;
    archive_.OnPasswordRequest(sender != nullptr ? sender : &archive_, password);
    return password;
  }
  // The archive's event answers "" to cancel, as its dialog's Cancel does.
  bool EmptyAnswerCancels() const override { return true; }

 private:
  TAbZipArchive& archive_;
};

}  // namespace

bool ConfirmTargetPath(const std::string& baseFolder, std::string& name, uint8_t options,
                       const TAbOverwriteQueryEvent& confirmOverwrite) {
  std::string stored = name;
  SlashesToBackslashes(stored);
  std::string base = baseFolder;
  if (!base.empty() && base.back() != '\\') base += '\\';
  std::string relative;
  if ((options & ufRestorePath) != 0) {
    if (LeavesBaseFolder(stored)) throw EAbZipUnsafeName(name);
    relative = stored;
  } else {
    relative = NamePart(stored);
  }
  if (NamesDevice(relative)) throw EAbZipUnsafeName(name, "the name of a device");
  std::string fullPath = base + relative;
  std::string folder = FolderPart(fullPath);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (!folder.empty() && !FolderExists(folder)) {
    if ((options & ufCreateFolders) == 0) throw EAbNoSuchDirectory();
    if (!CreateFolderChain(folder)) {
      const uint32_t code = os::LastError();
      throw rtl::EInOutError(static_cast<int32_t>(code), os::SystemErrorMessage(code));
    }
  }
  bool confirm = true;
  if (confirmOverwrite && os::FileExists(fullPath)) confirmOverwrite(fullPath, confirm);
  if (confirm) name = fullPath;
  return confirm;
}

void ExtractMember(TAbZipArchive& sender, TAbZipItem& item, const std::string& newName) {
  std::string target = newName;
  if (!ConfirmTargetPath(sender.BaseFolder(), target, sender.UnpackFlags(),
                         sender.OnOverwriteQuery))
    return;
  auto output = std::make_unique<rtl::TFileStream>(target, rtl::fmCreate);
  try {
    DecodeMemberToStream(sender, item, output.get());
    os::SetLastWriteTimeFromDos(output->Handle(), item.LastModFileDate(), item.LastModFileTime());
    // Attributes go on after closing: a read-only file could not be closed
    // cleanly on every system, and Windows refuses them on a file open
    // without sharing.
    output.reset();
    os::SetFileAttributes(target, item.ExternalFileAttributes());
  } catch (const EAbUserAbort&) {
    output.reset();
    sender.SetState(stInvalid);
    RemoveIfExists(target);
    throw;
  } catch (...) {
    output.reset();
    RemoveIfExists(target);
    throw;
  }
}

void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output) {
  DecodeMemberToStream(archive, item, output, {archive.Stream(), archive.ItemProgressForwarder});
}

void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output,
                          const TAbMemberSource& source) {
  if (output == nullptr) throw EAbBadStream();
  ArchivePasswords passwords(archive);
  // Testing decodes without handing the bytes on.
  const bool testOnly = dynamic_cast<TAbBitBucketStream*>(output) != nullptr;
  const auto overlaps = [&archive, &item] {
    archive.CheckMemberSpans();
    return item.SpanOverlaps();
  };
  const TAbMemberJob job{MemberHeaderOf(item.CentralHeader()), item.Facts(), overlaps,
                         archive.AcceptsNewerVersions(), testOnly, passwords};
  const TAbDecodedMember decoded = DecodeMember(job, source, *output);
  if (decoded.CrcMatches(item.Crc32())) return;
  if (archive.OnItemFailure) {
    archive.OnItemFailure(archive, item, opExtract, fkArchive, AbZipBadCRC);
    return;
  }
  throw EAbZipBadCRC();
}

}  // namespace ab
