// Split sets (a.z01, a.z02, ..., a.zip): tunzip reads one when it is given the
// last part and the others lie beside it under the names split writers give
// them, and names the first part it cannot find.
#pragma once

#include <string>

#include "Options.h"
#include "archive/AbExcept.h"
#include "archive/AbZipTyp.h"

namespace tunzip {

// Lets the archive read a split set, its parts opened by their names beside
// the archive as the user named it (so that any name opens on Windows too).
void ReadSplitSetsBeside(ab::TAbZipArchive& archive, const Options& options);

// "part 2 of 3 (dir/a.z02) is missing", the part named as the user would type it.
std::string MissingPartMessage(const ab::EAbZipMissingPart& error, const Options& options);

}  // namespace tunzip
