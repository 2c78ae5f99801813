// tunzip: lists, tests and extracts ZIP archives, self-extracting executables and old PKZIP 1.x
// archives included, with the installer's own archive reader.
#include <exception>
#include <iostream>
#include <memory>

#include "ExitCodes.h"
#include "Extraction.h"
#include "Listing.h"
#include "Options.h"
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
  const std::string programPath = os::ExpandFileName(options.archive);
  std::unique_ptr<ab::TAbZipArchive> archive;
  try {
    archive = std::make_unique<ab::TAbZipArchive>(programPath, rtl::fmShareDenyNone);
    archive->LoadCatalogue();
    if (options.mode == tunzip::Mode::kList)
      return tunzip::ListArchive(*archive, options, std::cout, std::cerr);
    return tunzip::ExtractArchive(*archive, options, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "tunzip: " << options.archiveShown << ": "
              << UserMessage(error, options, programPath) << '\n';
    const bool notAnArchive = archive != nullptr && archive->State() == ab::stInvalid;
    return tunzip::ExitCodeFor(error, notAnArchive);
  }
}
