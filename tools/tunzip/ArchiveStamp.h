// tunzip -T: the archive file's time set to that of its newest file member,
// so that a folder of archives sorts by what they hold.
#pragma once

#include <ostream>

#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

// Returns the exit code of the run.
int StampArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                 std::ostream& err);

}  // namespace tunzip
