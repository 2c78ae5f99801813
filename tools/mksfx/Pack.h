// mksfx's packing: the checks on the installer and the files, the payload
// in its fixed order and stamps, the output written whole and then tested.
#pragma once

#include <ostream>

#include "Options.h"

namespace mksfx {

// Returns the exit code; says what it did on out and what is wrong on err.
int Pack(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace mksfx
