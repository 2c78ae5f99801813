// The check after packing, and mksfx --verify: the installer is opened with
// the installer's own archive reader, exactly as it will open itself, and every
// member is decoded and its CRC-32 checked. A signed installer is checked too:
// its certificate table must stand behind the payload.
#pragma once

#include <ostream>
#include <string>

namespace mksfx {

// path is an operating-system path, shown the name to print. Prints a line per
// member and the layout to out, problems to err; true when every member is sound.
// Installer names missing from the payload are warned about when asked.
bool VerifyInstaller(const std::string& path, const std::string& shown, std::ostream& out,
                     std::ostream& err, bool warnMissingNames = true);

}  // namespace mksfx
