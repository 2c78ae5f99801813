#include "ArchiveStamp.h"

#include <optional>

#include "ExitCodes.h"
#include "Listing.h"
#include "MemberFacts.h"
#include "os/fs.h"

namespace tunzip {

namespace {

// The archive's folder and its own name, as Tree takes them.
std::pair<std::string, std::string> FolderAndLeaf(const std::string& path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("/\\:");
#else
  const size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) return {".", path};
  // "/a.zip" lies in the root, which is a folder of its own name.
  return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

}  // namespace

int StampArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                 std::ostream& err) {
  std::optional<os::fs::FileTime> newest;
  // Folders do not count, as in UnZip: their time is often that of the
  // archive's making.
  ForEachChosen(archive, ChooseMembers(archive, options).items, [&newest](const zip::Entry& entry) {
    if (entry.IsFolder()) return;
    const os::fs::FileTime time = ModifiedTimeOf(entry);
    if (!newest || time.seconds > newest->seconds ||
        (time.seconds == newest->seconds && time.nanoseconds > newest->nanoseconds))
      newest = time;
  });
  if (!newest) {
    // UnZip's code for nothing chosen; its time is left as it was.
    err << "tunzip: " << options.archiveShown << ": no file member to take a time from\n";
    return kExitNoMatch;
  }
  const auto [folder, leaf] = FolderAndLeaf(options.archiveShown);
  const std::unique_ptr<os::fs::Tree> tree = os::fs::Tree::Open(folder);
  if (!tree || !tree->SetTimes({leaf}, *newest, std::nullopt)) {
    err << "tunzip: " << options.archiveShown
        << ": cannot set its time: " << os::fs::LastErrorText() << '\n';
    return kExitWarning;
  }
  if (options.quiet == 0) out << "Updated time stamp for " << options.archiveShown << ".\n";
  return kExitOk;
}

}  // namespace tunzip
