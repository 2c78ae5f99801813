#include "JsonListing.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "Listing.h"
#include "os/os.h"

namespace tunzip {

namespace {

// No target longer than this is read for the listing.
constexpr uint64_t kLinkTargetLimit = 4096;

// A JSON string of UTF-8 text.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

// The days since 1970-01-01 as a proleptic Gregorian date, for any year.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  month = shifted < 10 ? shifted + 3 : shifted - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

// A UTC time as ISO 8601 with its zone, Z.
std::string Utc(const zip::Time& time) {
  const int64_t days = (time.seconds >= 0 ? time.seconds : time.seconds - 86399) / 86400;
  const int64_t inDay = time.seconds - days * 86400;
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  char text[64];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02uT%02u:%02u:%02u", year, month, day,
                static_cast<unsigned>(inDay / 3600), static_cast<unsigned>(inDay / 60 % 60),
                static_cast<unsigned>(inDay % 60));
  std::string out = text;
  if (time.nanoseconds != 0) {
    std::snprintf(text, sizeof text, ".%09u", time.nanoseconds);
    out += text;
  }
  return Quoted(out + "Z");
}

// The MS-DOS stamp: the writer's wall-clock time, which carries no zone.
std::string Local(uint16_t date, uint16_t time) {
  const zip::DosDateTime t = zip::DecodeDosDateTime(date, time);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return Quoted(text);
}

const char* EncryptionName(zip::Encryption encryption) {
  switch (encryption) {
    case zip::Encryption::kNone:
      return "none";
    case zip::Encryption::kTraditional:
      return "traditional";
    case zip::Encryption::kWinZipAes:
      return "winzip-aes";
    case zip::Encryption::kStrong:
      return "strong";
  }
  return "unknown";
}

std::string LinkTarget(zip::Reader& reader, const zip::Entry& entry, const Options& options) {
  if (!entry.IsLink() || entry.Size() > kLinkTargetLimit) return "null";
  zip::ReadOptions reading;
  reading.password = options.password;
  try {
    zip::MemorySink target;
    reader.Extract(entry, target, reading);
    return Quoted(target.Text());
  } catch (const zip::Error&) {
    return "null";  // the member's own test says why
  }
}

}  // namespace

void WriteJson(const zip::Archive& archive, const std::vector<size_t>& chosen,
               const Options& options, std::ostream& out) {
  out << "{\"archive\": " << Quoted(options.archiveShown)
      << ", \"comment\": " << Quoted(os::AnsiToUtf8(os::OemToChar(archive.Comment().c_str())))
      << ", \"members\": [";
  zip::Reader reader(archive);
  bool first = true;
  ForEachChosen(archive, chosen, [&](const zip::Entry& entry) {
    out << (first ? "\n" : ",\n") << "  {\"index\": " << entry.Index()
        << ", \"name\": " << Quoted(entry.Name()) << ", \"type\": "
        << (entry.IsFolder() ? "\"folder\""
            : entry.IsLink() ? "\"link\""
                             : "\"file\"")
        << ", \"size\": " << entry.Size() << ", \"compressed_size\": " << entry.CompressedSize()
        << ", \"method\": " << entry.Method()
        << ", \"method_name\": " << Quoted(MethodName(entry.Method(), entry.Flags()))
        << ", \"crc32\": \"";
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08" PRIx32, entry.Crc32());
    out << crc << "\", \"modified\": "
        << (entry.Modified() ? Utc(*entry.Modified()) : Local(entry.DosDate(), entry.DosTime()))
        << ", \"accessed\": " << (entry.Accessed() ? Utc(*entry.Accessed()) : "null")
        << ", \"unix_mode\": ";
    if (entry.UnixMode() != 0) {
      out << entry.UnixMode();
    } else {
      out << "null";
    }
    out << ", \"dos_attributes\": " << static_cast<unsigned>(entry.DosAttributes())
        << ", \"link_target\": " << LinkTarget(reader, entry, options) << ", \"encryption\": \""
        << EncryptionName(entry.Encryption()) << "\"}";
    first = false;
  });
  out << (first ? "]}\n" : "\n]}\n");
}

}  // namespace tunzip
