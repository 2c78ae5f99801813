// tunzip over an archive that can be read only once, in order (`-`, a pipe,
// a FIFO): its members by their local headers as they pass, the central
// directory checked against them when it arrives.
#pragma once

#include <ostream>

#include "Options.h"
#include "zip/StreamReader.h"

namespace tunzip {

// Lists, tests, extracts or pipes the members of the input; returns the
// exit code.
int StreamArchive(zip::Input& input, const Options& options, std::ostream& out,
                  std::ostream& err);

}  // namespace tunzip
