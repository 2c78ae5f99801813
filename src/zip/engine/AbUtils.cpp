#include "zip/engine/AbUtils.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "os/text.h"
#include "rtl/Stream.h"
#include "zip/engine/AbExcept.h"

namespace ab {

uint8_t Percentage(int32_t done, int32_t total) {
  if (total > 16384000) {
    done = static_cast<int32_t>((static_cast<uint32_t>(done) + 128u) >> 8);
    total = static_cast<int32_t>((static_cast<uint32_t>(total) + 128u) >> 8);
  }
  if (total <= 0) return 0;
  if (done >= total) return 100;
  return static_cast<uint8_t>(static_cast<int64_t>(done) * 100 / total);
}

int64_t SeekTarget(int64_t offset, int origin, int64_t position, int64_t size) {
  int64_t target = offset;
  if (origin == rtl::soCurrent) target += position;
  if (origin == rtl::soEnd) target += size;
  return target < 0 ? -1 : target;
}

int32_t RoundedPercentage(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  const int64_t scaled = done * 100;
  int64_t percent = scaled / total;
  const int64_t twiceRest = (scaled % total) * 2;
  if (twiceRest > total || (twiceRest == total && (percent & 1) != 0)) ++percent;
  return static_cast<int32_t>(std::min<int64_t>(percent, INT32_MAX));
}

void TAbZipKeys::Init(const std::string& password) {
  k0 = 0x12345678;
  k1 = 0x23456789;
  k2 = 0x34567890;
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void SlashesToBackslashes(std::string& text) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
}

namespace {

size_t AfterLastSeparator(const std::string& path) {
  const size_t at = path.find_last_of("\\:");
  return at == std::string::npos ? 0 : at + 1;
}

}  // namespace

std::string FolderPart(const std::string& path) {
  return path.substr(0, AfterLastSeparator(path));
}
std::string NamePart(const std::string& path) {
  return path.substr(AfterLastSeparator(path));
}

TAbPathSpec SplitPathSpec(const std::string& path) {
  std::string text = path;
  SlashesToBackslashes(text);
  TAbPathSpec pathSpec;
  pathSpec.folder = FolderPart(text);
  pathSpec.name = NamePart(text);
  if (pathSpec.folder.find("\\\\") != std::string::npos) {
    // A network path: server and share make the drive.
    const auto a = static_cast<size_t>(NthBackslashPos(pathSpec.folder, 4));
    pathSpec.drive = pathSpec.folder.substr(0, a);
    pathSpec.folder.erase(0, std::min(pathSpec.folder.size(), a + 1));
  } else if (const size_t c = pathSpec.folder.find(':'); c != std::string::npos) {
    pathSpec.drive = pathSpec.folder.substr(0, c + 1);
    pathSpec.folder.erase(0, c + 1);
    if (!pathSpec.folder.empty() && pathSpec.folder[0] == '\\') pathSpec.folder.erase(0, 1);
  }
  return pathSpec;
}

int32_t NthBackslashPos(const std::string& text, int32_t n) {
  int32_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && ++seen == n) return static_cast<int32_t>(i);
  }
  return static_cast<int32_t>(text.size());
}

bool WildcardMatch(const std::string& source, const std::string& pattern) {
  if (source.empty()) return pattern.empty();
  if (pattern == "*.*" || pattern == "*") return true;
  // Greedy matching that remembers only the last star: a later star can
  // absorb anything an earlier one could, so this accepts exactly the
  // sources that trying every split would, without the exponential cost.
  size_t s = 0, p = 0;
  size_t starP = std::string::npos, starS = 0;
  while (s < source.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starS = s;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == source[s])) {
      ++s;
      ++p;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FileMaskMatch(const std::string& fileName, const std::string& mask) {
  const std::string name = os::text::UpperCaseAscii(fileName);
  const std::string pattern = os::text::UpperCaseAscii(mask);
  const std::string maskFolder = FolderPart(pattern);
  if (!maskFolder.empty() && !WildcardMatch(FolderPart(name), maskFolder)) return false;
  return WildcardMatch(NamePart(name), NamePart(pattern));
}

TAbMemberPath SplitMemberPath(const std::string& unicodeName) {
  if (!unicodeName.empty() && unicodeName[0] == '/')
    throw EAbZipUnsafeName(unicodeName, "absolute path");
  const bool drive = unicodeName.size() >= 2 && unicodeName[1] == ':' &&
                     ((unicodeName[0] >= 'A' && unicodeName[0] <= 'Z') ||
                      (unicodeName[0] >= 'a' && unicodeName[0] <= 'z'));
  if (drive) throw EAbZipUnsafeName(unicodeName, "drive in the name");
  TAbMemberPath path;
  path.isFolder = !unicodeName.empty() && unicodeName.back() == '/';
  size_t start = 0;
  while (start < unicodeName.size()) {
    size_t end = unicodeName.find('/', start);
    if (end == std::string::npos) end = unicodeName.size();
    const std::string component = unicodeName.substr(start, end - start);
    if (component == "..") throw EAbZipUnsafeName(unicodeName, "parent folder (..) in the name");
    if (!component.empty() && component != ".") path.components.push_back(component);
    start = end + 1;
  }
  if (path.components.empty() && !path.isFolder) throw EAbZipUnsafeName(unicodeName, "empty name");
  return path;
}

TAbDosDateTime DecodeDosDateTime(uint16_t dosDate, uint16_t dosTime) {
  TAbDosDateTime t;
  t.year = 1980 + (dosDate >> 9);
  t.month = (dosDate >> 5) & 0x0F;
  t.day = dosDate & 0x1F;
  t.hour = dosTime >> 11;
  t.minute = (dosTime >> 5) & 0x3F;
  t.second = (dosTime & 0x1F) * 2;
  return t;
}

}  // namespace ab
