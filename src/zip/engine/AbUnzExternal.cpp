// Members decoded with a program's registered libraries. The member's span
// bounds every read, the declared-size guard sits on the output as for the
// reader's own methods, and an AES member's authentication code is checked
// over all of its encrypted bytes, read or not by the inner decoder.
#include "zip/engine/AbUnzExternal.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "zip/engine/AbCrc32.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"

namespace ab {

namespace {

constexpr uint16_t kEncryptedFlag = 0x0001;
constexpr size_t kCodeLength = 10;

uint16_t LoadU16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                     << 8);
}

// Reads count bytes or raises: the archive ends inside the member.
void ReadExactly(rtl::TStream& stream, uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<int32_t>(std::min<size_t>(count - done, 1 << 20));
    const int32_t n = stream.Read(buffer + done, chunk);
    if (n <= 0) throw EAbZipPastCompressedSize();
    done += static_cast<size_t>(n);
  }
}

// The member's compressed bytes and no more, reporting progress over them.
class SpanInput final : public rtl::TStream {
 public:
  SpanInput(const TAbMemberSource& source, uint64_t span)
      : source_(source), span_(span), remaining_(span) {}
  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0 || remaining_ == 0) return 0;
    const auto wanted = static_cast<int32_t>(std::min<uint64_t>(remaining_, uint64_t(count)));
    const int32_t n = source_.stream.Read(buffer, wanted);
    if (n <= 0) throw EAbZipPastCompressedSize();
    remaining_ -= static_cast<uint64_t>(n);
    Report();
    return n;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t, int) override { return static_cast<int64_t>(span_ - remaining_); }
  int64_t Size() override { return static_cast<int64_t>(span_); }
  void ReportEnd() {
    if (percent_ < 100) Forward(100);
  }

 private:
  void Report() {
    const auto percent = static_cast<uint8_t>(
        RoundedPercentage(static_cast<int64_t>(span_ - remaining_), static_cast<int64_t>(span_)));
    if (percent != percent_) Forward(percent);
  }
  void Forward(uint8_t percent) {
    percent_ = percent;
    bool abort = false;
    if (source_.progress) source_.progress(percent, abort);
    if (abort) throw EAbUserAbort();
  }

  const TAbMemberSource& source_;
  uint64_t span_;
  uint64_t remaining_;
  uint8_t percent_ = 0;
};

// Computes the CRC-32 of what passes on to the output.
class CrcOutput final : public rtl::TStream {
 public:
  explicit CrcOutput(rtl::TStream& target) : target_(target) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    target_.WriteBuffer(buffer, count);
    crc_ = UpdateCrc32(crc_, static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
    return count;
  }
  int64_t Seek(int64_t offset, int origin) override { return target_.Seek(offset, origin); }
  int64_t Size() override { return target_.Size(); }
  uint32_t Crc() const { return ~crc_; }

 private:
  rtl::TStream& target_;
  uint32_t crc_ = kCrc32Start;
};

// The plain bytes of an AES member's data. The inner decoder may give back
// what it read ahead (a seek backwards): those bytes are authenticated
// already and are never asked for again, so only the position moves.
class AesInput final : public rtl::TStream {
 public:
  AesInput(rtl::TStream& source, uint64_t length, TAbAesDecryptor& decryptor)
      : source_(source), length_(length), decryptor_(decryptor) {}
  int32_t Read(void* buffer, int32_t count) override {
    const uint64_t left = length_ - consumed_;
    if (count <= 0 || left == 0) return 0;
    const auto n = static_cast<size_t>(std::min<uint64_t>(left, uint64_t(count)));
    auto* bytes = static_cast<uint8_t*>(buffer);
    ReadExactly(source_, bytes, n);
    decryptor_.Decrypt(bytes, n);
    consumed_ += n;
    position_ = static_cast<int64_t>(consumed_);
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override {
    if (origin == rtl::soCurrent) position_ += offset;
    if (origin == rtl::soBeginning) position_ = offset;
    return position_;
  }
  int64_t Size() override { return static_cast<int64_t>(length_); }

  // Authenticates what the inner decoder left unread, then compares codes.
  bool Authentic() {
    uint8_t buffer[16384];
    while (consumed_ < length_) {
      const auto n = static_cast<size_t>(std::min<uint64_t>(length_ - consumed_, sizeof buffer));
      ReadExactly(source_, buffer, n);
      decryptor_.Decrypt(buffer, n);
      consumed_ += n;
    }
    uint8_t stored[kCodeLength];
    uint8_t computed[kCodeLength];
    ReadExactly(source_, stored, kCodeLength);
    decryptor_.AuthenticationCode(computed);
    return std::memcmp(stored, computed, kCodeLength) == 0;
  }

 private:
  rtl::TStream& source_;
  uint64_t length_;
  TAbAesDecryptor& decryptor_;
  uint64_t consumed_ = 0;
  int64_t position_ = 0;
};

// The decryptor of the first password whose verifier matches, asking for
// another as often as allowed.
std::unique_ptr<TAbAesDecryptor> OpenWithPassword(const TAbMemberJob& job,
                                                  const TAbWinZipAesField& field,
                                                  const uint8_t* salt, const uint8_t* verifier) {
  const TAbMethodHook& hook = *job.methods;
  TAbPasswordKeeper& passwords = job.passwords;
  const size_t keyLength = field.KeyLength();
  return TryPasswords(passwords, [&](const std::string& password) {
    const std::string keys =
        hook.DeriveWinZipAesKeys(password, salt, field.SaltLength(), 2 * keyLength + 2);
    std::unique_ptr<TAbAesDecryptor> decryptor;
    if (std::memcmp(keys.data() + 2 * keyLength, verifier, 2) == 0)
      decryptor = hook.OpenAesDecryptor(reinterpret_cast<const uint8_t*>(keys.data()), keyLength,
                                        reinterpret_cast<const uint8_t*>(keys.data()) + keyLength);
    return decryptor ? std::optional(std::move(decryptor)) : std::nullopt;
  });
}

}  // namespace

std::optional<TAbWinZipAesField> ReadWinZipAesField(std::string_view extraField) {
  const TAbExtraBlocks blocks = SplitExtraField(extraField);
  const std::optional<std::string_view> block = blocks.Find(kAbWinZipAesId);
  if (!block || block->size() < 7) return std::nullopt;
  TAbWinZipAesField field;
  field.vendorVersion = LoadU16(*block, 0);
  field.strength = static_cast<uint8_t>((*block)[4]);
  field.method = LoadU16(*block, 5);
  if ((field.vendorVersion != 1 && field.vendorVersion != 2) || block->substr(2, 2) != "AE" ||
      field.strength < 1 || field.strength > 3)
    return std::nullopt;
  return field;
}

uint32_t DecodeHookedMember(uint16_t method, const TAbMemberJob& job, const TAbMemberSource& source,
                            rtl::TStream& output) {
  const uint64_t span = job.facts.compressedSize;
  SpanInput input(source, span);
  CrcOutput checked(output);
  job.methods->DecodeMethod(method, job.header.flags, job.facts.uncompressedSize, input, span,
                            checked);
  input.ReportEnd();
  return checked.Crc();
}

uint32_t DecodeWinZipAesMember(const TAbMemberJob& job, const TAbMemberSource& source,
                               const TAbWinZipAesField& field, const TAbInnerDecoder& decodeInner) {
  const uint64_t span = job.facts.compressedSize;
  if (span < field.Overhead()) throw EAbZipPastCompressedSize();
  uint8_t opening[16 + 2];
  ReadExactly(source.stream, opening, field.SaltLength() + 2);
  const std::unique_ptr<TAbAesDecryptor> decryptor =
      OpenWithPassword(job, field, opening, opening + field.SaltLength());

  TAbEntryFacts facts = job.facts;
  facts.compressedSize = span - field.Overhead();
  TAbMemberHeader header = job.header;
  header.method = field.method;
  header.flags = static_cast<uint16_t>(header.flags & ~kEncryptedFlag);
  header.winZipAesField = false;
  // The spans were checked before the outer member was opened.
  const TAbMemberJob inner{header,       facts,         nullptr,    job.acceptsNewerVersions,
                           job.testOnly, job.passwords, job.methods};
  AesInput plain(source.stream, facts.compressedSize, *decryptor);
  uint32_t crc = 0;
  try {
    crc = decodeInner(inner, {plain, source.progress});
  } catch (const EAbUserAbort&) {
    throw;
  } catch (const std::exception&) {
    // Data that was changed is reported as changed, not as whatever the
    // inner decoder made of it.
    if (!plain.Authentic()) throw EAbZipAesAuthentication();
    throw;
  }
  if (!plain.Authentic()) throw EAbZipAesAuthentication();
  return crc;
}

}  // namespace ab
