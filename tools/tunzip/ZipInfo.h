// tunzip -Z: the catalogue as Info-ZIP's zipinfo lists it, byte for byte,
// so that scripts that read zipinfo's columns read tunzip's.
#pragma once

#include <ostream>

#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

// Writes the zipinfo listing options.zipInfo asks for; returns the exit code
// (zipinfo's: 1 for an empty archive, 11 when the masks chose nothing).
int ZipInfoListing(const zip::Archive& archive, const Options& options, std::ostream& out,
                   std::ostream& err);

}  // namespace tunzip
