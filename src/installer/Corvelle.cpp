// The installer's shared unit: host registry lookups, the folder normaliser and
// the version query of an executable file.
#include "installer/Corvelle.h"

#include <array>
#include <vector>

#include "os/os.h"
#include "os/text.h"
#include "rtl/Format.h"
#include "ui/Dialogs.h"

namespace installer {

namespace {

const char kDefaultProgramPath[] = "C:\\Program Files\\Medisoft";

// One value below HKCU\Software as text, or fallback when its key or the value
// is missing. The keys are opened for reading only: a key that the user may
// read but not change must still be found.
std::string ReadRegistryString(const std::string& section, const std::string& ident,
                               const std::string& fallback) {
  std::string path = section;
  if (!path.empty() && path.front() == '\\') {
    path.erase(0, 1);
  } else if (os::OpenCurrentUserKey("Software", os::kKeyRead).IsOpen()) {
    path = "Software\\" + path;
  }
  const os::RegistryKey key = os::OpenCurrentUserKey(path, os::kKeyRead);
  if (!key.IsOpen()) return fallback;
  const std::optional<os::RegistryValue> value = key.Query(ident);
  if (!value) return fallback;
  if (value->type == os::kRegUnreadable)
    throw ERegistryException(rtl::Format("Failed to get data for '%s'", {ident}));
  if (value->data.empty()) return "";
  if (value->type != os::kRegSz && value->type != os::kRegExpandSz)
    throw ERegistryException(rtl::Format("Invalid data type for '%s'", {ident}));
  std::string text(value->data.begin(), value->data.end());
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

constexpr std::array<const char*, 10> kVersionNames = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTradeMarks", "OriginalFileName", "ProductName", "ProductVersion", "Comments"};

}  // namespace

std::string GetProgramPath() {
  const std::string path =
      ReadRegistryString("Medisoft\\Patient Accounting", "Program Path", kDefaultProgramPath);
  return path.empty() ? kDefaultProgramPath : path;
}

std::string GetRootDataPath() {
  return ReadRegistryString("Medisoft", "Root Data Path", "");
}

std::string NormalizeFolder(const std::string& folder) {
  std::string result = os::text::UpperCaseAscii(folder);
  if (!result.empty() && result.back() != '\\') result += '\\';
  return result;
}

void GetFileAndProductVersion(const std::string& fileName, std::string& fileVersion,
                              std::string& productVersion) {
  try {
    if (!os::FileExists(fileName)) {
      ui::ShowMessage("Unable to find " + fileName);
      return;
    }
    const std::vector<uint8_t> info = os::FileVersionInfo(fileName);
    if (info.empty()) {
      fileVersion.clear();
      productVersion.clear();
      return;
    }
    for (const std::string name : kVersionNames) {
      const auto value = os::QueryVersionValue(info, "StringFileInfo\\040904E4\\" + name);
      if (!value) continue;
      std::string text(value->begin(), value->end());
      const size_t zero = text.find('\0');
      if (zero != std::string::npos) text.resize(zero);
      if (name == "FileVersion") {
        fileVersion = text;
      } else if (name == "ProductVersion") {
        productVersion = text;
      }
    }
  } catch (...) {
    ui::ShowMessage("Error, attempting to get file version.");
  }
}

std::string GetFileVersion(const std::string& fileName) {
  std::string fileVersion, productVersion;
  GetFileAndProductVersion(fileName, fileVersion, productVersion);
  return fileVersion;
}

std::string GetVersion(const std::string& fileName) {
  return GetFileVersion(fileName.empty() ? os::ModuleFileName() : fileName);
}

}  // namespace installer
