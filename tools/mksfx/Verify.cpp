#include "Verify.h"

#include <algorithm>
#include <exception>
#include <typeinfo>

#include "Files.h"
#include "Payload.h"
#include "PeLayout.h"
#include "archive/AbExcept.h"
#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "os/os.h"
#include "rtl/Stream.h"

namespace mksfx {

namespace {

constexpr uint64_t kEndRecordSize = 22;

// Where the payload ends: behind the end record, which follows the directory.
uint64_t PayloadEnd(const ab::TAbZipArchive& archive) {
  const ab::TAbZipDirectoryFileFooter& end = archive.EndRecord();
  return uint64_t{end.DirectoryOffset()} + end.DirectorySize() + kEndRecordSize +
         end.ZipfileCommentLength();
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
  const std::string why = os::AnsiToUtf8(error.what());
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
    ab::TAbZipArchive archive(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    try {
      archive.LoadCatalogue();
    } catch (const std::exception& error) {
      // Refused before any directory was found, as tunzip tells it.
      const bool directoryFound =
          archive.State() != ab::stInvalid || typeid(error) != typeid(ab::EAbZipInvalid);
      err << "mksfx: " << shown << ": "
          << PayloadRefusal(ReadPeLayout(file), file.size(), error, directoryFound) << '\n';
      return false;
    }
    const uint64_t payloadEnd = PayloadEnd(archive);
    out << shown << ": " << archive.ItemCount() << " members in the payload, which ends at byte "
        << payloadEnd << " of " << file.size() << '\n';
    if (archive.ItemCount() == 0) {
      err << "mksfx: " << shown << ": the payload is empty\n";
      return false;
    }
    int failed = 0;
    std::vector<PayloadFile> names;
    for (int32_t i = 0; i < archive.ItemCount(); ++i) {
      ab::TAbZipItem& item = archive.Item(i);
      const std::string name = os::AnsiToUtf8(item.ItemName());
      names.push_back({{}, item.ItemName()});
      try {
        ab::TAbBitBucketStream bucket;
        ab::DecodeMemberToStream(archive, item, &bucket);
        out << "  OK      " << name << " (" << item.UncompressedSize() << " bytes)\n";
      } catch (const std::exception& error) {
        ++failed;
        out << "  FAILED  " << name << '\n';
        err << "mksfx: " << shown << ": " << name << ": " << os::AnsiToUtf8(error.what()) << '\n';
      }
    }
    for (const std::string& missing :
         warnMissingNames ? MissingNames(names) : std::vector<std::string>())
      err << "mksfx: " << shown << ": warning: no " << missing << " in the payload\n";
    const bool layoutSound =
        CheckSignedLayout(ReadPeLayout(file), payloadEnd, file.size(), shown, out, err);
    if (failed != 0) {
      err << "mksfx: " << shown << ": " << failed << " of " << archive.ItemCount()
          << " members failed\n";
    }
    return failed == 0 && layoutSound;
  } catch (const std::exception& error) {
    err << "mksfx: " << shown << ": " << os::AnsiToUtf8(error.what()) << '\n';
    return false;
  }
}

}  // namespace mksfx
