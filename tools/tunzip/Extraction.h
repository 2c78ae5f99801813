// tunzip's extraction and test modes: the chosen members are written below
// the target folder (or decoded into the bit bucket), each failure reported
// and the others carried on with. An existing file is replaced only by a
// member that extracted correctly.
#pragma once

#include <ostream>

#include "Options.h"
#include "zip/Archive.h"
#include "zip/StreamReader.h"

namespace tunzip {

// Extracts or tests the members of a loaded archive; returns the exit code.
int ExtractArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                   std::ostream& err);
// The same for the members of an archive read once, in order, as they pass.
int ExtractStream(zip::StreamReader& stream, const Options& options, std::ostream& out,
                  std::ostream& err);

}  // namespace tunzip
