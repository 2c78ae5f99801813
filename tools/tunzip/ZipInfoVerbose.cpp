#include "ZipInfoVerbose.h"

#include <algorithm>
#include <cinttypes>
#include <ctime>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExitCodes.h"
#include "Listing.h"
#include "Names.h"
#include "ZipInfo.h"
#include "os/os.h"
#include "zip/ExtraField.h"

namespace tunzip {

namespace {

uint16_t Le16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                               static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t Le32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(Le16(bytes, at)) | static_cast<uint32_t>(Le16(bytes, at + 2)) << 16;
}

// One fact on its line, its value from the fiftieth column on, as zipinfo
// aligns them.
std::string Fact(const std::string& label, const std::string& value) {
  std::string line = "  " + label;
  if (line.size() < 50) line.resize(50, ' ');
  return line + value + '\n';
}

// The host's long name. zipinfo names the hosts it does not know by their
// number; it prints "(null)" for 20 to 29, which says nothing, so those are
// named by number too.
std::string HostLongName(uint8_t host) {
  static const char* const kHosts[] = {
      "MS-DOS, OS/2 or NT FAT", "Amiga",           "VMS",           "Unix",
      "VM/CMS",                 "Atari ST",        "OS/2 or NT HPFS", "Macintosh HFS",
      "Z-System",               "CP/M",            "TOPS-20",       "NTFS",
      "SMS/QDOS",               "Acorn RISC OS",   "Win32 VFAT",    "MVS",
      "BeOS",                   "Tandem NSK",      "Theos",         "Mac OS/X (Darwin)"};
  if (host < std::size(kHosts)) return kHosts[host];
  if (host == 30) return "AtheOS";
  return Printf("unknown (%u)", static_cast<unsigned>(host));
}

std::string MethodName(uint16_t method) {
  switch (method) {
    case 0: return "none (stored)";
    case 1: return "shrunk";
    case 2: case 3: case 4: case 5: return Printf("reduced (factor %d)", method - 1);
    case 6: return "imploded";
    case 7: return "tokenized";
    case 8: return "deflated";
    case 9: return "deflated (enhanced-64k)";
    case 10: return "imploded (PK DCL)";
    case 12: return "bzipped";
    case 14: return "LZMA-ed";
    case 18: return "tersed (IBM)";
    case 19: return "LZ77-compressed (IBM)";
    case 97: return "WavPacked";
    case 98: return "PPMd-ed";
    default: return Printf("unknown (%u)", static_cast<unsigned>(method));
  }
}

std::string ExtraName(uint16_t id) {
  switch (id) {
    case 0x0001: return "PKWARE 64-bit sizes";
    case 0x0007: return "PKWARE AV";
    case 0x0009: return "OS/2";
    case 0x000a: return "PKWARE Win32";
    case 0x000c: return "PKWARE VMS";
    case 0x000d: return "PKWARE Unix";
    case 0x07c8: return "old Info-ZIP Macintosh";
    case 0x2605: return "ZipIt Macintosh";
    case 0x2705: return "ZipIt Macintosh (short)";
    case 0x334d: return "new Info-ZIP Macintosh";
    case 0x4154: return "Tandem NSK";
    case 0x4341: return "Acorn SparkFS";
    case 0x4453: return "Security Descriptor";
    case 0x4704: return "VM/CMS";
    case 0x470f: return "MVS";
    case 0x4b46: return "Fred Kantor MD5";
    case 0x4c41: return "OS/2 ACL";
    case 0x4d49: return "Info-ZIP VMS";
    case 0x4d63: return "SmartZip Macintosh";
    case 0x5356: return "AOS/VS";
    case 0x5455: return "universal time";
    case 0x5855: return "old Info-ZIP Unix/OS2/NT";
    case 0x6375: return "UTF8 entry comment";
    case 0x6542: return "BeOS";
    case 0x7075: return "UTF8 path name";
    case 0x756e: return "ASi Unix";
    case 0x7855: return "Unix UID/GID (16-bit)";
    case 0x7875: return "Unix UID/GID (any size)";
    default: return "unknown";
  }
}

std::string Hex(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) text += ' ';
    text += Printf("%02x", static_cast<unsigned>(static_cast<uint8_t>(bytes[i])));
  }
  return text;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A month the stamp cannot hold shows as its number, as zipinfo shows it.
std::string Stamp(int year, int month, int day, int hour, int minute, int second) {
  const std::string name = month >= 1 && month <= 12 ? kMonths[month - 1] : Printf("%03d", month);
  return Printf("%d %s %d %02d:%02d:%02d", year, name.c_str(), day, hour, minute, second);
}

std::string Stamp(const std::tm& t) {
  return Stamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

// The blocks of an extra field as zipinfo walks them: a block whose length
// runs past the field keeps what is left.
struct Block {
  uint16_t id;
  std::string_view data;
  uint16_t declared;  // the length the block claims
};

template <typename F>
void ForEachBlock(std::string_view extra, F f) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t id = Le16(extra, at);
    const uint16_t length = Le16(extra, at + 2);
    const size_t left = extra.size() - at - 4;
    f(Block{id, extra.substr(at + 4, std::min<size_t>(length, left)), length});
    at += 4 + static_cast<size_t>(length);
  }
}

// The modification time zipinfo reads from the extended timestamp, else
// from the old Unix block (access time first, then modification time);
// zipinfo shows none before 1970.
std::optional<int64_t> UnixModified(std::string_view extra) {
  std::optional<int64_t> timestamp, old;
  ForEachBlock(extra, [&](const Block& block) {
    if (block.id == zip::extra_id::kExtendedTimestamp) {
      if (const auto modified = zip::ExtendedTimestampModified(block.data); modified && !timestamp)
        timestamp = modified->seconds;
    } else if (block.id == 0x5855 && !old && block.data.size() >= 8)
      old = static_cast<int32_t>(Le32(block.data, 4));
  });
  const std::optional<int64_t> modified = timestamp ? timestamp : old;
  if (modified && *modified < 0) return std::nullopt;
  return modified;
}

// How many bytes zipinfo takes the member's local header to hold beyond
// its central one: the extended timestamp's access and creation times, the
// Unix blocks' ids, and what it takes 7-Zip's Unix attribute flag to
// imply. It says so, as "extra bytes preceding" the next member, wherever
// that guess and the archive disagree.
uint64_t LocalHeaderGuess(const zip::Entry& entry) {
  uint64_t more = 0;
  ForEachBlock(entry.ExtraField(), [&](const Block& block) {
    if (block.id == zip::extra_id::kExtendedTimestamp && !block.data.empty()) {
      const uint8_t flags = static_cast<uint8_t>(block.data[0]);
      more += 4 * (((flags >> 1) & 1) + ((flags >> 2) & 1));
    } else if (block.id == 0x5855 || block.id == 0x7855) {
      more += 4;
    }
  });
  if (entry.ExternalAttributes() & 0x8000) more += 8;
  return 30 + entry.RawName().size() + entry.ExtraField().size() + entry.CompressedSize() + more;
}

std::string DosAttributeNames(uint8_t attributes) {
  if (attributes == 0) return "none";
  if (attributes == 0x01) return "read-only";
  static const char* const kNames[] = {"rdo ", "hid ", "sys ", "lab ",
                                       "dir ", "arc ", "lnk ", "exe"};
  std::string text;
  for (int bit = 0; bit < 8; ++bit)
    if (attributes & (1u << bit)) text += kNames[bit];
  return text;
}

// The text of a comment, line by line with CR LF as LF and each line's
// control characters escaped, as tunzip shows every name: a comment may
// not drive the terminal.
void WriteCommentText(const std::string& bytes, std::ostream& out) {
  const std::string text = os::OemToChar(bytes.c_str());
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const size_t cut = end > at && text[end - 1] == '\r' ? end - 1 : end;
    out << ShownName(text.substr(at, cut - at)) << '\n';
    at = end + 1;
  }
}

// Where the end record lies, and the ZIP64 end record before it when its
// locator names one (counting from partStart, where the last part or the
// shifted archive begins): the "actual" offset zipinfo shows is the first
// of the two.
uint64_t EndRecordOffset(const zip::Archive& archive, uint64_t partStart) {
  const zip::Source& bytes = archive.Bytes();
  const uint64_t size = bytes.Size();
  uint64_t end = size >= zip::kEndRecordSize + archive.Comment().size()
                     ? size - zip::kEndRecordSize - archive.Comment().size()
                     : 0;
  // Bytes after the comment: look back for the record itself.
  char head[4] = {};
  if (bytes.ReadAt(end, head, 4) != 4 || std::string_view(head, 4) != "PK\5\6") {
    const uint64_t from = size > 65557 ? size - 65557 : 0;
    std::string tail(size - from, '\0');
    tail.resize(bytes.ReadAt(from, tail.data(), tail.size()));
    const size_t found = tail.rfind("PK\5\6");
    if (found != std::string::npos) end = from + found;
  }
  if (end >= 20) {
    char locator[20];
    if (bytes.ReadAt(end - 20, locator, 20) == 20 && std::string_view(locator, 4) == "PK\6\7") {
      const std::string_view view(locator, 20);
      const uint64_t at = Le32(view, 8) | static_cast<uint64_t>(Le32(view, 12)) << 32;
      const uint64_t shifted = at + partStart;
      char record[4] = {};
      if (shifted < end && bytes.ReadAt(shifted, record, 4) == 4 &&
          std::string_view(record, 4) == "PK\6\6")
        return shifted;
    }
  }
  return end;
}

// Where each part of a split set begins in the one byte range the library
// reads it as: zipinfo shows offsets within the part that holds them. A
// single archive is one part from 0 (or from its shift).
class Parts {
 public:
  Parts(const zip::Archive& archive, const Options& options) : archive_(archive) {
    const uint32_t count = archive.PartCount();
    starts_.push_back(0);
    // Opened again by the names the reader opened them by, for their sizes.
    for (uint32_t disk = 0; disk + 1 < count; ++disk) {
      try {
        starts_.push_back(starts_.back() +
                          zip::OpenFile(zip::SplitPartName(options.archiveShown, disk, count - 1))
                              ->Size());
      } catch (const std::exception&) {
        starts_.resize(1);
        break;
      }
    }
    if (count <= 1) starts_[0] = archive.OffsetShift();
  }
  // An offset of the byte range as the part that holds it counts it.
  uint64_t Within(uint64_t offset, uint32_t disk) const {
    const uint64_t start = archive_.PartCount() <= 1 ? starts_[0]
                           : disk < starts_.size()   ? starts_[disk]
                                                     : 0;
    return offset >= start ? offset - start : offset;
  }
  uint64_t LastStart() const { return archive_.PartCount() > 1 ? starts_.back() : 0; }

 private:
  const zip::Archive& archive_;
  std::vector<uint64_t> starts_;
};

// The end record's own numbers, from the ZIP64 record when there is one:
// for a split set they count within the last part.
struct EndFacts {
  uint32_t disk = 0;
  uint32_t directoryDisk = 0;
  uint64_t entriesHere = 0;
  uint64_t entries = 0;
  uint64_t directoryOffset = 0;
};

EndFacts ReadEndFacts(const zip::Source& bytes, uint64_t at) {
  EndFacts facts;
  std::string record(56, '\0');
  record.resize(bytes.ReadAt(at, record.data(), record.size()));
  if (record.size() >= 56 && record.starts_with("PK\6\6")) {
    const auto le64 = [&](size_t from) {
      return Le32(record, from) | static_cast<uint64_t>(Le32(record, from + 4)) << 32;
    };
    facts = {Le32(record, 16), Le32(record, 20), le64(24), le64(32), le64(48)};
  } else if (record.size() >= 22 && record.starts_with("PK\5\6")) {
    facts = {Le16(record, 4), Le16(record, 6), Le16(record, 8), Le16(record, 10),
             Le32(record, 16)};
  }
  return facts;
}

void WriteSplitSetFacts(const zip::Archive& archive, const EndFacts& end, std::ostream& out) {
  out << "  This zipfile constitutes disk " << end.disk + 1
      << " of a multi-part archive.  The central\n"
      << "  directory starts on disk " << end.directoryDisk + 1
      << " at an offset within that archive part\n"
      << Printf("  of %" PRIu64 " (%016" PRIX64 "h) bytes.  The entire\n", end.directoryOffset,
                end.directoryOffset)
      << Printf("  central directory is %" PRIu64 " (%016" PRIX64 "h) bytes long.\n",
                archive.DirectorySize(), archive.DirectorySize())
      << "  " << end.entriesHere << " of the archive entries "
      << (end.entriesHere == 1 ? "is" : "are") << " contained within this zipfile volume,\n"
      << "  out of a total of " << end.entries << (end.entries == 1 ? " entry" : " entries")
      << ".\n\n";
}

void WriteArchiveBlock(const zip::Archive& archive, const Options& options, const Parts& parts,
                       std::ostream& out) {
  out << "Archive:  " << options.archiveShown << '\n';
  const std::string& comment = archive.Comment();
  if (comment.empty()) {
    out << "There is no zipfile comment.\n";
  } else {
    out << "The zipfile comment is " << comment.size()
        << " bytes long and contains the following text:\n"
        << "======================== zipfile comment begins ==========================\n";
    WriteCommentText(comment, out);
    out << "========================= zipfile comment ends ===========================\n";
  }
  // Of the last part, for a split set.
  const uint64_t size = archive.Bytes().Size() - parts.LastStart();
  const uint64_t endAt = EndRecordOffset(
      archive, archive.PartCount() > 1 ? parts.LastStart() : archive.OffsetShift());
  const uint64_t actual = endAt - parts.LastStart();
  const EndFacts end = ReadEndFacts(archive.Bytes(), endAt);
  const bool split = archive.PartCount() > 1;
  // As the end record declares them, before any shift.
  const uint64_t directoryOffset =
      split ? end.directoryOffset : archive.DirectoryOffset() - archive.OffsetShift();
  const uint64_t expected = directoryOffset + archive.DirectorySize();
  const uint64_t entries = archive.DeclaredEntries();
  out << "\nEnd-of-central-directory record:\n-------------------------------\n\n"
      << Printf("  Zip archive file size:%26" PRIu64 " (%016" PRIX64 "h)\n", size, size)
      << Printf("  Actual end-cent-dir record offset:%14" PRIu64 " (%016" PRIX64 "h)\n", actual,
                actual)
      << Printf("  Expected end-cent-dir record offset:%12" PRIu64 " (%016" PRIX64 "h)\n",
                expected, expected)
      << "  (based on the length of the central directory and its expected offset)\n\n";
  if (split) {
    WriteSplitSetFacts(archive, end, out);
    return;
  }
  out << "  This zipfile constitutes the sole disk of a single-part archive; its\n"
      << "  central directory contains " << entries << (entries == 1 ? " entry" : " entries")
      << ".\n";
  out << Printf("  The central directory is %" PRIu64 " (%016" PRIX64 "h) bytes long,\n",
                archive.DirectorySize(), archive.DirectorySize())
      << "  and its (expected) offset in bytes from the beginning of the zipfile\n"
      << Printf("  is %" PRIu64 " (%016" PRIX64 "h).\n\n", directoryOffset, directoryOffset);
}

// Amiga's protection bits, hold, script, pure, archive, read, write,
// execute, delete, each shown where set, after its file or folder bit.
std::string AmigaLetters(uint32_t mode) {
  std::string text = (mode & 0x0C00) == 0x0400 ? "-" : (mode & 0x0C00) == 0x0800 ? "d" : "?";
  static const char kLetters[] = "hsparwed";
  for (int bit = 0; bit < 8; ++bit) text += (mode & (0x80u >> bit)) ? kLetters[bit] : '-';
  return text;
}

// A Unix mode as VMS's system, owner, group and world rights (the system
// has the owner's); writing takes deleting with it.
std::string VmsRights(uint32_t mode) {
  const auto rights = [](uint32_t bits) {
    std::string text;
    if (bits & 4) text += 'R';
    if (bits & 2) text += 'W';
    if (bits & 1) text += 'E';
    if (bits & 2) text += 'D';
    return text;
  };
  return "(" + rights(mode >> 6) + "," + rights(mode >> 6) + "," + rights(mode >> 3) + "," +
         rights(mode) + ")";
}

// Theos's file kind by its top four bits (each name with the spacing zipinfo
// gives it), then its eight protections, each letter shown where its bit
// is clear.
std::string TheosAttributes(uint32_t mode) {
  const char* kind = "???         ";
  switch (mode & 0xF000) {
    case 0x4000: kind = "Directory   "; break;
    case 0x5000: kind = "Library     "; break;
    case 0x8000: kind = "Sequential  "; break;
    case 0x9000: kind = "Direct      "; break;
    case 0xA000: kind = "Keyed       "; break;
    case 0xB000: kind = "Indexed     "; break;
    case 0xD000: kind = " 86 program "; break;
    case 0xE000: kind = "286 program "; break;
    case 0xF000: kind = "386 program "; break;
    default: break;
  }
  static const struct {
    uint32_t bit;
    char letter;
  } kProtections[] = {{0x400, 'H'}, {0x800, 'M'}, {0x002, 'W'}, {0x004, 'R'},
                      {0x200, 'E'}, {0x040, 'X'}, {0x080, 'W'}, {0x100, 'R'}};
  std::string text = kind;
  for (const auto& protection : kProtections) text += (mode & protection.bit) ? '.' : protection.letter;
  return text;
}

void WriteAttributes(const zip::Entry& entry, std::ostream& out) {
  const uint32_t attributes = entry.ExternalAttributes();
  switch (entry.Host()) {
    case 0: case 4: case 6: case 11: case 13: case 14: case 15:
      out << Fact("non-MSDOS external file attributes:", Printf("%06X hex", attributes >> 8));
      break;
    case 1:
      out << Fact(Printf("Amiga file attributes (%06o octal):", attributes >> 16),
                  AmigaLetters(attributes >> 16));
      break;
    case 2:
      out << Fact(Printf("VMS file attributes (%06o octal):", attributes >> 16),
                  VmsRights(attributes >> 16));
      break;
    case 18:
      out << Fact(Printf("Theos file attributes (%04X hex):", attributes >> 16),
                  TheosAttributes(attributes >> 16));
      break;
    default:
      out << Fact(Printf("Unix file attributes (%06o octal):", attributes >> 16),
                  UnixPermissionLetters(attributes >> 16));
      break;
  }
  const uint8_t dos = static_cast<uint8_t>(attributes);
  out << Fact(Printf("MS-DOS file attributes (%02X hex):", dos), DosAttributeNames(dos));
}

void WriteExtraField(const zip::Entry& entry, std::ostream& out, std::ostream& err) {
  const std::string& extra = entry.ExtraField();
  if (!extra.empty()) {
    out << "\n  The central-directory extra field contains:";
    ForEachBlock(extra, [&](const Block& block) {
      if (block.data.size() < block.declared) {
        out.flush();
        err << Printf("\n  error: EF data block (type 0x%04x) size %u exceeds remaining extra "
                      "field\n         space %u; block length has been truncated.\n",
                      block.id, block.declared, static_cast<unsigned>(block.data.size()));
      }
      out << Printf("\n  - A subfield with ID 0x%04x (%s) and %u data bytes", block.id,
                    ExtraName(block.id).c_str(), static_cast<unsigned>(block.data.size()));
      if (block.id == zip::extra_id::kExtendedTimestamp) {
        out << '.';
        const uint8_t flags = block.data.empty() ? 0 : static_cast<uint8_t>(block.data[0]);
        std::string times;
        int count = 0;
        static const char* const kTimes[] = {"modification", "access", "creation"};
        for (int bit = 0; bit < 3; ++bit)
          if (flags & (1 << bit)) {
            times += (count++ ? "/" : "") + std::string(kTimes[bit]);
          }
        if (count)
          out << "\n    The local extra field has UTC/GMT " << times << " time"
              << (count > 1 ? "s" : "") << '.';
      } else if (block.data.size() > 24) {
        out << ".  The first\n    20 are:   " << Hex(block.data.substr(0, 20)) << '.';
      } else if (!block.data.empty()) {
        out << ":\n    " << Hex(block.data) << '.';
      } else {
        out << '.';
      }
    });
    out << '\n';
  }
  if (entry.ExternalAttributes() & 0x8000)
    out << "\n  There is a local extra field with ID 0x5855 (old Info-ZIP Unix/OS2/NT) and\n"
           "  8 data bytes (GMT modification/access times only).\n";
}

void WriteMember(const zip::Entry& entry, uint64_t offset, std::optional<uint64_t> expectedOffset,
                 std::ostream& out, std::ostream& err) {
  out << "\nCentral directory entry #" << entry.Index() + 1 << ":\n"
      << "---------------------------\n\n";
  if (expectedOffset && *expectedOffset != offset)
    out << "  There are an extra " << static_cast<int64_t>(offset - *expectedOffset)
        << " bytes preceding this file.\n\n";
  out << "  " << ShownMemberName(entry) << "\n\n"
      << "  offset of local header from start of archive:   " << offset << '\n'
      << Printf("%50s(%016" PRIX64 "h) bytes\n", "", offset);
  const uint16_t made = entry.VersionMadeBy() & 0xff;
  const uint16_t needed = entry.VersionNeeded() & 0xff;
  out << Fact("file system or operating system of origin:", HostLongName(entry.Host()))
      << Fact("version of encoding software:", Printf("%u.%u", made / 10, made % 10))
      << Fact("minimum file system compatibility required:",
              HostLongName(static_cast<uint8_t>(entry.VersionNeeded() >> 8)))
      << Fact("minimum software version required to extract:",
              Printf("%u.%u", needed / 10, needed % 10))
      << Fact("compression method:", MethodName(entry.Method()));
  const uint16_t flags = entry.Flags();
  if (entry.Method() == 8 || entry.Method() == 9) {
    static const char* const kLevels[] = {"normal", "maximum", "fast", "superfast"};
    out << Fact("compression sub-type (deflation):", kLevels[(flags >> 1) & 3]);
  } else if (entry.Method() == 6) {
    out << Fact("size of sliding dictionary (implosion):", (flags & 2) ? "8K" : "4K")
        << Fact("number of Shannon-Fano trees (implosion):", (flags & 4) ? "3" : "2");
  }
  out << Fact("file security status:", (flags & 1) ? "encrypted" : "not encrypted")
      << Fact("extended local header:", (flags & 8) ? "yes" : "no");
  const zip::DosDateTime dos = zip::DecodeDosDateTime(entry.DosDate(), entry.DosTime());
  out << Fact("file last modified on (DOS date/time):",
              Stamp(dos.year, dos.month, dos.day, dos.hour, dos.minute, dos.second));
  if (const std::optional<int64_t> modified = UnixModified(entry.ExtraField())) {
    const std::time_t seconds = static_cast<std::time_t>(*modified);
    // The listing runs on one thread: the shared results are safe here.
    if (const std::tm* local = std::localtime(&seconds))
      out << Fact("file last modified on (UT extra field modtime):", Stamp(*local) + " local");
    if (const std::tm* utc = std::gmtime(&seconds))
      out << Fact("file last modified on (UT extra field modtime):", Stamp(*utc) + " UTC");
  }
  const uint16_t internal = entry.InternalAttributes();
  out << Fact("32-bit CRC value (hex):", Printf("%08x", entry.Crc32()))
      << Fact("compressed size:", std::to_string(entry.CompressedSize()) + " bytes")
      << Fact("uncompressed size:", std::to_string(entry.Size()) + " bytes")
      << Fact("length of filename:", std::to_string(entry.RawName().size()) + " characters")
      << Fact("length of extra field:", std::to_string(entry.ExtraField().size()) + " bytes")
      << Fact("length of file comment:", std::to_string(entry.Comment().size()) + " characters")
      << Fact("disk number on which file begins:", "disk " + std::to_string(entry.Disk() + 1))
      << Fact("apparent file type:", (internal & 1) ? "text" : (internal & 2) ? "ebcdic" : "binary");
  WriteAttributes(entry, out);
  WriteExtraField(entry, out, err);
  if (entry.Comment().empty()) {
    out << "\n  There is no file comment.\n";
  } else {
    out << "\n------------------------- file comment begins ----------------------------\n";
    WriteCommentText(entry.Comment(), out);
    out << "-------------------------- file comment ends -----------------------------\n";
  }
}

}  // namespace

uint64_t ZipInfoFileSize(const zip::Archive& archive, const Options& options) {
  return archive.Bytes().Size() - Parts(archive, options).LastStart();
}

int ZipInfoVerboseListing(const zip::Archive& archive, const Options& options, std::ostream& out,
                          std::ostream& err) {
  const Parts parts(archive, options);
  WriteArchiveBlock(archive, options, parts, out);
  const bool totals = options.zipInfo.totals;
  ArchiveHeader(archive, options, false, out, totals ? out : err);
  if (archive.Count() == 0) {
    out << "\n  Empty zipfile.\n";
    return kExitWarning;
  }
  const Choice choice = ChooseMembers(archive, options);
  size_t files = 0;
  uint64_t size = 0, compressed = 0;
  // zipinfo weighs each member against the one it showed before it.
  std::optional<uint64_t> expected;
  ForEachChosen(archive, choice.items, [&](const zip::Entry& entry) {
    ++files;
    size += entry.Size();
    compressed += ZipInfoDataSize(entry);
    const uint64_t offset = parts.Within(entry.LocalHeaderOffset(), entry.Disk());
    WriteMember(entry, offset, expected, out, err);
    expected = offset + LocalHeaderGuess(entry);
  });
  if (totals) ZipInfoTotals(files, size, compressed, out);
  out.flush();
  ZipInfoCautions(choice, totals ? out : err);
  out << '\n';
  return choice.items.empty() ? kExitNoMatch : kExitOk;
}

}  // namespace tunzip
