// The reader's facts about a member in the forms tunzip writes them with:
// its path below the target folder, its times as the file system takes
// them, its permission bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Refresh.h"
#include "os/fs.h"
#include "zip/Entry.h"
#include "zip/MemberPath.h"

namespace tunzip {

// The member's Unicode name split into folders and a leaf, leading `/`s
// dropped. A zip::Error of kUnsafe, saying why, for a name with a drive, a `..`
// part, or a file name without any part.
zip::MemberPath SplitMemberName(const zip::Entry& entry);
// Its last part alone (-j), which cannot leave the folder it is put in;
// empty for a name that has no such part.
std::string LeafName(const zip::Entry& entry);

// The moment the member was last changed: the UTC time the archive records
// (extended timestamp or NTFS field), else the DOS stamp read as local time.
os::fs::FileTime ModifiedTimeOf(const zip::Entry& entry);
std::optional<os::fs::FileTime> AccessedTimeOf(const zip::Entry& entry);
// The same moment as -f and -u compare it, with its precision.
std::optional<MemberTime> MemberTimeOf(const zip::Entry& entry);

// The permission bits to give the file (setuid, setgid and sticky only when
// kept on purpose), when the archive was made on a Unix-like host and the
// platform keeps them.
std::optional<uint32_t> PermissionsOf(const zip::Entry& entry, bool keepSpecialBits);

}  // namespace tunzip
