// tunzip -Z: the catalogue as Info-ZIP's zipinfo lists it, byte for byte,
// so that scripts that read zipinfo's columns read tunzip's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "Listing.h"
#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

// Writes the zipinfo listing options.zipInfo asks for; returns the exit code
// (zipinfo's: 1 for an empty archive, 11 when the masks chose nothing).
int ZipInfoListing(const zip::Archive& archive, const Options& options, std::ostream& out,
                   std::ostream& err);

// What the listings share with the verbose one (ZipInfoVerbose.h): a Unix
// mode as ls spells it, the compressed size zipinfo's totals count, its
// totals line, and the masks and exclusions that matched nothing.
std::string UnixPermissionLetters(uint32_t mode);
uint64_t ZipInfoDataSize(const zip::Entry& entry);
void ZipInfoTotals(size_t files, uint64_t size, uint64_t compressed, std::ostream& out);
void ZipInfoCautions(const Choice& choice, std::ostream& cautions);

}  // namespace tunzip
