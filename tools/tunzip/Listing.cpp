#include "Listing.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <numeric>

#include "ExitCodes.h"
#include "JsonListing.h"
#include "Masks.h"
#include "ZipInfo.h"
#include "os/os.h"

namespace tunzip {

namespace {

// The short listing's line is the whole of a large archive's listing, and
// printf cost most of it: its columns are put together by hand.

// value in decimal, right-aligned with spaces (or zeros) in width columns,
// wider when it needs more, as %9llu and %02d write it.
void AppendNumber(std::string& line, uint64_t value, size_t width, char pad = ' ') {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto count = static_cast<size_t>(end - digits);
  if (count < width) line.append(width - count, pad);
  line.append(digits, count);
}

// YYYY-MM-DD HH:MM, and :SS with seconds. A damaged stamp's fields stay
// below 100 (at most 15 for the month, 63 for the minutes), so two digits
// always hold them.
void AppendDateTime(std::string& line, uint16_t date, uint16_t time, bool seconds) {
  const zip::DosDateTime t = zip::DecodeDosDateTime(date, time);
  AppendNumber(line, static_cast<uint64_t>(t.year), 4, '0');
  line += '-';
  AppendNumber(line, static_cast<uint64_t>(t.month), 2, '0');
  line += '-';
  AppendNumber(line, static_cast<uint64_t>(t.day), 2, '0');
  line += ' ';
  AppendNumber(line, static_cast<uint64_t>(t.hour), 2, '0');
  line += ':';
  AppendNumber(line, static_cast<uint64_t>(t.minute), 2, '0');
  if (!seconds) return;
  line += ':';
  AppendNumber(line, static_cast<uint64_t>(t.second), 2, '0');
}

std::string DateTime(uint16_t date, uint16_t time, bool seconds) {
  std::string text;
  AppendDateTime(text, date, time, seconds);
  return text;
}

constexpr uint64_t kEncryptionHeaderSize = 12;

// Space saved, as unzip shows it: rounded, negative when the data grew.
std::string Ratio(uint64_t size, uint64_t compressed) {
  if (size == 0) return "  0%";
  const double saved = 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(size));
  // Half away from zero, as lround would, without pulling in the maths library,
  // whose loading costs a short run more than the listing.
  return Printf("%3ld%%", static_cast<long>(saved + (saved < 0 ? -0.5 : 0.5)));
}

// UnZip marks each name -L or -LL lowercased with a '^' in front of it,
// and says so in the title.
char CaseMark(const zip::Entry& entry, bool marks) {
  return marks && entry.NameLowered() ? '^' : ' ';
}

void WriteShort(const zip::Archive& archive, const std::vector<size_t>& chosen, int quiet,
                bool marks, std::ostream& out) {
  if (quiet < 2) out << ShortListingTitle(marks);
  uint64_t total = 0;
  std::string line;
  ForEachChosen(archive, chosen, [&](const zip::Entry& entry) {
    total += entry.Size();
    line.clear();
    AppendNumber(line, entry.Size(), 9);
    line += "  ";
    AppendDateTime(line, entry.DosDate(), entry.DosTime(), false);
    line += "  ";
    line += CaseMark(entry, marks);
    line += ShownMemberName(entry);
    line += '\n';
    out << line;
  });
  if (quiet < 2)
    out << "---------                     -------\n"
        << Printf("%9" PRIu64 "                     %zu file%s\n", total, chosen.size(),
                  chosen.size() == 1 ? "" : "s");
}

void WriteVerbose(const zip::Archive& archive, const std::vector<size_t>& chosen, int quiet,
                  bool marks, std::ostream& out) {
  if (quiet < 2) {
    if (marks)
      out << " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name (\"^\" ==> case\n"
          << "--------  ------  ------- ---- ---------- ----- --------  ----   conversion)\n";
    else
      out << " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
          << "--------  ------  ------- ---- ---------- ----- --------  ----\n";
  }
  uint64_t totalSize = 0, totalCompressed = 0;
  ForEachChosen(archive, chosen, [&](const zip::Entry& entry) {
    const uint64_t size = entry.Size();
    // The 12 bytes that open an encrypted member's data are no part of the
    // compressed data: UnZip leaves them out of the size and the ratio.
    uint64_t compressed = entry.CompressedSize();
    const uint64_t header = EncryptionOverhead(entry);
    if (compressed >= header) compressed -= header;
    totalSize += size;
    totalCompressed += compressed;
    out << Printf("%8" PRIu64 "  %-7s%8" PRIu64 " %s %s %08" PRIx32 " %c", size,
                  MethodName(entry).c_str(), compressed, Ratio(size, compressed).c_str(),
                  DateTime(entry.DosDate(), entry.DosTime(), false).c_str(), entry.Crc32(),
                  CaseMark(entry, marks))
        << ShownMemberName(entry) << '\n';
  });
  if (quiet < 2)
    out << "--------          -------  ---                            -------\n"
        << Printf("%8" PRIu64 "        %9" PRIu64 " %s                            %zu file%s\n",
                  totalSize, totalCompressed, Ratio(totalSize, totalCompressed).c_str(),
                  chosen.size(), chosen.size() == 1 ? "" : "s");
}

void WriteTsv(const zip::Archive& archive, const std::vector<size_t>& chosen, std::ostream& out) {
  ForEachChosen(archive, chosen, [&](const zip::Entry& entry) {
    out << entry.Index() << '\t' << entry.Method() << '\t' << Printf("%04x", entry.Flags()) << '\t'
        << entry.CompressedSize() << '\t' << entry.Size() << '\t'
        << Printf("%08" PRIx32, entry.Crc32()) << '\t' << entry.LocalHeaderOffset() << '\t'
        << DateTime(entry.DosDate(), entry.DosTime(), true) << '\t' << ShownMemberName(entry)
        << '\t' << MethodName(entry.Method(), entry.Flags()) << '\n';
  });
}

}  // namespace

Choice ChooseMembers(const zip::Archive& archive, const Options& options) {
  Choice result;
  // Without masks every member is chosen, and no name need be read for it.
  if (options.masks.empty() && options.excludes.empty()) {
    result.items.resize(archive.Count());
    std::iota(result.items.begin(), result.items.end(), size_t{0});
    return result;
  }
  MemberChoice choice(options.masks, options.excludes, options.caseBlind);
  for (const zip::Entry& entry : archive.Entries())
    if (choice.Chooses(entry.Name())) result.items.push_back(entry.Index());
  result.unmatchedMasks = choice.UnmatchedMasks();
  result.unmatchedExcludes = choice.UnmatchedExcludes();
  return result;
}

void ForEachChosen(const zip::Archive& archive, const std::vector<size_t>& chosen,
                   const std::function<void(const zip::Entry&)>& f) {
  auto next = chosen.begin();
  for (auto entry = archive.Entries().begin(); next != chosen.end(); ++entry) {
    if (entry->Index() == *next) {
      f(*entry);
      ++next;
    }
  }
}

std::string MethodName(uint16_t method, uint16_t flags) {
  switch (method) {
    case 0:
      return "Stored";
    case 1:
      return "Shrunk";
    case 2:
    case 3:
    case 4:
    case 5:
      return Printf("Reduce%d", method - 1);
    case 6:
      return "Implode";
    case 8:
      return std::string("Defl:") + "NXFS"[(flags >> 1) & 3];
    case 9:
      return "Def64";
    case 12:
      return "BZip2";
    case 14:
      return "LZMA";
    case 20:
    case 93:
      return "Zstd";
    case 95:
      return "XZ";
    case 98:
      return "PPMd";
    default:
      return Printf("Unk:%03u", static_cast<unsigned>(method));
  }
}

std::string MethodName(const zip::Entry& entry) {
  if (entry.Encryption() != zip::Encryption::kWinZipAes)
    return MethodName(entry.Method(), entry.Flags());
  const std::optional<zip::WinZipAesFacts> field = entry.WinZipAes();
  return (field ? MethodName(field->method, entry.Flags()) : std::string("Unk:099")) + "+AES";
}

uint64_t EncryptionOverhead(const zip::Entry& entry) {
  if (entry.Encryption() == zip::Encryption::kWinZipAes) {
    const std::optional<zip::WinZipAesFacts> field = entry.WinZipAes();
    return field ? field->overhead : 0;
  }
  return entry.IsEncrypted() ? kEncryptionHeaderSize : 0;
}

void ArchiveHeader(const zip::Archive& archive, const Options& options, bool withTitle,
                   std::ostream& out, std::ostream& err) {
  if (withTitle) {
    out << "Archive:  " << options.archiveShown << '\n';
    const std::string& comment = archive.Comment();
    if (!comment.empty()) out << ShownName(os::OemToChar(comment.c_str())) << '\n';
  }
  if (archive.DirectoryMismatch()) {
    out.flush();
    err << "tunzip: " << options.archiveShown << ": the central directory is not the "
        << archive.DeclaredEntries() << " entries in " << archive.DirectorySize()
        << " bytes its end record declares: only the " << archive.Count()
        << " found inside both are read\n";
  }
  if (archive.OffsetShift() != 0 && options.quiet < 2) {
    out.flush();
    err << "warning [" << options.archiveShown << "]:  " << archive.OffsetShift()
        << " extra bytes at beginning or within zipfile\n"
           "  (attempting to process anyway)\n";
  }
}

std::string ShortListingTitle(bool marks) {
  if (marks)
    return "  Length      Date    Time    Name (\"^\" ==> case\n"
           "---------  ---------- -----   ----   conversion)\n";
  return "  Length      Date    Time    Name\n"
         "---------  ---------- -----   ----\n";
}

int ListArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                std::ostream& err) {
  if (options.listing == Listing::kZipInfo) return ZipInfoListing(archive, options, out, err);
  const bool table = options.listing == Listing::kShort || options.listing == Listing::kVerbose;
  ArchiveHeader(archive, options, table && options.quiet == 0, out, err);
  if (archive.Count() == 0) {
    out.flush();
    err << "tunzip: " << options.archiveShown << ": zipfile is empty\n";
    return kExitWarning;
  }
  const Choice choice = ChooseMembers(archive, options);
  switch (options.listing) {
    case Listing::kShort:
      WriteShort(archive, choice.items, options.quiet, options.lowerNames > 0, out);
      break;
    case Listing::kVerbose:
      WriteVerbose(archive, choice.items, options.quiet, options.lowerNames > 0, out);
      break;
    case Listing::kNames:
      ForEachChosen(archive, choice.items,
                    [&](const zip::Entry& entry) { out << ShownMemberName(entry) << '\n'; });
      break;
    case Listing::kTsv:
      WriteTsv(archive, choice.items, out);
      break;
    case Listing::kJson:
      WriteJson(archive, choice.items, options, out);
      break;
    case Listing::kZipInfo:
      break;
  }
  out.flush();
  for (const std::string& mask : choice.unmatchedMasks)
    err << "caution: filename not matched:  " << mask << '\n';
  // A listing fails only when it lists nothing of what was asked for, as
  // UnZip's does: scripts ask "unzip -l a.zip x y" whether any is there.
  return choice.items.empty() && !options.masks.empty() ? kExitNoMatch : kExitOk;
}

}  // namespace tunzip
