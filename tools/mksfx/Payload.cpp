#include "Payload.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "os/os.h"
#include "os/text.h"

namespace mksfx {

namespace {

// A path's last part: `/` and `\` both end a folder, on Linux as under Wine.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The place of a name in the installer's list; past its end for the others.
size_t InstallerRank(const std::string& name) {
  size_t rank = 0;
  while (rank < kInstallerNames.size() && !SameName(name, kInstallerNames[rank])) ++rank;
  return rank;
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  return os::text::SameTextAscii(a, b);
}

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "has no file name";
  for (unsigned char c : name) {
    if (c >= 0x80) return "is not plain ASCII";
    if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
      return std::string("holds '") + static_cast<char>(c) + "', which Windows refuses in a name";
  }
  if (name == "." || name == "..") return "names a folder";
  if (name.back() == '.' || name.back() == ' ')
    return "ends in a dot or space, which Windows drops";
  // The installer would never write it: it skips such a member.
  if (os::IsDosDeviceName(name)) return "is a device name on Windows";
  return "";
}

std::vector<PayloadFile> NameFiles(const std::vector<UserPath>& sources) {
  std::vector<PayloadFile> files;
  std::string refused;
  for (const UserPath& source : sources) {
    // Checked in the user's own spelling, where any non-ASCII byte shows.
    const std::string shownName = BaseName(source.shown);
    std::string problem = NameProblem(shownName);
    if (problem.empty() && shownName != BaseName(source.path)) problem = "is not plain ASCII";
    if (!problem.empty()) {
      refused += "\n  " + source.shown + ": the name " + problem;
      continue;
    }
    for (const PayloadFile& other : files) {
      if (SameName(other.name, shownName))
        refused += "\n  " + source.shown + ": the same name as " + other.source.shown;
    }
    files.push_back({source, shownName});
  }
  if (!refused.empty()) throw std::runtime_error("refused:" + refused);
  return files;
}

std::vector<std::string> MissingNames(const std::vector<PayloadFile>& files) {
  std::vector<std::string> missing;
  for (const char* name : kInstallerNames) {
    const bool present = std::any_of(files.begin(), files.end(),
                                     [&](const PayloadFile& f) { return SameName(f.name, name); });
    if (!present) missing.push_back(name);
  }
  return missing;
}

void SortForStoring(std::vector<PayloadFile>& files) {
  std::stable_sort(files.begin(), files.end(), [](const PayloadFile& a, const PayloadFile& b) {
    const size_t rankA = InstallerRank(a.name), rankB = InstallerRank(b.name);
    if (rankA != rankB) return rankA < rankB;
    const std::string lowerA = os::text::LowerCaseAscii(a.name);
    const std::string lowerB = os::text::LowerCaseAscii(b.name);
    return lowerA != lowerB ? lowerA < lowerB : a.name < b.name;
  });
}

std::optional<std::string> ReportedVersion(const std::string& path) {
  const std::vector<uint8_t> info = os::FileVersionInfo(path);
  if (info.empty()) return std::nullopt;
  const auto value = os::QueryVersionValue(info, "StringFileInfo\\040904E4\\FileVersion");
  if (!value) return std::nullopt;
  std::string text(value->begin(), value->end());
  text.resize(std::min(text.size(), text.find('\0')));
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace mksfx
