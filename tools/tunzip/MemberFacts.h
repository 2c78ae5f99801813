// The reader's facts about a member in the forms tunzip writes them with:
// its path below the target folder, its times as the file system takes
// them, its permission bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Refresh.h"
#include "archive/AbUtils.h"
#include "archive/AbZipTyp.h"
#include "os/fs.h"

namespace tunzip {

// The member's Unicode name split into folders and a leaf, leading `/`s
// dropped. EAbZipUnsafeName, saying why, for a name with a drive, a `..`
// part, or a file name without any part.
ab::TAbMemberPath SplitMemberName(const ab::TAbZipItem& item);
// Its last part alone (-j), which cannot leave the folder it is put in;
// empty for a name that has no such part.
std::string LeafName(const ab::TAbZipItem& item);

// The moment the member was last changed: the UTC time the archive records
// (extended timestamp or NTFS field), else the DOS stamp read as local time.
os::fs::FileTime ModifiedTimeOf(const ab::TAbZipItem& item);
std::optional<os::fs::FileTime> AccessedTimeOf(const ab::TAbZipItem& item);
// The same moment as -f and -u compare it, with its precision.
std::optional<MemberTime> MemberTimeOf(const ab::TAbZipItem& item);

// The permission bits to give the file (setuid, setgid and sticky only when
// kept on purpose), when the archive was made on a Unix-like host and the
// platform keeps them.
std::optional<uint32_t> PermissionsOf(const ab::TAbZipItem& item, bool keepSpecialBits);

}  // namespace tunzip
