#include "Options.h"

namespace tunzip {

const char* const kUsage =
    "usage: tunzip -l [--tsv] ARCHIVE [MASK...] [-x MASK...]\n"
    "  -l     list the members (like unzip -v)\n"
    "  --tsv  one tab-separated line per member: index, method, flags, compressed size,\n"
    "         size, CRC-32, local header offset, date and time, name\n"
    "  -x     the masks after it exclude members\n";

Options ParseOptions(const std::vector<std::string>& raw, const std::vector<std::string>& program) {
  Options options;
  bool listRequested = false;
  bool haveArchive = false;
  bool excluding = false;
  bool optionsEnded = false;
  for (size_t i = 1; i < raw.size(); ++i) {
    const std::string& arg = raw[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-l") {
        listRequested = true;
      } else if (arg == "--tsv") {
        options.tsv = true;
      } else if (arg == "-x") {
        excluding = true;
      } else {
        throw UsageError("unknown option " + arg);
      }
      continue;
    }
    if (!haveArchive) {
      options.archiveShown = arg;
      options.archive = program[i];
      haveArchive = true;
    } else if (excluding) {
      options.excludes.push_back(program[i]);
    } else {
      options.masks.push_back(program[i]);
    }
  }
  if (!listRequested) throw UsageError("no mode given (only -l is available)");
  if (!haveArchive) throw UsageError("no archive given");
  if (excluding && options.excludes.empty()) throw UsageError("-x needs at least one mask");
  options.mode = Mode::kList;
  return options;
}

}  // namespace tunzip
