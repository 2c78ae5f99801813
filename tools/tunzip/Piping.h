// tunzip -p: the chosen members' bytes, in catalogue order, to standard
// output and nothing else there, so that a script can pipe them on; what
// goes wrong is said on standard error.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Options.h"
#include "TextLines.h"
#include "zip/Archive.h"

namespace tunzip {

// Standard output, binary on every system. A write it refuses is a full
// disk or a closed pipe: EWriteError, as for a file.
// With textLines, -a's line ends.
class StandardOutputSink final : public zip::Sink {
 public:
  explicit StandardOutputSink(bool textLines = false) : textLines_(textLines) {}
  void Write(const uint8_t* bytes, size_t count) override;

 private:
  bool textLines_;
  TextLines lines_;
  std::string converted_;
};

// Decodes each of the items to standard output; returns the exit code of
// the run.
int PipeMembers(const zip::Archive& archive, const Options& options,
                const std::vector<size_t>& items, std::ostream& err);

}  // namespace tunzip
