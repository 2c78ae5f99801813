#include "Options.h"

namespace mksfx {

const char kVersion[] =
    "mksfx " TESSALINE_VERSION " (Tessaline), packs an add-on into the installer's setup.exe\n";

const char kUsage[] =
    "usage: mksfx [--installer EXE] [-o OUTPUT] [--allow-missing] FILE...\n"
    "       mksfx --verify SETUP.EXE\n"
    "       mksfx --help | --version\n"
    "\n"
    "Packs FILE... into a ZIP archive appended to the installer EXE (by default the\n"
    "installer built beside mksfx) and writes the result to OUTPUT (default setup.exe).\n"
    "The payload must hold the add-on CVCopyScr.EXE and the databases mwscd.adt,\n"
    "mwscd.adi, mwscr.adt and mwscr.adi (names compared without regard to case);\n"
    "--allow-missing packs without them. Names are stored without their folders and\n"
    "must be plain ASCII. Members are stored in a fixed order and stamped with the\n"
    "files' own times, or with SOURCE_DATE_EPOCH (as UTC) when it is set, so the same\n"
    "inputs give the same bytes. OUTPUT appears only once it is complete, and is then\n"
    "read back and every member tested.\n"
    "\n"
    "mksfx warns about files the installer never uses, and stores a file as it is\n"
    "when Deflate would not make it smaller.\n"
    "\n"
    "--verify tests every member of an installer's payload, signed or not.\n"
    "Sign after packing: the signature covers the payload.\n"
    "\n"
    "Exit codes: 0 done, 1 refused or a check failed, 2 bad command line.\n";

Options ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& shown) {
  Options options;
  bool verify = false;
  bool outputGiven = false;
  bool optionsEnded = false;
  auto value = [&](size_t& i, const std::string& option) {
    if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
    ++i;
    return UserPath{args[i], shown[i]};
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back({arg, shown[i]});
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-o" || arg == "--output") {
      options.output = value(i, arg);
      outputGiven = true;
    } else if (arg == "--installer") {
      options.installer = value(i, arg);
    } else if (arg == "--allow-missing") {
      options.allowMissing = true;
    } else if (arg == "--verify") {
      verify = true;
    } else if (arg == "-h" || arg == "--help") {
      options.mode = Mode::kHelp;
      return options;
    } else if (arg == "--version") {
      options.mode = Mode::kVersion;
      return options;
    } else {
      throw UsageError("unknown option " + shown[i]);
    }
  }
  if (verify) {
    if (options.files.size() != 1 || !options.installer.path.empty() || outputGiven ||
        options.allowMissing)
      throw UsageError("--verify takes one installer and no other option");
    options.mode = Mode::kVerify;
    options.verified = options.files.front();
    options.files.clear();
    return options;
  }
  if (options.files.empty()) throw UsageError("no files to pack");
  if (options.output.path.empty()) throw UsageError("-o needs a file name");
  return options;
}

}  // namespace mksfx
