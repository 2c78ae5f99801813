// tunzip: lists, tests and extracts ZIP archives, self-extracting executables and old PKZIP 1.x
// archives included, with the installer's own archive reader.
#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>

#include "ExitCodes.h"
#include "Extraction.h"
#include "Listing.h"
#include "Options.h"
#include "Piping.h"
#include "archive/AbZipTyp.h"
#include "os/os.h"
#include "rtl/Stream.h"

namespace {

// The reader's message, with the path it was given shown as the user typed it.
std::string UserMessage(const std::exception& error, const tunzip::Options& options,
                        const std::string& programPath) {
  std::string message = os::AnsiToUtf8(error.what());
  const std::string shownPath = os::AnsiToUtf8(programPath);
  if (const size_t at = message.find(shownPath); !shownPath.empty() && at != std::string::npos)
    message.replace(at, shownPath.size(), options.archiveShown);
  return message;
}

// UnZip's search: the name as given, else with .zip, else with .ZIP added.
bool FindArchive(tunzip::Options& options) {
  for (const char* suffix : {"", ".zip", ".ZIP"}) {
    if (os::FileExists(os::ExpandFileName(options.archive + suffix))) {
      options.archive += suffix;
      options.archiveShown += suffix;
      return true;
    }
  }
  return false;
}

// Loads the catalogue, or says why not and gives the exit code.
int Load(ab::TAbZipArchive& archive, const tunzip::Options& options,
         const std::string& programPath) {
  // The smallest archive is its end record alone, 22 bytes.
  if (const int64_t size = archive.Stream().Size(); size < 22) {
    std::cerr << "tunzip: " << options.archiveShown << ": not a ZIP archive ("
              << (size == 0 ? "the file is empty" : "too short to be one") << ")\n";
    return tunzip::kExitArchiveNotFound;
  }
  try {
    archive.LoadCatalogue();
    return tunzip::kExitOk;
  } catch (const std::exception& error) {
    // Refused before a catalogue was found: the file is something else.
    if (archive.State() == ab::stInvalid) {
      std::cerr << "tunzip: " << options.archiveShown
                << ": not a ZIP archive (no ZIP directory found in it)\n";
      return tunzip::kExitArchiveNotFound;
    }
    std::cerr << "tunzip: " << options.archiveShown << ": "
              << UserMessage(error, options, programPath) << '\n';
    return tunzip::ExitCodeFor(error, false);
  }
}

int Run(tunzip::Options& options) {
  for (const std::string& caution : options.cautions)
    std::cerr << "tunzip: caution: " << caution << '\n';
  if (!FindArchive(options)) {
    std::cerr << "tunzip: cannot find or open " << options.archiveShown << ", "
              << options.archiveShown << ".zip or " << options.archiveShown << ".ZIP\n";
    return tunzip::kExitArchiveNotFound;
  }
  const std::string programPath = os::ExpandFileName(options.archive);
  std::unique_ptr<ab::TAbZipArchive> archive;
  try {
    archive = std::make_unique<ab::TAbZipArchive>(programPath, rtl::fmShareDenyNone);
  } catch (const std::exception& error) {
    std::cerr << "tunzip: " << options.archiveShown << ": "
              << UserMessage(error, options, programPath) << '\n';
    return tunzip::kExitArchiveNotFound;
  }
  if (const int code = Load(*archive, options, programPath); code != tunzip::kExitOk) return code;
  try {
    if (options.mode == tunzip::Mode::kList)
      return tunzip::ListArchive(*archive, options, std::cout, std::cerr);
    // Under -p standard output carries the members' bytes alone.
    const bool piping = options.mode == tunzip::Mode::kPipe;
    if (options.quiet == 0 && !piping) std::cout << "Archive:  " << options.archiveShown << '\n';
    if (archive->ItemCount() == 0) {
      std::cout.flush();
      std::cerr << "tunzip: " << options.archiveShown << ": zipfile is empty\n";
      return tunzip::kExitWarning;
    }
    const tunzip::Choice choice = tunzip::ChooseMembers(*archive, options);
    if (choice.items.empty()) {
      std::cout.flush();
      for (const std::string& mask : choice.unmatchedMasks)
        std::cerr << "caution: filename not matched:  " << mask << '\n';
      std::cerr << "tunzip: " << options.archiveShown << ": no member chosen\n";
      return tunzip::kExitNoMatch;
    }
    if (piping) {
      for (const std::string& mask : choice.unmatchedMasks)
        std::cerr << "caution: filename not matched:  " << mask << '\n';
      const int code = tunzip::PipeMembers(*archive, options, choice.items, std::cerr);
      return std::max(code,
                      choice.unmatchedMasks.empty() ? +tunzip::kExitOk : +tunzip::kExitNoMatch);
    }
    return tunzip::ExtractArchive(*archive, options, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "tunzip: " << options.archiveShown << ": "
              << UserMessage(error, options, programPath) << '\n';
    return tunzip::ExitCodeFor(error, false);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> raw(argv, argv + argc);
  tunzip::Options options;
  try {
    options = tunzip::ParseOptions(raw, os::CommandLineArguments(argc, argv));
  } catch (const tunzip::UsageError& error) {
    std::cerr << "tunzip: " << error.what() << '\n' << tunzip::kUsage;
    return tunzip::kExitBadOptions;
  }
  if (options.mode == tunzip::Mode::kHelp) {
    std::cout << tunzip::kUsage;
    return tunzip::kExitOk;
  }
  if (options.mode == tunzip::Mode::kVersion) {
    std::cout << tunzip::kVersion;
    return tunzip::kExitOk;
  }
  return Run(options);
}
