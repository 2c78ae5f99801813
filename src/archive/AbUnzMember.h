// ExtractMember turns one catalogue item into a file below the archive's base
// folder: it resolves the target, creates the file, decodes the member with
// the method's decoder, checks the CRC-32 and stamps the file's date and
// attributes. A member that fails leaves no file behind.
#pragma once

#include <cstdint>
#include <string>

#include "archive/AbArcTyp.h"
#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"

namespace ab {

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

void ExtractMember(TAbZipArchive& sender, TAbZipItem& item, const std::string& newName);

// Resolves name below baseFolder as the unpack flags say, creating folders
// when asked to; false when the overwrite query declines. On true, name holds
// the full target path.
bool ConfirmTargetPath(const std::string& baseFolder, std::string& name, uint8_t options,
                       const TAbOverwriteQueryEvent& confirmOverwrite);

// Where a member's bytes are read from and where its progress goes: the
// archive's own stream and forwarder, or, for a caller that decodes members
// on several threads, a stream and a forwarder of each thread's own.
struct TAbMemberSource {
  rtl::TStream& stream;
  TAbProgressForwarder progress;
  // The most threads one large Deflate member may be decoded on (see
  // AbUnzParallel); 0 or 1 keeps every member on the calling thread.
  unsigned inflateThreads = 0;
};

// Decodes the item's data into output and checks its CRC-32. Refuses a
// member whose extra field is damaged (EAbZipBadExtraField) or whose span
// overlaps another's or the directory (EAbZipOverlap), and stops one that
// produces more than its declared size (EAbZipSizeExceeded).
void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output);
// The same, reading from source. Given a source of its own, each thread
// leaves the archive and its items untouched while it decodes, once
// CheckMemberSpans has run, as long as no member asks for a password
// (asking sets the archive's password) and the archive lies in one file.
void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output,
                          const TAbMemberSource& source);

// Each returns the CRC-32 of what it wrote.
uint32_t CopyStoredMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                          rtl::TStream& output, uint32_t checkWord);
uint32_t InflateMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                       rtl::TStream& output, uint32_t checkWord);
uint32_t DecodeLegacyMember(TAbZipArchive& archive, TAbZipItem& item, const TAbMemberSource& source,
                            rtl::TStream& output, uint32_t checkWord);

void RequestPassword(TAbZipArchive& archive, bool& abort);
void EnsurePassword(TAbZipArchive& archive, int32_t& tries, bool& abort);

// Whether this reader decodes everything the member needs; a member that
// says it needs a newer version is refused unless it does.
bool CanExtractNewerVersion(const TAbZipItem& item);

}  // namespace ab
