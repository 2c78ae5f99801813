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
#include "SplitParts.h"
#include "archive/AbExcept.h"
#include "archive/AbZipTyp.h"
#include "os/fs.h"
#include "os/os.h"
#include "rtl/Stream.h"

namespace {

// Standard output and error for UTF-8 text, wide where they are a Windows
// console.
std::ostream& Out() {
  return os::Utf8Output(1);
}
std::ostream& Err() {
  return os::Utf8Output(2);
}

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
// The archive is opened by its UTF-8 name, so that any name the file system
// holds opens on Windows too.
os::FileHandle FindArchive(tunzip::Options& options) {
  for (const char* suffix : {"", ".zip", ".ZIP"}) {
    const os::FileHandle handle = os::fs::OpenRead(options.archiveShown + suffix);
    if (!handle.Valid()) continue;
    options.archive += suffix;
    options.archiveShown += suffix;
    return handle;
  }
  return {};
}

// Loads the catalogue, or says why not and gives the exit code.
int Load(ab::TAbZipArchive& archive, const tunzip::Options& options,
         const std::string& programPath) {
  // The smallest archive is its end record alone, 22 bytes.
  if (const int64_t size = archive.Stream().Size(); size < 22) {
    Err() << "tunzip: " << options.archiveShown << ": not a ZIP archive ("
          << (size == 0 ? "the file is empty" : "too short to be one") << ")\n";
    return tunzip::kExitArchiveNotFound;
  }
  try {
    if (!options.nameCharset.empty()) archive.SetNameCharset(options.nameCharset);
  } catch (const std::exception& error) {
    Err() << "tunzip: -O " << options.nameCharset << ": " << os::AnsiToUtf8(error.what()) << '\n';
    return tunzip::kExitBadOptions;
  }
  // Archives glued to a program by a tool that left their offsets counting
  // from the start of the ZIP part are read, with UnZip's warning.
  archive.SetAllowOffsetShift(true);
  // A directory that disagrees with its end record is read as far as the
  // record declares it, and said to be damaged under the "Archive:" line.
  archive.SetToleratesDirectoryMismatch(true);
  archive.SetAcceptsNewerVersions(true);
  ReadSplitSetsBeside(archive, options);
  try {
    archive.LoadCatalogue();
    if (archive.DirectoryMismatch()) return tunzip::kExitSevereFormatError;
    // A shifted archive is warned about under the "Archive:" line.
    return archive.OffsetShift() != 0 ? tunzip::kExitWarning : tunzip::kExitOk;
  } catch (const ab::EAbZipMissingPart& error) {
    // The archive is there but a file it needs is not: UnZip's code for
    // archives not found, which a script can tell from a damaged one.
    Err() << "tunzip: " << options.archiveShown << ": "
          << tunzip::MissingPartMessage(error, options) << '\n';
    return tunzip::kExitArchiveNotFound;
  } catch (const std::exception& error) {
    // One part of a split archive is a ZIP archive, just not a whole one:
    // said so, with UnZip's code for an archive it cannot process.
    if (dynamic_cast<const ab::EAbZipMultiPart*>(&error) != nullptr) {
      Err()
          << "tunzip: " << options.archiveShown << ": " << UserMessage(error, options, programPath)
          << " (a split set is read by its last part, the .zip file, with the others beside it)\n";
      return tunzip::kExitFormatError;
    }
    // Refused before a catalogue was found: the file is something else.
    if (archive.State() == ab::stInvalid) {
      Err() << "tunzip: " << options.archiveShown
            << ": not a ZIP archive (no ZIP directory found in it)\n";
      return tunzip::kExitArchiveNotFound;
    }
    Err() << "tunzip: " << options.archiveShown << ": " << UserMessage(error, options, programPath)
          << '\n';
    return tunzip::ExitCodeFor(error, false);
  }
}

// Lists, tests or extracts a loaded archive; gives the exit code.
int Act(ab::TAbZipArchive& archive, const tunzip::Options& options,
        const std::string& programPath) {
  try {
    if (options.mode == tunzip::Mode::kList)
      return tunzip::ListArchive(archive, options, Out(), Err());
    // Under -p standard output carries the members' bytes alone.
    const bool piping = options.mode == tunzip::Mode::kPipe;
    tunzip::ArchiveHeader(archive, options, options.quiet == 0 && !piping, Out(), Err());
    if (archive.ItemCount() == 0) {
      Out().flush();
      Err() << "tunzip: " << options.archiveShown << ": zipfile is empty\n";
      return tunzip::kExitWarning;
    }
    const tunzip::Choice choice = tunzip::ChooseMembers(archive, options);
    if (choice.items.empty()) {
      Out().flush();
      for (const std::string& mask : choice.unmatchedMasks)
        Err() << "caution: filename not matched:  " << mask << '\n';
      Err() << "tunzip: " << options.archiveShown << ": no member chosen\n";
      return tunzip::kExitNoMatch;
    }
    if (piping) {
      for (const std::string& mask : choice.unmatchedMasks)
        Err() << "caution: filename not matched:  " << mask << '\n';
      const int code = tunzip::PipeMembers(archive, options, choice.items, Err());
      return std::max(code,
                      choice.unmatchedMasks.empty() ? +tunzip::kExitOk : +tunzip::kExitNoMatch);
    }
    return tunzip::ExtractArchive(archive, options, Out(), Err());
  } catch (const std::exception& error) {
    Out().flush();
    Err() << "tunzip: " << options.archiveShown << ": " << UserMessage(error, options, programPath)
          << '\n';
    return tunzip::ExitCodeFor(error, false);
  }
}

int Run(tunzip::Options& options) {
  for (const std::string& caution : options.cautions)
    Err() << "tunzip: caution: " << caution << '\n';
  const os::FileHandle handle = FindArchive(options);
  if (!handle.Valid()) {
    Err() << "tunzip: cannot find or open " << options.archiveShown << ", " << options.archiveShown
          << ".zip or " << options.archiveShown << ".ZIP\n";
    return tunzip::kExitArchiveNotFound;
  }
  const std::string programPath = os::ExpandFileName(options.archive);
  auto archive = std::make_unique<ab::TAbZipArchive>(
      std::make_unique<rtl::TFileStream>(handle, programPath), programPath);
  const int loaded = Load(*archive, options, programPath);
  if (loaded != tunzip::kExitOk && loaded != tunzip::kExitWarning && !archive->DirectoryMismatch())
    return loaded;
  return std::max(loaded, Act(*archive, options, programPath));
}

}  // namespace

int main(int argc, char** argv) {
  tunzip::Options options;
  try {
    options =
        tunzip::ParseOptions(os::CommandLineUtf8(argc, argv), os::CommandLineArguments(argc, argv));
  } catch (const tunzip::UsageError& error) {
    Err() << "tunzip: " << error.what() << '\n' << tunzip::kUsage;
    return tunzip::kExitBadOptions;
  }
  if (options.mode == tunzip::Mode::kHelp) {
    Out() << tunzip::kUsage;
    return tunzip::kExitOk;
  }
  if (options.mode == tunzip::Mode::kVersion) {
    Out() << tunzip::kVersion;
    return tunzip::kExitOk;
  }
  return Run(options);
}
