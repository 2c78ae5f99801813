// The member chain every reader decodes a member through: the sinks it
// writes into (a counting one for tests, a bound at the declared size), where
// the member's bytes come from, the password loop, and the decoders by method.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "os/mapping.h"
#include "rtl/Stream.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbMethodHook.h"
#include "zip/engine/AbZipRecords.h"

namespace ab {

// Takes the percentage of the member decoded so far; setting abort stops it.
using TAbProgressForwarder = std::function<void(uint8_t percent, bool& abort)>;

// A sink that counts and discards: decoding into it tests a member.
class TAbBitBucketStream : public rtl::TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override {
    if (count > 0) size_ += count;
    return count < 0 ? 0 : count;
  }
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

 private:
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// Passes what is written on to a target until a limit: a write that would
// pass it raises EAbZipSizeExceeded and writes nothing. It guards every
// decoder alike against a member that holds more than it declares.
class TAbBoundedStream : public rtl::TStream {
 public:
  TAbBoundedStream(rtl::TStream& target, uint64_t limit) : target_(target), limit_(limit) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override { return target_.Seek(offset, origin); }
  int64_t Size() override { return target_.Size(); }
  uint64_t Written() const { return written_; }
  rtl::TStream& Target() const { return target_; }

 private:
  rtl::TStream& target_;
  uint64_t limit_;
  uint64_t written_ = 0;
};

// Maps a span of the archive's bytes into memory, for the decoders that
// take a member's data whole; nothing where the bytes cannot be mapped.
class TAbSpanMapper {
 public:
  virtual ~TAbSpanMapper() = default;
  virtual std::unique_ptr<os::FileMapping> Map(uint64_t offset, uint64_t size) const = 0;
};

// Where a member's bytes are read from and where its progress goes: the
// archive's own stream and forwarder, or, for a caller that decodes members
// on several threads, a stream and a forwarder of each thread's own.
struct TAbMemberSource {
  rtl::TStream& stream;
  TAbProgressForwarder progress;
  // The most threads one large Deflate member may be decoded on (see
  // AbUnzParallel), when the mapper can map its data; 0 or 1 keeps every
  // member on the calling thread.
  unsigned inflateThreads = 0;
  const TAbSpanMapper* mapper = nullptr;
};

// The password a member is decoded with, and where another comes from when
// it fails: the installer's archive and its event, or a library caller's
// options.
class TAbPasswordKeeper {
 public:
  virtual ~TAbPasswordKeeper() = default;
  virtual const std::string& Password() const = 0;
  virtual void SetPassword(std::string password) = 0;
  // How many more passwords may be asked for after the first fails.
  virtual uint8_t TryLimit() const = 0;
  // Whether anyone may be asked for another password.
  virtual bool CanAsk() const = 0;
  // A new password; "" when none is given. sender is the object asking as
  // the installer's event names it, nullptr for the keeper's own owner.
  virtual std::string Ask(void* sender) = 0;
  // Whether an empty answer cancels the whole operation (EAbUserAbort), as
  // the installer's design has it, rather than giving up on this member
  // with a wrong password.
  virtual bool EmptyAnswerCancels() const { return false; }
};

// What the decoding of a member needs of its central header.
struct TAbMemberHeader {
  uint16_t method = 0;  // the stored field; Method() is its low 8 bits
  uint16_t flags = 0;
  uint16_t versionNeeded = 0;
  uint32_t crc32 = 0;
  bool winZipAesField = false;  // the extra field holds a 0x9901 block

  uint8_t Method() const { return static_cast<uint8_t>(method); }
  bool IsEncrypted() const { return (flags & 0x0001) != 0; }
};
TAbMemberHeader MemberHeaderOf(const TAbZipDirectoryFileHeader& header);

// What decoding one member needs, whoever asks: the installer's items and
// the library's entries alike.
struct TAbMemberJob {
  TAbMemberHeader header;
  const TAbEntryFacts& facts;
  // Whether the member's span overlaps another's or the directory; asked
  // only once its headers pass, since learning it may read every local
  // header of the archive.
  std::function<bool()> spanOverlaps;
  // A member that needs a version above 2.0 is decoded when this reader has
  // what it needs; otherwise it is refused.
  bool acceptsNewerVersions = false;
  // Decode and check without handing the bytes on.
  bool testOnly = false;
  TAbPasswordKeeper& passwords;
  // The methods and cipher a program registered beyond the reader's own;
  // none on the installer's road.
  const TAbMethodHook* methods = nullptr;
};


// The whole chain for one member: the checks of its headers, the local
// header, decryption and the method's decoder. Returns the CRC-32 of what
// was written and the check word, which the caller compares with the
// member's CRC-32 as it decides.
struct TAbDecodedMember {
  uint32_t crc = 0;
  uint32_t checkWord = 0;
  bool CrcMatches(uint32_t expected) const { return crc == checkWord || crc == expected; }
};
TAbDecodedMember DecodeMember(const TAbMemberJob& job, const TAbMemberSource& source,
                              rtl::TStream& output);

// Each returns the CRC-32 of what it wrote.
uint32_t CopyStoredMember(const TAbMemberJob& job, const TAbMemberSource& source,
                          rtl::TStream& output, uint32_t checkWord);
uint32_t InflateMember(const TAbMemberJob& job, const TAbMemberSource& source, rtl::TStream& output,
                       uint32_t checkWord);
uint32_t DecodeLegacyMember(const TAbMemberJob& job, const TAbMemberSource& source,
                            rtl::TStream& output, uint32_t checkWord);

void RequestPassword(TAbPasswordKeeper& passwords, bool& abort);
void EnsurePassword(TAbPasswordKeeper& passwords, int32_t& tries, bool& abort);

// The password loop of every cipher. It asks for a password first when there
// is none, then tries it with attempt, which returns what the password opens
// or nothing when it is wrong; while it is wrong and the keeper may ask, it
// asks for another, at most TryLimit() times in all, and tries every answer
// it gets. EAbZipInvalidPassword when none opens the member; an empty answer
// gives up as the keeper says.
template <typename Attempt>
auto TryPasswords(TAbPasswordKeeper& passwords, Attempt&& attempt) {
  int32_t tries = 0;
  bool abort = false;
  EnsurePassword(passwords, tries, abort);
  for (;;) {
    if (auto opened = attempt(passwords.Password())) return std::move(*opened);
    // Asking nobody would only try the same password again.
    if (!passwords.CanAsk() || tries >= passwords.TryLimit()) throw EAbZipInvalidPassword();
    RequestPassword(passwords, abort);
    ++tries;
    if (abort) {
      if (passwords.EmptyAnswerCancels()) throw EAbUserAbort();
      throw EAbZipInvalidPassword();
    }
  }
}

// Whether this reader decodes everything the member needs; a member that
// says it needs a newer version is refused unless it does.
bool CanExtractNewerVersion(const TAbMemberHeader& header);
// Whether the method is one this reader decodes.
bool IsMethodRead(uint8_t method);

}  // namespace ab
