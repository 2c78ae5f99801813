#include "ZipInfo.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <optional>
#include <string_view>
#include <string>

#include "ExitCodes.h"
#include "Listing.h"
#include "Names.h"
#include "ZipInfoVerbose.h"
#include "os/os.h"
#include "zip/ExtraField.h"

namespace tunzip {

namespace {

// Space saved in tenths of a percent, rounded half up; negative when the
// data grew.
long PerMille(uint64_t size, uint64_t compressed) {
  if (size == 0) return 0;
  const double saved = 1000.0 * (static_cast<double>(size) - static_cast<double>(compressed)) /
                       static_cast<double>(size);
  return static_cast<long>(saved + (saved < 0 ? -0.5 : 0.5));
}

// The compressed size zipinfo's ratios and totals count: without the
// traditional cipher's 12-byte header, which holds no data. zipinfo takes
// the same 12 bytes off an AES member, whose overhead differs: matched, so
// that the totals read the same.
}  // namespace

uint64_t ZipInfoDataSize(const zip::Entry& entry) {
  const uint64_t overhead = entry.IsEncrypted() ? 12 : 0;
  return entry.CompressedSize() >= overhead ? entry.CompressedSize() - overhead : 0;
}

namespace {

// The host's three letters, as the short formats name it.
std::string HostName(uint8_t host) {
  static const char* const kHosts[] = {"fat", "ami", "vms", "unx", "cms", "atr", "hpf",
                                       "mac", "zzz", "cpm", "t20", "ntf", "qds", "aco",
                                       "vft", "mvs", "be ", "nsk", "ths", "osx"};
  return host < std::size(kHosts) ? kHosts[host] : "???";
}

// Hosts whose external attributes carry a Unix mode in their high half.
bool KeepsUnixMode(uint8_t host) {
  return host != 0 && host != 6 && host != 11 && host != 13 && host != 14 && host != 15 &&
         host != 4;
}

}  // namespace

std::string UnixPermissionLetters(uint32_t mode) {
  std::string text(10, '-');
  switch (mode & 0170000) {
    case 0100000: text[0] = '-'; break;
    case 0040000: text[0] = 'd'; break;
    case 0120000: text[0] = 'l'; break;
    case 0020000: text[0] = 'c'; break;
    case 0060000: text[0] = 'b'; break;
    case 0010000: text[0] = 'p'; break;
    case 0140000: text[0] = 's'; break;
    default: text[0] = '?'; break;
  }
  static const char kLetters[] = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit)
    if (mode & (0400u >> bit)) text[1 + bit] = kLetters[bit];
  // The special bits show in the execute columns, lower case where the
  // execute bit is set too.
  const auto special = [&](uint32_t flag, size_t at, char set) {
    if (mode & flag) text[at] = text[at] == '-' ? static_cast<char>(set - 'a' + 'A') : set;
  };
  special(04000, 3, 's');
  special(02000, 6, 's');
  special(01000, 9, 't');
  return text;
}

namespace {

// An MS-DOS attribute byte as zipinfo spells it: folder, read, write,
// execute (a folder, or by the name's extension), archive, hidden, system.
std::string DosPermissions(uint8_t attributes, const std::string& name) {
  std::string text = "-rw----";
  if (attributes & 0x10) {
    text[0] = 'd';
    text[3] = 'x';
  }
  if (attributes & 0x01) text[2] = '-';
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "exe" || extension == "com" || extension == "bat" || extension == "cmd" ||
        extension == "btm")
      text[3] = 'x';
  }
  if (attributes & 0x20) text[4] = 'a';
  if (attributes & 0x02) text[5] = 'h';
  if (attributes & 0x04) text[6] = 's';
  return text;
}

std::string Permissions(const zip::Entry& entry) {
  if (KeepsUnixMode(entry.Host())) return UnixPermissionLetters(entry.ExternalAttributes() >> 16);
  return DosPermissions(static_cast<uint8_t>(entry.ExternalAttributes()), entry.Name());
}

// The method's four letters.
std::string MethodLetters(const zip::Entry& entry) {
  const uint16_t flags = entry.Flags();
  switch (entry.Method()) {
    case 0: return "stor";
    case 1: return "shrk";
    case 2: case 3: case 4: case 5: return Printf("re:%d", entry.Method() - 1);
    case 6: return Printf("i%d:%d", (flags & 2) ? 8 : 4, (flags & 4) ? 3 : 2);
    case 7: return "tokn";
    case 8: return std::string("def") + "NXFS"[(flags >> 1) & 3];
    case 9: return std::string("d64") + "NXFS"[(flags >> 1) & 3];
    case 10: return "dcli";
    case 12: return "bzp2";
    case 14: return "lzma";
    case 18: return "ters";
    case 19: return "lz77";
    case 97: return "wavp";
    case 98: return "ppmd";
    default: return Printf("u%03u", static_cast<unsigned>(entry.Method()));
  }
}

// Text or binary (upper case when encrypted), then whether the entry has
// an extra field ('x'), a data descriptor ('l'), both ('X') or neither.
std::string TypeLetters(const zip::Entry& entry, uint16_t internalAttributes) {
  std::string letters(2, '-');
  letters[0] = (internalAttributes & 1) ? 't' : 'b';
  if (entry.IsEncrypted()) letters[0] = static_cast<char>(letters[0] - 'a' + 'A');
  const bool extra = !entry.ExtraField().empty();
  const bool descriptor = (entry.Flags() & 0x0008) != 0;
  letters[1] = extra && descriptor ? 'X' : extra ? 'x' : descriptor ? 'l' : '-';
  return letters;
}

// The local time the listing shows: the extended timestamp's where there
// is one, else the MS-DOS stamp as it was written. zipinfo reads no NTFS
// times here, so neither does this.
std::tm ModifiedTime(const zip::Entry& entry) {
  const std::optional<std::string_view> block =
      zip::SplitExtraField(entry.ExtraField()).Find(zip::extra_id::kExtendedTimestamp);
  if (const auto modified = block ? zip::ExtendedTimestampModified(*block) : std::nullopt) {
    const std::time_t seconds = static_cast<std::time_t>(modified->seconds);
    // The listing runs on one thread: localtime's shared result is safe here.
    if (const std::tm* local = std::localtime(&seconds)) return *local;
  }
  const zip::DosDateTime dos = zip::DecodeDosDateTime(entry.DosDate(), entry.DosTime());
  std::tm t{};
  t.tm_year = dos.year - 1900;
  t.tm_mon = dos.month - 1;
  t.tm_mday = dos.day;
  t.tm_hour = dos.hour;
  t.tm_min = dos.minute;
  t.tm_sec = dos.second;
  return t;
}

std::string ShownTime(const zip::Entry& entry, bool decimal) {
  const std::tm t = ModifiedTime(entry);
  if (decimal)
    return Printf("%04d%02d%02d.%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* month = t.tm_mon >= 0 && t.tm_mon < 12 ? kMonths[t.tm_mon] : "???";
  return Printf("%02d-%s-%02d %02d:%02d", (t.tm_year + 1900) % 100, month, t.tm_mday, t.tm_hour,
                t.tm_min);
}

void WriteMemberLine(const zip::Entry& entry, const Options& options, std::ostream& out) {
  const ZipInfoFormat format = options.zipInfo.format;
  const uint16_t made = entry.VersionMadeBy() & 0xff;
  out << Printf("%-10s  %u.%u %s %8" PRIu64 " %s", Permissions(entry).c_str(), made / 10,
                made % 10, HostName(entry.Host()).c_str(), entry.Size(),
                TypeLetters(entry, entry.InternalAttributes()).c_str());
  if (format == ZipInfoFormat::kMedium) {
    const long ratio = PerMille(entry.Size(), ZipInfoDataSize(entry));
    // Tenths rounded up, toward zero below it, as zipinfo's integers do.
    out << Printf("%3ld%% ", (ratio + 5) / 10);
  } else if (format == ZipInfoFormat::kLong) {
    out << Printf(" %8" PRIu64 " ", entry.CompressedSize());
  } else {
    out << ' ';
  }
  out << MethodLetters(entry) << ' ' << ShownTime(entry, options.zipInfo.decimalTime) << ' '
      << ShownMemberName(entry) << '\n';
}

void WriteHeader(const zip::Archive& archive, const Options& options, bool title,
                 std::ostream& out) {
  if (title) out << "Archive:  " << options.archiveShown << '\n';
  if (options.zipInfo.comment && !archive.Comment().empty()) {
    // Line by line, CR LF as LF, and each line's control characters shown
    // escaped as in any name: a comment may not drive the terminal.
    const std::string text = os::OemToChar(archive.Comment().c_str());
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const size_t cut = end > at && text[end - 1] == '\r' ? end - 1 : end;
      out << ShownName(text.substr(at, cut - at)) << '\n';
      at = end + 1;
    }
  }
  if (title)
    out << "Zip file size: " << ZipInfoFileSize(archive, options)
        << " bytes, number of entries: " << archive.Count() << '\n';
}

}  // namespace

void ZipInfoTotals(size_t files, uint64_t size, uint64_t compressed, std::ostream& out) {
  const long ratio = PerMille(size, compressed);
  out << files << " file" << (files == 1 ? "" : "s") << ", " << size << " bytes uncompressed, "
      << compressed << " bytes compressed:  " << (ratio < 0 ? "-" : "")
      << Printf("%ld.%ld%%", std::labs(ratio) / 10, std::labs(ratio) % 10) << '\n';
}

int ZipInfoListing(const zip::Archive& archive, const Options& options, std::ostream& out,
                   std::ostream& err) {
  const ZipInfoRequest& request = options.zipInfo;
  if (request.format == ZipInfoFormat::kVerbose)
    return ZipInfoVerboseListing(archive, options, out, err);
  // Masks and exclusions narrow the listing to members, without the
  // archive's lines unless they are asked for.
  const bool wide = request.format == ZipInfoFormat::kShort ||
                    request.format == ZipInfoFormat::kMedium ||
                    request.format == ZipInfoFormat::kLong;
  const bool whole = options.masks.empty() && options.excludes.empty();
  const bool header = request.header || (wide && whole);
  const bool totals = request.totals || (wide && whole);
  WriteHeader(archive, options, header, out);
  // On standard output, below the archive's lines, where zipinfo writes
  // lines of its own.
  ArchiveHeader(archive, options, false, out, header || totals ? out : err);
  if (archive.Count() == 0) {
    out << "Empty zipfile.\n";
    return kExitWarning;
  }
  const Choice choice = ChooseMembers(archive, options);
  size_t files = 0;
  uint64_t size = 0, compressed = 0;
  ForEachChosen(archive, choice.items, [&](const zip::Entry& entry) {
    ++files;
    size += entry.Size();
    compressed += ZipInfoDataSize(entry);
    if (request.format == ZipInfoFormat::kNamesWithLines)
      out << ShownMemberName(entry) << '\n';
    else if (request.format != ZipInfoFormat::kNone)
      WriteMemberLine(entry, options, out);
  });
  if (totals) ZipInfoTotals(files, size, compressed, out);
  // zipinfo says what matched nothing under its totals line, when it
  // writes one, else on standard error.
  out.flush();
  ZipInfoCautions(choice, totals ? out : err);
  return choice.items.empty() ? kExitNoMatch : kExitOk;
}

void ZipInfoCautions(const Choice& choice, std::ostream& cautions) {
  for (const std::string& mask : choice.unmatchedMasks)
    cautions << "caution: filename not matched:  " << mask << '\n';
  for (const std::string& mask : choice.unmatchedExcludes)
    cautions << "caution: excluded filename not matched:  " << mask << '\n';
}

}  // namespace tunzip
