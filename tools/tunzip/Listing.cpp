#include "Listing.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "ExitCodes.h"
#include "archive/AbUtils.h"
#include "os/os.h"

namespace tunzip {

namespace {

std::string Printf(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

std::string DateTime(uint16_t date, uint16_t time, bool seconds) {
  const ab::TAbDosDateTime t = ab::DecodeDosDateTime(date, time);
  if (seconds)
    return Printf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  return Printf("%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
}

// Space saved, as unzip shows it: rounded, negative when the data grew.
std::string Ratio(uint64_t size, uint64_t compressed) {
  if (size == 0) return "  0%";
  const double saved = 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(size));
  return Printf("%3ld%%", std::lround(saved));
}

}  // namespace

std::vector<int32_t> ChooseItems(const ab::TAbArchive& archive,
                                 const std::vector<std::string>& masks,
                                 const std::vector<std::string>& excludes,
                                 std::vector<bool>& matched) {
  matched.assign(masks.size(), false);
  std::vector<int32_t> chosen;
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    const ab::TAbArchiveItem& item = archive.Item(i);
    bool excluded = false;
    for (const std::string& mask : excludes) excluded = excluded || item.MatchesMaskList(mask);
    if (excluded) continue;
    bool take = masks.empty();
    for (size_t k = 0; k < masks.size(); ++k) {
      if (item.MatchesMaskList(masks[k])) {
        matched[k] = true;
        take = true;
      }
    }
    if (take) chosen.push_back(i);
  }
  return chosen;
}

std::string ShownName(const std::string& ansi) {
  std::string escaped;
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      escaped += Printf("\\x%02X", byte);
    } else {
      escaped += c;
    }
  }
  return os::AnsiToUtf8(escaped);
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
    default:
      return Printf("Unk:%03u", static_cast<unsigned>(method));
  }
}

int ListArchive(const ab::TAbZipArchive& archive, const Options& options, std::ostream& out,
                std::ostream& err) {
  std::vector<bool> matched;
  const std::vector<int32_t> chosen =
      ChooseItems(archive, options.masks, options.excludes, matched);
  if (options.tsv) {
    for (int32_t i : chosen) {
      const ab::TAbZipItem& item = archive.Item(i);
      const ab::TAbZipDirectoryFileHeader& h = item.CentralHeader();
      out << i << '\t' << h.RawCompressionMethod() << '\t'
          << Printf("%04x", h.GeneralPurposeBitFlag()) << '\t' << item.CompressedSize64() << '\t'
          << item.UncompressedSize64() << '\t' << Printf("%08" PRIx32, h.Crc32()) << '\t'
          << item.LocalHeaderOffset64() << '\t'
          << DateTime(h.LastModFileDate(), h.LastModFileTime(), true) << '\t'
          << ShownName(item.ItemName()) << '\n';
    }
  } else {
    out << "Archive:  " << options.archiveShown << '\n';
    const std::string& comment = archive.EndRecord().ZipfileComment();
    if (!comment.empty()) out << ShownName(os::OemToChar(comment.c_str())) << '\n';
    out << " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
        << "--------  ------  ------- ---- ---------- ----- --------  ----\n";
    uint64_t totalSize = 0, totalCompressed = 0;
    for (int32_t i : chosen) {
      const ab::TAbZipItem& item = archive.Item(i);
      const ab::TAbZipDirectoryFileHeader& h = item.CentralHeader();
      const uint64_t size = item.UncompressedSize64();
      const uint64_t compressed = item.CompressedSize64();
      totalSize += size;
      totalCompressed += compressed;
      out << Printf("%8" PRIu64 "  %-7s%8" PRIu64 " %s %s %08" PRIx32 "  ", size,
                    MethodName(h.RawCompressionMethod(), h.GeneralPurposeBitFlag()).c_str(),
                    compressed, Ratio(size, compressed).c_str(),
                    DateTime(h.LastModFileDate(), h.LastModFileTime(), false).c_str(), h.Crc32())
          << ShownName(item.ItemName()) << '\n';
    }
    out << "--------          -------  ---                            -------\n"
        << Printf("%8" PRIu64 "        %9" PRIu64 " %s                            %zu file%s\n",
                  totalSize, totalCompressed, Ratio(totalSize, totalCompressed).c_str(),
                  chosen.size(), chosen.size() == 1 ? "" : "s");
  }
  int code = kExitOk;
  for (size_t k = 0; k < options.masks.size(); ++k) {
    if (!matched[k]) {
      err << "caution: filename not matched:  " << os::AnsiToUtf8(options.masks[k]) << '\n';
      code = kExitNoMatch;
    }
  }
  if (code == kExitOk && archive.ItemCount() == 0) {
    err << "tunzip: " << options.archiveShown << ": zipfile is empty\n";
    code = kExitWarning;
  }
  return code;
}

}  // namespace tunzip
