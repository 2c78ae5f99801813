#include "SplitParts.h"

#include <memory>

#include "archive/AbSplitSt.h"
#include "os/fs.h"
#include "os/os.h"
#include "rtl/Stream.h"

namespace tunzip {

void ReadSplitSetsBeside(ab::TAbZipArchive& archive, const Options& options) {
  archive.SetReadsSplitSets(true);
  archive.PartOpener = [shown = options.archiveShown, program = options.archive](
                           uint32_t disk, uint32_t lastDisk) -> std::unique_ptr<rtl::TStream> {
    os::FileHandle handle = os::fs::OpenRead(ab::SplitPartName(shown, disk, lastDisk));
    if (!handle.Valid()) return nullptr;
    return std::make_unique<rtl::TFileStream>(
        std::move(handle), os::ExpandFileName(ab::SplitPartName(program, disk, lastDisk)));
  };
}

std::string MissingPartMessage(const ab::EAbZipMissingPart& error, const Options& options) {
  return "split archive: part " + std::to_string(error.Disk() + 1) + " of " +
         std::to_string(error.PartCount()) + " (" +
         ab::SplitPartName(options.archiveShown, error.Disk(), error.PartCount() - 1) +
         ") is missing";
}

}  // namespace tunzip
