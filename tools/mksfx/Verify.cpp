#include "Verify.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "Files.h"
#include "Payload.h"
#include "PeLayout.h"
#include "os/os.h"
#include "zip/Archive.h"

namespace mksfx {

namespace {

// Where the payload ends: behind the end record, which follows the directory.
uint64_t PayloadEnd(const zip::Archive& archive) {
  return archive.DirectoryOffset() + archive.DirectorySize() + zip::kEndRecordSize +
         archive.Comment().size();
}

// The installer's reader as it reads its payload: offsets from the start of
// the file, members that need no more than version 2.0, a directory exactly
// as its end record declares it. What mksfx accepts, the installer accepts.
zip::OpenOptions AsTheInstallerReads() {
  zip::OpenOptions options;
  options.allowOffsetShift = false;
  options.acceptNewerVersions = false;
  options.tolerateDirectoryMismatch = false;
  return options;
}

// A signature must cover the payload: Windows checks only what lies in front
// of the certificate table.
bool CheckSignedLayout(const PeLayout& layout, uint64_t payloadEnd, uint64_t fileSize,
                       const std::string& shown, std::ostream& out, std::ostream& err) {
  if (!layout.IsSigned()) {
    if (layout.isPe) out << shown << ": not signed\n";
    return true;
  }
  const uint64_t certificateEnd = uint64_t{layout.certificateOffset} + layout.certificateSize;
  if (layout.certificateOffset < payloadEnd) {
    err << "mksfx: " << shown << ": the payload lies behind the signature, which does not "
        << "cover it: sign the installer after packing it\n";
    return false;
  }
  out << shown << ": signed: certificate table of " << layout.certificateSize << " bytes at "
      << layout.certificateOffset << ", " << layout.certificateOffset - payloadEnd
      << " bytes of padding behind the payload\n";
  if (certificateEnd != fileSize) {
    err << "mksfx: " << shown << ": "
        << (certificateEnd < fileSize ? "data follows" : "the file ends inside")
        << " the certificate table: Windows will not accept the signature\n";
    return false;
  }
  return true;
}

// Why a file's payload could not be read: there is none (nothing but a
// signature behind the program's image; for a program that is no Windows
// image, no ZIP directory found), or what is there is damaged.
std::string PayloadRefusal(const PeLayout& layout, uint64_t fileSize, const std::exception& error,
                           bool directoryFound) {
  uint64_t behind = layout.isPe && layout.imageEnd <= fileSize ? fileSize - layout.imageEnd : 0;
  if (layout.IsSigned() && layout.certificateOffset >= layout.imageEnd)
    behind -= std::min<uint64_t>(behind, layout.certificateSize);
  const std::string why = error.what();
  if (!layout.isPe)
    return directoryFound ? "a damaged payload: " + why
                          : "no payload: no ZIP directory found in it";
  if (behind == 0) return "no payload: nothing follows the installer's image";
  return "a damaged payload: " + std::to_string(behind) +
         " bytes follow the installer's image, but they are no sound ZIP archive (" + why + ")";
}

}  // namespace

bool VerifyInstaller(const std::string& path, const std::string& shown, std::ostream& out,
                     std::ostream& err, bool warnMissingNames) {
  Bytes file;
  try {
    file = ReadWholeFile(path, shown);
  } catch (const std::exception& error) {
    err << "mksfx: " << error.what() << '\n';
    return false;
  }
  try {
    std::optional<zip::Archive> opened;
    try {
      // The file is in memory already, read once.
      opened = zip::Archive::Open(std::make_shared<zip::MemorySource>(file), AsTheInstallerReads());
    } catch (const zip::Error& error) {
      // Refused before any directory was found, as tunzip tells it.
      const bool directoryFound = error.Category() != zip::Failure::kNotZip;
      err << "mksfx: " << shown << ": "
          << PayloadRefusal(ReadPeLayout(file), file.size(), error, directoryFound) << '\n';
      return false;
    }
    const zip::Archive& archive = *opened;
    const uint64_t payloadEnd = PayloadEnd(archive);
    out << shown << ": " << archive.Count() << " members in the payload, which ends at byte "
        << payloadEnd << " of " << file.size() << '\n';
    if (archive.Count() == 0) {
      err << "mksfx: " << shown << ": the payload is empty\n";
      return false;
    }
    int failed = 0;
    std::vector<PayloadFile> names;
    zip::Reader reader(archive);
    for (const zip::Entry& entry : archive.Entries()) {
      const std::string& name = entry.Name();
      // The installer matches the names in its own code page.
      names.push_back({{}, os::Utf8ToAnsi(name)});
      try {
        reader.Test(entry);
        out << "  OK      " << name << " (" << entry.Size() << " bytes)\n";
      } catch (const zip::Error& error) {
        ++failed;
        out << "  FAILED  " << name << '\n';
        err << "mksfx: " << shown << ": " << name << ": " << error.Rule() << '\n';
      }
    }
    for (const std::string& missing :
         warnMissingNames ? MissingNames(names) : std::vector<std::string>())
      err << "mksfx: " << shown << ": warning: no " << missing << " in the payload\n";
    const bool layoutSound =
        CheckSignedLayout(ReadPeLayout(file), payloadEnd, file.size(), shown, out, err);
    if (failed != 0) {
      err << "mksfx: " << shown << ": " << failed << " of " << archive.Count()
          << " members failed\n";
    }
    return failed == 0 && layoutSound;
  } catch (const std::exception& error) {
    err << "mksfx: " << shown << ": " << error.what() << '\n';
    return false;
  }
}

}  // namespace mksfx
