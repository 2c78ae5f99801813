// tunzip -l: the catalogue as a table a person reads (like unzip -v) or as
// tab-separated lines for scripts, with the members chosen by masks.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Options.h"
#include "archive/AbZipTyp.h"

namespace tunzip {

// The indexes of the items the masks choose (every item when there are no
// masks) and none of the exclusions do; matched[k] tells whether masks[k]
// chose any item.
std::vector<int32_t> ChooseItems(const ab::TAbArchive& archive,
                                 const std::vector<std::string>& masks,
                                 const std::vector<std::string>& excludes,
                                 std::vector<bool>& matched);

// A name in the program's code page as UTF-8, control bytes shown as \xNN so
// that a hostile name cannot break a line or a column.
std::string ShownName(const std::string& ansi);

// The method as unzip -v names it ("Stored", "Defl:N", "Unk:014", ...).
std::string MethodName(uint16_t method, uint16_t flags);

// Writes the listing of a loaded archive; returns the exit code.
int ListArchive(const ab::TAbZipArchive& archive, const Options& options, std::ostream& out,
                std::ostream& err);

}  // namespace tunzip
