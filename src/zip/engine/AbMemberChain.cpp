// The member chain: the checks of a member's headers, its local header,
// decryption with the password loop, and the method's decoder, with the
// declared-size bound and the CRC-32 the caller checks. Every reader of an
// archive decodes its members through it, the installer's and the library's.
#include "zip/engine/AbMemberChain.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "zip/engine/AbDfCryS.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbUnzExternal.h"
#include "zip/engine/AbUnzParallel.h"
#include "zip/engine/AbUnzPrc.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"

namespace ab {

namespace {

constexpr uint32_t kTestOnlyFlag = 0x40000000;
constexpr uint32_t kDeflate64Flag = 0x10;
constexpr uint16_t kDataDescriptorFlag = 0x0008;
constexpr uint16_t kStrongEncryptionFlag = 0x0040;
constexpr uint16_t kMaskedDirectoryFlag = 0x2000;


void Forward(const TAbMemberSource& source, uint8_t percent, bool& abort) {
  if (source.progress) source.progress(percent, abort);
}

// A verified decrypting reader for a stored member.
std::unique_ptr<TAbDfDecryptStream> OpenDecryptedStored(TAbPasswordKeeper& passwords,
                                                        rtl::TStream& stream, uint32_t checkWord) {
  return TryPasswords(passwords, [&](const std::string& password) {
    auto reader = std::make_unique<TAbDfDecryptStream>(stream, checkWord, password);
    return reader->CheckHeader() ? std::optional(std::move(reader)) : std::nullopt;
  });
}

// The installer's archive as the keeper of its password and its event.
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

bool IsMethodRead(uint8_t method) {
  return method <= 6 || method == 8 || method == 9;
}

namespace {

bool HasPlainCipher(const TAbMemberHeader& header) {
  return (header.flags & (kStrongEncryptionFlag | kMaskedDirectoryFlag)) == 0;
}

bool IsHooked(const TAbMemberJob& job, uint16_t method) {
  return job.methods != nullptr && job.methods->DecodesMethod(method);
}

// A registered method, under the traditional cipher when the member has it
// (Info-ZIP's zip -e -Z bzip2 writes that).
uint32_t DecodeHookedWithCipher(uint16_t method, const TAbMemberJob& job,
                                const TAbMemberSource& source, rtl::TStream& output,
                                uint32_t checkWord) {
  if (!job.header.IsEncrypted()) return DecodeHookedMember(method, job, source, output);
  const std::unique_ptr<TAbDfDecryptStream> plain =
      OpenDecryptedStored(job.passwords, source.stream, checkWord);
  TAbEntryFacts facts = job.facts;
  facts.compressedSize -= TAbZipDecryptEngine::kHeaderSize;
  const TAbMemberJob inner{job.header,   facts,         nullptr,    job.acceptsNewerVersions,
                           job.testOnly, job.passwords, job.methods};
  return DecodeHookedMember(method, inner, {*plain, source.progress}, output);
}

uint32_t DecodeByMethod(uint16_t method, const TAbMemberJob& job, const TAbMemberSource& source,
                        rtl::TStream& output, uint32_t checkWord) {
  switch (method) {
    case 0:
      return CopyStoredMember(job, source, output, checkWord);
    case 8:
    case 9:
      return InflateMember(job, source, output, checkWord);
    default:
      if (IsHooked(job, method))
        return DecodeHookedWithCipher(method, job, source, output, checkWord);
      return DecodeLegacyMember(job, source, output, checkWord);
  }
}

}  // namespace

bool CanExtractNewerVersion(const TAbMemberHeader& header) {
  // Newer versions are needed for newer methods, strong encryption and
  // ZIP64 (4.5), which is read.
  const bool plainCipher = (header.flags & (kStrongEncryptionFlag | kMaskedDirectoryFlag)) == 0;
  return IsMethodRead(header.Method()) && plainCipher;
}

TAbMemberHeader MemberHeaderOf(const TAbZipDirectoryFileHeader& header) {
  return {header.RawCompressionMethod(), header.GeneralPurposeBitFlag(),
          header.VersionNeededToExtract(), header.Crc32(),
          SplitExtraField(header.ExtraField()).Find(kAbWinZipAesId).has_value()};
}

TAbDecodedMember DecodeMember(const TAbMemberJob& job, const TAbMemberSource& source,
                              rtl::TStream& output) {
  const TAbMemberHeader& header = job.header;
  const TAbEntryFacts& facts = job.facts;
  // WinZip AES is known by its method and its field, whatever version the
  // writer claims: taken for the traditional cipher, it would fail its
  // check byte and be reported as a wrong password.
  const uint8_t method = header.Method();
  const bool winZipAes = method == kAbWinZipAesMethod || header.winZipAesField;
  if (winZipAes && !(job.methods != nullptr && job.methods->DecryptsWinZipAes()))
    throw EAbZipWinZipAes();
  // The method inside an AES member is known once its local header is read.
  const bool read = winZipAes || IsMethodRead(method) || IsHooked(job, header.method);
  // A reader that takes newer versions names the method it cannot read
  // rather than asking for a newer version of itself.
  if (job.acceptsNewerVersions && !read) throw EAbZipMethodNotRead(method);
  if ((header.versionNeeded & 0xFF) > 20 &&
      !(job.acceptsNewerVersions && read && HasPlainCipher(header)))
    throw EAbZipVersion();
  if (facts.extraFieldDamaged) throw EAbZipBadExtraField();
  if (job.spanOverlaps && job.spanOverlaps()) throw EAbZipOverlap();

  rtl::TStream& stream = source.stream;
  const uint64_t offset = facts.localHeaderOffset;
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      stream.Seek(static_cast<int64_t>(offset), rtl::soBeginning) != static_cast<int64_t>(offset))
    throw EAbZipInvalid();
  TAbZipLocalFileHeader local;
  local.ReadFrom(stream);
  if (SplitExtraField(local.ExtraField()).DamageMatters()) throw EAbZipBadExtraField();
  TAbDecodedMember decoded;
  decoded.checkWord = (local.GeneralPurposeBitFlag() & kDataDescriptorFlag) != 0
                          ? uint32_t{local.LastModFileTime()} << 16
                          : header.crc32;
  // Every decrypting reader takes its header before anything else.
  if (header.IsEncrypted() && facts.compressedSize < TAbZipDecryptEngine::kHeaderSize)
    throw EAbZipPastCompressedSize();
  TAbBoundedStream bounded(output, facts.uncompressedSize);
  if (!winZipAes) {
    decoded.crc =
        DecodeByMethod(local.CompressionMethod(), job, source, bounded, decoded.checkWord);
    return decoded;
  }
  // The block in the local header is the one that goes with these bytes.
  const std::optional<TAbWinZipAesField> field = ReadWinZipAesField(local.ExtraField());
  if (!field) throw EAbZipBadExtraField();
  const bool innerRead = field->method <= 0xFF && IsMethodRead(static_cast<uint8_t>(field->method));
  if (!innerRead && !IsHooked(job, field->method)) throw EAbZipMethodNotRead(field->method);
  decoded.crc = DecodeWinZipAesMember(
      job, source, *field, [&bounded](const TAbMemberJob& inner, const TAbMemberSource& plain) {
        return DecodeByMethod(inner.header.method, inner, plain, bounded, 0);
      });
  // AE-2 leaves the CRC-32 out (0): the authentication code stands for it.
  if (field->vendorVersion == 2) decoded.checkWord = decoded.crc;
  return decoded;
}

uint32_t CopyStoredMember(const TAbMemberJob& job, const TAbMemberSource& source,
                          rtl::TStream& output, uint32_t checkWord) {
  // Stored data is its own size: a member whose sizes differ would be
  // copied from bytes its compressed span does not hold, the next member's.
  const bool encrypted = job.header.IsEncrypted();
  const uint64_t header = encrypted ? TAbZipDecryptEngine::kHeaderSize : 0;
  const uint64_t span = job.facts.compressedSize;
  const uint64_t declared = job.facts.uncompressedSize;
  if (span < header || span - header < declared) throw EAbZipPastCompressedSize();
  if (span - header > declared) throw EAbZipStoredSizesDiffer();
  const auto size =
      static_cast<int64_t>(std::min<uint64_t>(declared, static_cast<uint64_t>(INT64_MAX)));
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
    if (encrypted) {
      decrypted = OpenDecryptedStored(job.passwords, source.stream, checkWord);
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
      if (!job.testOnly) output.WriteBuffer(buffer, n);
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

uint32_t InflateMember(const TAbMemberJob& job, const TAbMemberSource& source,
                       rtl::TStream& output, uint32_t checkWord) {
  TAbDeflateHelper helper;
  uint32_t flags = helper.DecodeFlags();
  // Testing decodes without handing the bytes on; the count it keeps still
  // has to stay within the declared size.
  if (job.testOnly) flags |= kTestOnlyFlag;
  if (job.header.Method() == 9) flags |= kDeflate64Flag;
  helper.SetDecodeFlags(flags);
  const auto span = static_cast<int64_t>(
      std::min<uint64_t>(job.facts.compressedSize, static_cast<uint64_t>(INT64_MAX)));
  helper.SetInputSize(span);
  helper.SetInputLimit(span);
  helper.OnInputProgress = [&source](int32_t percent) {
    bool abort = false;
    Forward(source, static_cast<uint8_t>(percent), abort);
    if (abort) throw EAbAbortProgress();
  };
  auto inflate = [&] {
    const uint32_t crc = Inflate(&source.stream, &output, &helper);
    if (job.testOnly && static_cast<uint64_t>(helper.OutputMade()) > job.facts.uncompressedSize)
      throw EAbZipSizeExceeded();
    return crc;
  };
  if (!job.header.IsEncrypted()) {
    if (const std::optional<uint32_t> crc = InflateMemberInParallel(job, source, output))
      return *crc;
    return inflate();
  }

  helper.SetCheckWord(checkWord);
  return TryPasswords(job.passwords, [&](const std::string& password) -> std::optional<uint32_t> {
    helper.SetPasswordText(password);
    try {
      return inflate();
    } catch (const EAbInflatePasswordError&) {
      return std::nullopt;
    }
  });
}

uint32_t DecodeLegacyMember(const TAbMemberJob& job, const TAbMemberSource& source,
                            rtl::TStream& output, uint32_t checkWord) {
  // The legacy decoders count in 32 bits; PKZIP 1.x never wrote more.
  const TAbMemberHeader& header = job.header;
  const uint8_t method = header.Method();
  const TAbEntryFacts& facts = job.facts;
  if (method >= 1 && method <= 6 &&
      (facts.compressedSize > INT32_MAX || facts.uncompressedSize > INT32_MAX))
    throw EAbZipTooLargeForMethod();
  TAbPasswordKeeper& passwords = job.passwords;
  std::unique_ptr<TAbZDecoder> decoder;
  if (header.IsEncrypted()) {
    decoder = std::make_unique<TAbZDecoder>(passwords.Password(), true, checkWord, source.stream);
    if (passwords.CanAsk()) {
      decoder->OnPasswordRequest = [&passwords](TAbZDecoder& sender, std::string& password) {
        password = passwords.Ask(&sender);
      };
    }
    // The first password and every one asked for after it.
    decoder->SetRetries(static_cast<uint8_t>(std::min(passwords.TryLimit() + 1, 255)));
  }
  // Testing still writes: the legacy decoders read their own output back.
  TAbUnzipHelper helper(source.stream, output, decoder.get());
  helper.SetDictionarySize(DictionarySizeOf(method, header.flags));
  helper.SetCompressedSize(static_cast<int32_t>(facts.compressedSize));
  helper.SetUncompressedSize(static_cast<int32_t>(facts.uncompressedSize));
  helper.SetCompressionMethod(method);
  helper.SetShannonFanoTreeCount(ShannonFanoTreeCountOf(method, header.flags));
  helper.OnProgress = source.progress;
  return helper.Run();
}

void RequestPassword(TAbPasswordKeeper& passwords, bool& abort) {
  abort = false;
  if (!passwords.CanAsk()) return;
  std::string password = passwords.Ask(nullptr);
  if (password.empty()) {
    abort = true;
  } else {
    passwords.SetPassword(std::move(password));
  }
}

void EnsurePassword(TAbPasswordKeeper& passwords, int32_t& tries, bool& abort) {
  if (passwords.Password().empty()) {
    RequestPassword(passwords, abort);
    ++tries;
  }
  if (passwords.Password().empty()) throw EAbZipInvalidPassword();
}

}  // namespace ab
