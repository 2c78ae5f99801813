// tunzip -l --json: the catalogue as one JSON document for programs, every
// member with the facts its directory entry gives (schema in tunzip(1)).
#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

void WriteJson(const zip::Archive& archive, const std::vector<size_t>& chosen,
               const Options& options, std::ostream& out);

}  // namespace tunzip
