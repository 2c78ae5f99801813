// The files a payload is made of, as the installer will look for them: their
// stored names, the checks on those names, the order they are stored in and
// the version the installer will report for the add-on.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "Options.h"

namespace mksfx {

// The names the installer opens after unpacking, in the order they are
// stored: the add-on first, then its four databases.
constexpr std::array<const char*, 5> kInstallerNames = {"CVCopyScr.EXE", "mwscd.adt", "mwscd.adi",
                                                        "mwscr.adt", "mwscr.adi"};
constexpr const char* kAddOnName = kInstallerNames[0];

struct PayloadFile {
  UserPath source;
  std::string name;  // the stored name: the file's own name without its folder
};

// Names compare as Windows compares file names: a-z and A-Z alike.
bool SameName(const std::string& a, const std::string& b);

// What is wrong with a stored name as the installer would write it to a
// Windows folder ("" when nothing): only printable ASCII, none of the
// characters Windows refuses in a name, no folder, no "." or "..", no
// trailing dot or space (Windows would drop them).
std::string NameProblem(const std::string& name);

// The files with their stored names, checked: raises std::runtime_error
// naming every file whose name is refused, and two files of the same name.
std::vector<PayloadFile> NameFiles(const std::vector<UserPath>& sources);

// The installer's names that none of the files carries.
std::vector<std::string> MissingNames(const std::vector<PayloadFile>& files);

// The fixed order the members are stored in: the installer's names first,
// in their order, then the others by name (a-z and A-Z alike).
void SortForStoring(std::vector<PayloadFile>& files);

// The FileVersion the installer will report for an executable at an
// operating-system path: the string under 040904E4, or nothing.
std::optional<std::string> ReportedVersion(const std::string& path);

}  // namespace mksfx
