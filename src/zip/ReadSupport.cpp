#include "zip/ReadSupport.h"

#include "os/os.h"
#include "os/text.h"
#include "zip/MethodRegistry.h"
#include "zip/Streams.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbZipExtra.h"

namespace zip {

namespace {

Encryption EncryptionOf(const ab::TAbZipDirectoryFileHeader& header,
                        const ab::TAbEntryFacts& facts) {
  constexpr uint16_t kStrongFlags = 0x0040 | 0x2000;
  if (!header.IsEncrypted()) return Encryption::kNone;
  if (header.CompressionMethod() == ab::kAbWinZipAesMethod || facts.winZipAesField)
    return Encryption::kWinZipAes;
  if ((header.GeneralPurposeBitFlag() & kStrongFlags) != 0) return Encryption::kStrong;
  return Encryption::kTraditional;
}

std::optional<Time> TimeOf(const std::optional<ab::TAbZipTime>& time) {
  if (!time) return std::nullopt;
  return Time{time->seconds, time->nanoseconds};
}

}  // namespace

// The category of a failure inside the reader, and its text in UTF-8.
Error Translate(const std::exception& error, const std::string& entry) {
  if (const auto* own = dynamic_cast<const Error*>(&error)) {
    if (own->Entry().empty() && !entry.empty())
      return Error(own->Category(), own->Rule(), entry, own->Cause());
    return *own;
  }
  // A name refused as unsafe says what is wrong with it; the caller shows
  // the name itself.
  if (const auto* unsafe = dynamic_cast<const ab::EAbZipUnsafeName*>(&error))
    return Error(Failure::kUnsafe, os::AnsiToUtf8(unsafe->Refusal()), entry, Cause::kUnsafeName);
  const ab::TAbFailure failure = ab::ClassifyFailure(error);
  const std::string rule = os::AnsiToUtf8(error.what());
  Failure category = Failure::kDamaged;
  Cause cause = Cause::kOther;
  if (dynamic_cast<const ab::EAbUserAbort*>(&error) != nullptr ||
      dynamic_cast<const ab::EAbAbortProgress*>(&error) != nullptr) {
    category = Failure::kCancelled;
  } else if (dynamic_cast<const ab::EAbInflatePasswordError*>(&error) != nullptr) {
    category = Failure::kWrongPassword;
  } else if (failure.kind == ab::fkArchive) {
    switch (failure.number) {
      case ab::AbInvalidPassword:
        category = Failure::kWrongPassword;
        break;
      case ab::AbZipMultiPart:
        category = Failure::kUnsupported;
        cause = Cause::kSplitPart;
        break;
      case ab::AbZipVersionNeeded:
      case ab::AbUnknownCompressionMethod:
      case ab::AbZipWinZipAes:
      case ab::AbZipMethodNotRead:
      case ab::AbSpanningNotSupported:
        category = Failure::kUnsupported;
        break;
      case ab::AbZipOverlap:
        category = Failure::kUnsafe;
        cause = Cause::kOverlap;
        break;
      case ab::AbErrZipInvalid:
      case ab::AbZipDirectoryMismatch:
        cause = Cause::kArchiveDamaged;
        break;
      case ab::AbZipUnknownCharset:
        cause = Cause::kUnknownCharset;
        break;
      default:
        break;
    }
  }
  return Error(category, rule, entry, cause);
}


namespace {

bool KeepsSingleCase(uint8_t host) {
  switch (host) {
    case 0: case 2: case 4: case 9: case 10: case 15: case 17: return true;
    default: return false;
  }
}

}  // namespace

void EntryBuilder::Build(const void* owner, size_t index, const ab::TAbZipDirectoryFileHeader& h,
                         const ab::TAbEntryFacts& facts, Entry& e, NameCase nameCase) {

  e.owner_ = owner;
  e.index_ = index;
  e.name_ = facts.unicodeName;
  const std::string& stored = h.FileName();
  e.rawName_.assign(stored, 0, stored.find('\0'));
  e.comment_ = h.FileComment();
  e.extraField_ = h.ExtraField();
  e.compressedSize_ = facts.compressedSize;
  e.size_ = facts.uncompressedSize;
  e.localHeaderOffset_ = facts.localHeaderOffset;
  e.modified_ = TimeOf(facts.modified);
  e.accessed_ = TimeOf(facts.accessed);
  e.disk_ = facts.diskNumberStart;
  e.crc32_ = h.Crc32();
  e.externalAttributes_ = h.ExternalFileAttributes();
  e.internalAttributes_ = h.InternalFileAttributes();
  e.method_ = h.RawCompressionMethod();
  e.flags_ = h.GeneralPurposeBitFlag();
  e.versionMadeBy_ = h.VersionMadeBy();
  e.versionNeeded_ = h.VersionNeededToExtract();
  e.dosDate_ = h.LastModFileDate();
  e.dosTime_ = h.LastModFileTime();
  e.unixMode_ = ab::UnixModeOf(h);
  e.dosAttributes_ = ab::DosAttributesOf(h);
  e.nameOrigin_ = static_cast<zip::NameOrigin>(facts.nameOrigin);
  e.encryption_ = EncryptionOf(h, facts);
  e.isFolder_ = ab::IsFolderEntry(h, facts.unicodeName);
  e.isLink_ = ab::IsLinkEntry(h, facts.unicodeName);
  e.extraFieldPartLost_ = facts.extraFieldPartLost;
  e.extraFieldDamaged_ = facts.extraFieldDamaged;
  e.winZipAesField_ = facts.winZipAesField;
  e.nameLowered_ = nameCase == NameCase::kLowerAll ||
                   (nameCase == NameCase::kLowerSingleCaseHosts &&
                    KeepsSingleCase(static_cast<uint8_t>(e.versionMadeBy_ >> 8)));
  // After the folder and link tests, which read no letters.
  if (e.nameLowered_)
    for (char& c : e.name_) c = os::text::LowerAscii(c);
}

void DecodeEntry(const EntryDecoding& decoding, rtl::TStream& input, Sink* sink,
                 const ReadOptions& options,
                 const std::function<void(const ab::TAbDecodedMember&, uint64_t written)>& check) {
  const Entry& entry = decoding.entry;
  SinkStream output(sink);
  try {
    OptionPasswords passwords(options, entry);
    ab::TAbProgressForwarder progress;
    if (options.progress) {
      progress = [&options](uint8_t percent, bool& abort) {
        if (!options.progress(percent)) abort = true;
      };
    }
    const ab::TAbMemberJob job{EntryBuilder::HeaderOf(entry),
                               decoding.facts,
                               decoding.spanOverlaps,
                               decoding.acceptNewerVersions,
                               sink == nullptr,
                               passwords,
                               &RegisteredMethods()};
    const ab::TAbMemberSource from{input, progress, decoding.threads, decoding.mapper};
    const ab::TAbDecodedMember decoded = ab::DecodeMember(job, from, output);
    check(decoded, static_cast<uint64_t>(output.Size()));
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::invalid_argument&) {
    throw;
  } catch (const std::exception& error) {
    if (output.SinkFailure()) std::rethrow_exception(output.SinkFailure());
    throw Translate(error, entry.Name());
  }
}
}  // namespace zip
