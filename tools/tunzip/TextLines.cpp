#include "TextLines.h"

#include <utility>

#include "Names.h"

namespace tunzip {

namespace {

#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kEndOfFileMark = 0x1A;
// UnZip's column for the name before "[text]".
constexpr size_t kNameColumn = 22;

}  // namespace

void TextLines::Convert(const uint8_t* bytes, size_t count, std::string& out) {
  out.clear();
  out.reserve(count + count / 8);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t c = bytes[i];
    // The mark between a CR and an LF parts them: two line ends, as UnZip
    // makes of it.
    const bool pairsWithCr = std::exchange(afterCr_, false) && c == kLf;
    if (c == kEndOfFileMark || pairsWithCr) continue;
    if (c == kCr || c == kLf) {
      out += kLineEnd;
      afterCr_ = c == kCr;
    } else {
      out += static_cast<char>(c);
    }
  }
}

bool ConvertsLines(const Options& options, const zip::Entry& entry) {
  return options.textLines > 1 || (options.textLines == 1 && entry.IsText());
}

std::string MemberLine(const Options& options, const zip::Entry& entry) {
  std::string line = ShownMemberName(entry);
  if (options.textLines != 1) return line;
  if (line.size() < kNameColumn) line.resize(kNameColumn, ' ');
  // UnZip tells a member that stores no bytes at all (a folder's included)
  // apart, whatever its text bit says.
  if (entry.CompressedSize() == 0) return line + "  [empty] ";
  return line + (entry.IsText() ? "  [text]  " : "  [binary]");
}

}  // namespace tunzip
