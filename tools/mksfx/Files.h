// mksfx's file handling, through the operating-system layer that the
// installer itself uses, so that mksfx.exe behaves on Windows as mksfx does
// on Linux. Paths are operating-system paths; shown names go into messages.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "Compressor.h"

namespace mksfx {

// The whole of a file; raises std::runtime_error saying why it cannot be read.
Bytes ReadWholeFile(const std::string& path, const std::string& shown);

// The installer beside the running mksfx (where the build puts it), or where
// cmake --install puts it for the installed mksfx; "" when there is none.
std::string InstallerBesideProgram();

// Answers whether the file at path, written but not yet in place, is sound.
using FileCheck = std::function<bool(const std::string& path)>;

// Writes image to target whole or not at all: the installer is copied to a
// temporary name beside target, so that its permissions come along, image is
// written over the copy and checked, and only then does it replace target in
// one step. On failure the temporary is removed, target is as it was, and
// std::runtime_error says why (nothing when check said no: it has spoken).
void WriteWholeOrNothing(const std::string& installer, const Bytes& image,
                         const std::string& target, const std::string& shown,
                         const FileCheck& check);

class CheckFailed : public std::runtime_error {
 public:
  CheckFailed() : std::runtime_error("the check failed") {}
};

}  // namespace mksfx
