// tunzip -p: the chosen members' bytes, in catalogue order, to standard
// output and nothing else there, so that a script can pipe them on; what
// goes wrong is said on standard error.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Options.h"
#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"

namespace tunzip {

// A write-only stream onto standard output, binary on every system, for one
// member: its positions count from the member's first byte, and it seeks only
// where it already is, which is all that decoders writing in order ask.
class TStandardOutputStream : public rtl::TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;

 private:
  int64_t written_ = 0;
};

// Decodes each of the items to standard output; returns the exit code of
// the run.
int PipeMembers(ab::TAbZipArchive& archive, const Options& options,
                const std::vector<int32_t>& items, std::ostream& err);

}  // namespace tunzip
