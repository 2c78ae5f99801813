#include "Options.h"

namespace tunzip {

const char* const kUsage =
    "usage: tunzip [-d DIR] [-o | -n] [-j] [-P PASSWORD] [-q] ARCHIVE [MASK...] [-x MASK...]\n"
    "       tunzip -t [-P PASSWORD] [-q] ARCHIVE [MASK...] [-x MASK...]\n"
    "       tunzip -l [--tsv] ARCHIVE [MASK...] [-x MASK...]\n"
    "  -d DIR       extract below DIR (default: the current folder), restoring stored folders\n"
    "  -o           overwrite existing files without asking\n"
    "  -n           never overwrite existing files\n"
    "  -j           junk stored folders: every file straight into DIR\n"
    "  -P PASSWORD  password for encrypted members (else asked for on a terminal)\n"
    "  -q           quiet: report errors only\n"
    "  -t           test: decode every chosen member, write nothing\n"
    "  -l           list the members (like unzip -v)\n"
    "  --tsv        one tab-separated line per member: index, method, flags, compressed size,\n"
    "               size, CRC-32, local header offset, date and time, name\n"
    "  -x           the masks after it exclude members\n";

Options ParseOptions(const std::vector<std::string>& raw, const std::vector<std::string>& program) {
  Options options;
  bool listRequested = false;
  bool testRequested = false;
  bool extractOnly = false;  // an option that only extraction takes
  bool haveArchive = false;
  bool excluding = false;
  bool optionsEnded = false;
  auto value = [&](size_t& i, const std::string& option) {
    if (i + 1 >= raw.size()) throw UsageError(option + " needs a value");
    ++i;
    return i;
  };
  for (size_t i = 1; i < raw.size(); ++i) {
    const std::string& arg = raw[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-l") {
        listRequested = true;
      } else if (arg == "-t") {
        testRequested = true;
      } else if (arg == "--tsv") {
        options.tsv = true;
      } else if (arg == "-x") {
        excluding = true;
      } else if (arg == "-q") {
        options.quiet = true;
      } else if (arg == "-o" || arg == "-n") {
        const Overwrite wanted = arg == "-o" ? Overwrite::kAlways : Overwrite::kNever;
        if (options.overwrite != Overwrite::kAsk && options.overwrite != wanted)
          throw UsageError("-o and -n exclude each other");
        options.overwrite = wanted;
        extractOnly = true;
      } else if (arg == "-j") {
        options.junkPaths = true;
        extractOnly = true;
      } else if (arg == "-d") {
        const size_t at = value(i, arg);
        options.targetShown = raw[at];
        options.target = program[at];
        extractOnly = true;
      } else if (arg == "-P") {
        const size_t at = value(i, arg);
        options.password = program[at];
        options.havePassword = true;
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
  if (listRequested && testRequested) throw UsageError("-l and -t exclude each other");
  if (!haveArchive) throw UsageError("no archive given");
  if (excluding && options.excludes.empty()) throw UsageError("-x needs at least one mask");
  if (listRequested) options.mode = Mode::kList;
  if (testRequested) options.mode = Mode::kTest;
  if (options.mode != Mode::kExtract && extractOnly)
    throw UsageError("-d, -o, -n and -j only go with extraction");
  if (options.mode != Mode::kList && options.tsv) throw UsageError("--tsv only goes with -l");
  return options;
}

}  // namespace tunzip
