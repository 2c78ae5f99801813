// -a: text members written with this system's line ends, as UnZip writes
// them: CR LF, a lone CR and a lone LF each end a line, and the MS-DOS end
// of file mark (Ctrl-Z) is dropped wherever it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Options.h"
#include "zip/Entry.h"

namespace tunzip {

class TextLines {
 public:
  // The bytes that follow the ones converted before, converted into out
  // (which is emptied first). A CR at the end of one call pairs with an LF
  // at the start of the next.
  void Convert(const uint8_t* bytes, size_t count, std::string& out);

 private:
  bool afterCr_ = false;
};

// Whether -a or -aa converts the member's line ends.
bool ConvertsLines(const Options& options, const zip::Entry& entry);

// The member's line under -a: its name in UnZip's column and what it was
// taken for (text, binary or empty); under -aa, or without -a, the name alone.
std::string MemberLine(const Options& options, const zip::Entry& entry);

}  // namespace tunzip
