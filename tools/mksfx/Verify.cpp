#include "Verify.h"

#include <exception>

#include "Files.h"
#include "Payload.h"
#include "PeLayout.h"
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

}  // namespace

bool VerifyInstaller(const std::string& path, const std::string& shown, std::ostream& out,
                     std::ostream& err, bool warnMissingNames) {
  try {
    const Bytes file = ReadWholeFile(path, shown);
    ab::TAbZipArchive archive(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    archive.LoadCatalogue();
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
    err << "mksfx: " << shown << ": no sound payload: " << os::AnsiToUtf8(error.what()) << '\n';
    return false;
  }
}

}  // namespace mksfx
