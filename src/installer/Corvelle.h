// The installer's shared unit: where the host application keeps its program
// folder and data root in the current user's registry, the folder normaliser
// that install paths are built on, and the version query of an executable.
#pragma once

#include <string>

#include "rtl/Exception.h"

namespace installer {

// A registry value that exists but cannot be read as text.
class ERegistryException : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

// "Program Path" of Software\Medisoft\Patient Accounting, or
// "C:\Program Files\Medisoft" when it is missing or empty.
std::string GetProgramPath();
// "Root Data Path" of Software\Medisoft, or "" when it is missing.
std::string GetRootDataPath();
// Appends a missing trailing `\` (not to an empty text) and upper-cases a-z.
std::string NormalizeFolder(const std::string& folder);

// The version query; reports its own problems in message dialogs and never
// raises. The results are written only on the paths that find something.
void GetFileAndProductVersion(const std::string& fileName, std::string& fileVersion,
                              std::string& productVersion);
std::string GetFileVersion(const std::string& fileName);
// An empty name asks for the running executable's own version.
std::string GetVersion(const std::string& fileName);

}  // namespace installer
