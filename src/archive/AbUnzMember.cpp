// The member decoder: one catalogue item to one file. It resolves the target
// below the base folder, decodes with the member's method (stored, Deflate,
// Deflate64 or a legacy method), asks for passwords, checks the CRC-32 and
// stamps the file. Whatever fails after the file was created removes it.
#include "archive/AbUnzMember.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "archive/AbDfCryS.h"
#include "archive/AbDfDec.h"
#include "archive/AbUnzParallel.h"
#include "archive/AbUnzPrc.h"
#include "archive/AbUtils.h"
#include "archive/AbZipExtra.h"
#include "os/text.h"
#include "rtl/Exception.h"

namespace ab {

namespace {

constexpr uint32_t kTestOnlyFlag = 0x40000000;
constexpr uint32_t kDeflate64Flag = 0x10;
constexpr uint16_t kDataDescriptorFlag = 0x0008;
constexpr uint16_t kStrongEncryptionFlag = 0x0040;
constexpr uint16_t kMaskedDirectoryFlag = 0x2000;

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

void Forward(const TAbMemberSource& source, uint8_t percent, bool& abort) {
  if (source.progress) source.progress(percent, abort);
}

// A verified decrypting reader for a stored member, asking again for the
// password as often as the archive allows.
std::unique_ptr<TAbDfDecryptStream> OpenDecryptedStored(TAbZipArchive& archive,
                                                        rtl::TStream& stream, uint32_t checkWord) {
  int32_t tries = 0;
  bool abort = false;
  EnsurePassword(archive, tries, abort);
  auto reader = std::make_unique<TAbDfDecryptStream>(stream, checkWord, archive.ArchivePassword());
  bool verified = reader->CheckHeader();
  while (!abort && !verified && tries < archive.PasswordTryLimit()) {
    RequestPassword(archive, abort);
    if (abort) throw EAbUserAbort();
    reader = std::make_unique<TAbDfDecryptStream>(stream, checkWord, archive.ArchivePassword());
    ++tries;
    verified = reader->CheckHeader();
  }
  if (tries > archive.PasswordTryLimit() || !verified) throw EAbZipInvalidPassword();
  return reader;
}

// The local header in two reads, the fixed fields and then the name and
// extra field, rather than one read per field; it is checked as ever and the
// stream is left just behind it.
void ReadLocalHeader(rtl::TStream& stream, TAbZipLocalFileHeader& local) {
  constexpr int32_t kFixedSize = 30;
  std::vector<uint8_t> bytes(kFixedSize);
  int32_t got = std::max(stream.Read(bytes.data(), kFixedSize), 0);
  if (got == kFixedSize) {
    const auto variable = static_cast<int32_t>(LoadLittleEndian(bytes.data() + 26, 2) +
                                               LoadLittleEndian(bytes.data() + 28, 2));
    bytes.resize(static_cast<size_t>(kFixedSize + variable));
    got += std::max(stream.Read(bytes.data() + kFixedSize, variable), 0);
  }
  bytes.resize(static_cast<size_t>(got));
  rtl::TMemoryStream header(std::move(bytes));
  local.ReadFrom(header);
}

}  // namespace

int64_t TAbBitBucketStream::Seek(int64_t offset, int origin) {
  const int64_t target = SeekTarget(offset, origin, position_, size_);
  if (target >= 0) position_ = target;
  return target;
}

int32_t TAbBoundedStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (static_cast<uint64_t>(count) > limit_ - written_) throw EAbZipSizeExceeded();
  const int32_t done = target_.Write(buffer, count);
  if (done > 0) written_ += static_cast<uint64_t>(done);
  return done;
}

bool CanExtractNewerVersion(const TAbZipItem& item) {
  // Newer versions are needed for newer methods, strong encryption and
  // ZIP64 (4.5), which is read.
  const uint8_t method = item.CompressionMethod();
  const bool knownMethod = method <= 6 || method == 8 || method == 9;
  const uint16_t flags = item.GeneralPurposeBitFlag();
  const bool plainCipher = (flags & (kStrongEncryptionFlag | kMaskedDirectoryFlag)) == 0;
  return knownMethod && plainCipher;
}

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
  // WinZip AES is known by its method and its field, whatever version the
  // writer claims: taken for the traditional cipher, it would fail its
  // check byte and be reported as a wrong password.
  if (item.CompressionMethod() == kAbWinZipAesMethod ||
      SplitExtraField(item.CentralHeader().ExtraField()).Find(kAbWinZipAesId))
    throw EAbZipWinZipAes();
  // A reader that takes newer versions names the method it cannot read
  // rather than asking for a newer version of itself.
  const uint8_t method = item.CompressionMethod();
  if (archive.AcceptsNewerVersions() && !(method <= 6 || method == 8 || method == 9))
    throw EAbZipMethodNotRead(method);
  if ((item.VersionNeededToExtract() & 0xFF) > 20 &&
      !(archive.AcceptsNewerVersions() && CanExtractNewerVersion(item)))
    throw EAbZipVersion();
  if (item.ExtraFieldDamaged()) throw EAbZipBadExtraField();
  // Sets spread over several files are refused when the catalogue is read.
  if (archive.MultiPart() && item.DiskNumberStart() != archive.CurrentPart())
    throw EAbSpanningNotSupported();
  archive.CheckMemberSpans();
  if (item.SpanOverlaps()) throw EAbZipOverlap();

  rtl::TStream& stream = source.stream;
  const uint64_t offset = item.LocalHeaderOffset64();
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      stream.Seek(static_cast<int64_t>(offset), rtl::soBeginning) != static_cast<int64_t>(offset))
    throw EAbZipInvalid();
  TAbZipLocalFileHeader local;
  ReadLocalHeader(stream, local);
  if (SplitExtraField(local.ExtraField()).DamageMatters()) throw EAbZipBadExtraField();
  const uint32_t checkWord = (local.GeneralPurposeBitFlag() & kDataDescriptorFlag) != 0
                                 ? uint32_t{local.LastModFileTime()} << 16
                                 : item.Crc32();
  // Every decrypting reader takes its header before anything else.
  if (item.IsEncrypted() && item.CompressedSize64() < TAbZipDecryptEngine::kHeaderSize)
    throw EAbZipPastCompressedSize();
  TAbBoundedStream bounded(*output, item.UncompressedSize64());
  uint32_t crc = 0;
  switch (local.CompressionMethod()) {
    case 0:
      crc = CopyStoredMember(archive, item, source, bounded, checkWord);
      break;
    case 8:
    case 9:
      crc = InflateMember(archive, item, source, bounded, checkWord);
      break;
    default:
      crc = DecodeLegacyMember(archive, item, source, bounded, checkWord);
      break;
  }
  if (crc == checkWord || crc == item.Crc32()) return;
  if (archive.OnItemFailure) {
    archive.OnItemFailure(archive, item, opExtract, fkArchive, AbZipBadCRC);
    return;
  }
  throw EAbZipBadCRC();
}

uint32_t CopyStoredMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                          rtl::TStream& output, uint32_t checkWord) {
  // Stored data is its own size: a member whose sizes differ would be
  // copied from bytes its compressed span does not hold, the next member's.
  const uint64_t header = item.IsEncrypted() ? TAbZipDecryptEngine::kHeaderSize : 0;
  const uint64_t span = item.CompressedSize64();
  if (span < header || span - header < item.UncompressedSize64()) throw EAbZipPastCompressedSize();
  if (span - header > item.UncompressedSize64()) throw EAbZipStoredSizesDiffer();
  const auto size = static_cast<int64_t>(
      std::min<uint64_t>(item.UncompressedSize64(), static_cast<uint64_t>(INT64_MAX)));
  int64_t remaining = size;
  int64_t total = 0;
  uint8_t last = 0;
  uint8_t percent = 0;
  bool abort = false;
  uint32_t crc = kCrc32Start;
  uint8_t buffer[1024];
  std::unique_ptr<TAbDfDecryptStream> decrypted;
  auto chunk = [&] { return static_cast<int32_t>(std::min<int64_t>(remaining, sizeof buffer)); };
  try {
    rtl::TStream* reader = &source.stream;
    if (item.IsEncrypted()) {
      decrypted = OpenDecryptedStored(archive, source.stream, checkWord);
      reader = decrypted.get();
    }
    int32_t n = reader->Read(buffer, chunk());
    while (n > 0 && total < size && !abort) {
      total += n;
      remaining -= n;
      percent = static_cast<uint8_t>(RoundedPercentage(total, size));
      if (percent != last) Forward(source, percent, abort);
      last = percent;
      crc = UpdateCrc32(crc, buffer, static_cast<size_t>(n));
      output.WriteBuffer(buffer, n);
      n = reader->Read(buffer, chunk());
    }
  } catch (const EAbUserAbort&) {
    abort = true;
  }
  if (percent < 100) {
    // The forwarder clears the flag it is given: an abort already decided
    // must survive the closing report.
    bool abortNow = false;
    Forward(source, 100, abortNow);
    abort = abort || abortNow;
  }
  if (abort) throw EAbUserAbort();
  return ~crc;
}

uint32_t InflateMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                       rtl::TStream& output, uint32_t checkWord) {
  TAbDeflateHelper helper;
  uint32_t flags = helper.DecodeFlags();
  // Testing decodes without handing the bytes on; the count it keeps still
  // has to stay within the declared size.
  const auto* bounded = dynamic_cast<TAbBoundedStream*>(&output);
  const bool testOnly = dynamic_cast<TAbBitBucketStream*>(bounded != nullptr ? &bounded->Target()
                                                                             : &output) != nullptr;
  if (testOnly) flags |= kTestOnlyFlag;
  if (item.CompressionMethod() == 9) flags |= kDeflate64Flag;
  helper.SetDecodeFlags(flags);
  const auto span = static_cast<int64_t>(
      std::min<uint64_t>(item.CompressedSize64(), static_cast<uint64_t>(INT64_MAX)));
  helper.SetInputSize(span);
  helper.SetInputLimit(span);
  helper.OnInputProgress = [&source](int32_t percent) {
    bool abort = false;
    Forward(source, static_cast<uint8_t>(percent), abort);
    if (abort) throw EAbAbortProgress();
  };
  auto inflate = [&] {
    const uint32_t crc = Inflate(&source.stream, &output, &helper);
    if (testOnly && static_cast<uint64_t>(helper.OutputMade()) > item.UncompressedSize64())
      throw EAbZipSizeExceeded();
    return crc;
  };
  if (!item.IsEncrypted()) {
    if (const std::optional<uint32_t> crc = InflateMemberInParallel(item, source, output, testOnly))
      return *crc;
    return inflate();
  }

  int32_t tries = 0;
  bool abort = false;
  EnsurePassword(archive, tries, abort);
  helper.SetPasswordText(archive.ArchivePassword());
  helper.SetCheckWord(checkWord);
  bool done = false;
  uint32_t result = 0;
  do {
    try {
      result = inflate();
      done = true;
    } catch (const EAbInflatePasswordError&) {
      RequestPassword(archive, abort);
      if (abort) throw EAbUserAbort();
      ++tries;
      helper.SetPasswordText(archive.ArchivePassword());
    }
    if (tries > archive.PasswordTryLimit()) throw EAbZipInvalidPassword();
  } while (!done && tries < archive.PasswordTryLimit());
  if (!done) throw EAbZipInvalidPassword();
  return result;
}

uint32_t DecodeLegacyMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                            rtl::TStream& output, uint32_t checkWord) {
  // The legacy decoders count in 32 bits; PKZIP 1.x never wrote more.
  const uint8_t method = item.CompressionMethod();
  if (method >= 1 && method <= 6 &&
      (item.CompressedSize64() > INT32_MAX || item.UncompressedSize64() > INT32_MAX))
    throw EAbZipTooLargeForMethod();
  std::unique_ptr<TAbZDecoder> decoder;
  if (item.IsEncrypted()) {
    decoder =
        std::make_unique<TAbZDecoder>(archive.ArchivePassword(), true, checkWord, source.stream);
    if (archive.OnPasswordRequest) {
      decoder->OnPasswordRequest = [&archive](TAbZDecoder& sender, std::string& password) {
        archive.OnPasswordRequest(&sender, password);
      };
    }
    decoder->SetRetries(archive.PasswordTryLimit());
  }
  TAbUnzipHelper helper(source.stream, output, decoder.get());
  helper.SetDictionarySize(item.DictionarySize());
  helper.SetCompressedSize(static_cast<int32_t>(item.CompressedSize64()));
  helper.SetUncompressedSize(static_cast<int32_t>(item.UncompressedSize64()));
  helper.SetCompressionMethod(item.CompressionMethod());
  helper.SetShannonFanoTreeCount(item.ShannonFanoTreeCount());
  helper.OnProgress = source.progress;
  helper.SetArchive(&archive);
  return helper.Run();
}

void RequestPassword(TAbZipArchive& archive, bool& abort) {
  abort = false;
  if (!archive.OnPasswordRequest) return;
  std::string password;
  archive.OnPasswordRequest(&archive, password);
  if (password.empty()) {
    abort = true;
  } else {
    archive.SetArchivePassword(password);
  }
}

void EnsurePassword(TAbZipArchive& archive, int32_t& tries, bool& abort) {
  if (archive.ArchivePassword().empty()) {
    RequestPassword(archive, abort);
    ++tries;
  }
  if (archive.ArchivePassword().empty()) throw EAbZipInvalidPassword();
}

}  // namespace ab
