// tunzip -Z -v: zipinfo's verbose listing, byte for byte: the end record's
// facts, then every fact of each chosen member's directory entry, its extra
// field block by block and its comment.
#pragma once

#include <cstdint>
#include <ostream>

#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

// The size of the file zipinfo reads: of a split set, its last part.
uint64_t ZipInfoFileSize(const zip::Archive& archive, const Options& options);

// Returns zipinfo's exit code: 1 for an empty archive, 11 when the masks
// chose nothing.
int ZipInfoVerboseListing(const zip::Archive& archive, const Options& options, std::ostream& out,
                          std::ostream& err);

}  // namespace tunzip
