// tunzip: lists, tests and extracts ZIP archives, self-extracting executables and old PKZIP 1.x
// archives included, with the installer's own archive reader.
#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>

#include "ArchiveStamp.h"
#include "ExitCodes.h"
#include "Extraction.h"
#include "Listing.h"
#include "Options.h"
#include "Piping.h"
#include "Streaming.h"
#include "os/fs.h"
#include "os/os.h"
#include "zip/Archive.h"
#include "zip/StreamReader.h"
#include "zip/methods/Register.h"

namespace {

// Standard output and error for UTF-8 text, wide where they are a Windows
// console.
std::ostream& Out() {
  return os::Utf8Output(1);
}
std::ostream& Err() {
  return os::Utf8Output(2);
}

// UnZip's search: the name as given, else with .zip, else with .ZIP added.
// The archive is opened by its UTF-8 name, so that any name the file system
// holds opens on Windows too.
std::shared_ptr<const zip::Source> FindArchive(tunzip::Options& options) {
  for (const char* suffix : {"", ".zip", ".ZIP"}) {
    try {
      auto source = zip::OpenFile(options.archiveShown + suffix);
      options.archive += suffix;
      options.archiveShown += suffix;
      return source;
    } catch (const zip::Error&) {
    }
  }
  return nullptr;
}

// Opens the archive in the source, or says why not and gives the exit code.
std::optional<zip::Archive> Load(std::shared_ptr<const zip::Source> source,
                                 const tunzip::Options& options, int& code) {
  if (const uint64_t size = source->Size(); size < zip::kEndRecordSize) {
    Err() << "tunzip: " << options.archiveShown << ": not a ZIP archive ("
          << (size == 0 ? "the file is empty" : "too short to be one") << ")\n";
    code = tunzip::kExitArchiveNotFound;
    return std::nullopt;
  }
  zip::OpenOptions opening;
  // Archives glued to a program by a tool that left their offsets counting
  // from the start of the ZIP part are read, with UnZip's warning.
  opening.allowOffsetShift = true;
  // A directory that disagrees with its end record is read as far as the
  // record declares it, and said to be damaged under the "Archive:" line.
  opening.tolerateDirectoryMismatch = true;
  opening.acceptNewerVersions = true;
  opening.nameCharset = options.nameCharset;
  opening.nameCase = tunzip::NameCaseOf(options);
  // A split set is read by its last part, its other parts opened by their
  // names beside it as the user named it (so that any name opens on Windows
  // too).
  opening.openPart = [&options](uint32_t disk, uint32_t lastDisk) {
    const std::string name = zip::SplitPartName(options.archiveShown, disk, lastDisk);
    try {
      return zip::OpenFile(name);
    } catch (const zip::Error&) {
      throw zip::Error(zip::Failure::kIo,
                       "split archive: file " + std::to_string(disk + 1) + " of " +
                           std::to_string(lastDisk + 1) + " (" + name + ") is missing",
                       "", zip::Cause::kMissingPart);
    }
  };
  try {
    zip::Archive archive = zip::Archive::Open(std::move(source), opening);
    // A shifted archive is warned about under the "Archive:" line.
    code = archive.DirectoryMismatch()  ? tunzip::kExitSevereFormatError
           : archive.OffsetShift() != 0 ? tunzip::kExitWarning
                                        : tunzip::kExitOk;
    return archive;
  } catch (const zip::Error& error) {
    if (error.Cause() == zip::Cause::kUnknownCharset) {
      Err() << "tunzip: -O " << options.nameCharset << ": " << error.Rule() << '\n';
      code = tunzip::kExitBadOptions;
    } else if (error.Category() == zip::Failure::kNotZip) {
      // Refused before a catalogue was found: the file is something else.
      Err() << "tunzip: " << options.archiveShown << ": not a ZIP archive (" << error.Rule()
            << ")\n";
      code = tunzip::kExitArchiveNotFound;
    } else {
      // One part of a split archive is a ZIP archive, just not a whole one:
      // said so, with UnZip's code for an archive it cannot process.
      Err() << "tunzip: " << options.archiveShown << ": " << error.Rule()
            << (error.Cause() == zip::Cause::kSplitPart
                    ? " (a split set is read by its last part, the .zip file, with the others "
                      "beside it)"
                    : "")
            << '\n';
      code = tunzip::ExitCodeFor(error, false);
    }
    return std::nullopt;
  }
}

// Lists, tests or extracts a loaded archive; gives the exit code.
int Act(const zip::Archive& archive, const tunzip::Options& options) {
  try {
    if (options.mode == tunzip::Mode::kList)
      return tunzip::ListArchive(archive, options, Out(), Err());
    if (options.mode == tunzip::Mode::kStamp)
      return tunzip::StampArchive(archive, options, Out(), Err());
    // Under -p standard output carries the members' bytes alone.
    const bool piping = options.mode == tunzip::Mode::kPipe;
    tunzip::ArchiveHeader(archive, options,
                          options.quiet == 0 && (!piping || options.pipeWithNames), Out(), Err());
    if (options.mode == tunzip::Mode::kComment) return tunzip::kExitOk;
    if (archive.Count() == 0) {
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
      Out().flush();
      const int code = tunzip::PipeMembers(archive, options, choice.items, Err());
      return std::max(code,
                      choice.unmatchedMasks.empty() ? +tunzip::kExitOk : +tunzip::kExitNoMatch);
    }
    return tunzip::ExtractArchive(archive, options, Out(), Err());
  } catch (const std::exception& error) {
    Out().flush();
    Err() << "tunzip: " << options.archiveShown << ": " << tunzip::FailureMessage(error, true)
          << '\n';
    return tunzip::ExitCodeFor(error, false);
  }
}

int Run(tunzip::Options& options) {
  for (const std::string& caution : options.cautions)
    Err() << "tunzip: caution: " << caution << '\n';
  // `-` is standard input (`./-` names a file); a pipe or a FIFO is read
  // as it passes, once.
  if (std::unique_ptr<zip::Input> input = options.archiveShown == "-"
                                              ? zip::StandardInput()
                                              : zip::OpenIfUnseekable(options.archiveShown))
    return tunzip::StreamArchive(*input, options, Out(), Err());
  std::shared_ptr<const zip::Source> source = FindArchive(options);
  if (!source) {
    Err() << "tunzip: cannot find or open " << options.archiveShown << ", " << options.archiveShown
          << ".zip or " << options.archiveShown << ".ZIP\n";
    return tunzip::kExitArchiveNotFound;
  }
  int loaded = tunzip::kExitOk;
  const std::optional<zip::Archive> archive = Load(std::move(source), options, loaded);
  if (!archive) return loaded;
  return std::max(loaded, Act(*archive, options));
}

}  // namespace

int main(int argc, char** argv) {
  tunzip::Options options;
  try {
    options =
        tunzip::ParseOptions(os::CommandLineUtf8(argc, argv), os::CommandLineArguments(argc, argv));
  } catch (const tunzip::UsageError& error) {
    Err() << "tunzip: " << error.what() << " (tunzip -h shows the usage)\n";
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
  zip::methods::RegisterAll();
  return Run(options);
}
