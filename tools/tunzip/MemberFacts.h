// What tunzip needs to know of a member to write it: its folder and file
// components, its kind, its Unix mode and DOS attributes, its times. Read
// from the stored central header here, in one place, so that the extraction
// takes each fact from the same spot whichever decoder of the header is in
// use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Refresh.h"
#include "archive/AbZipTyp.h"
#include "os/fs.h"

namespace tunzip {

struct MemberPath {
  std::vector<std::string> components;  // outermost first; the last is the leaf
};

// The member's name split at `/` (and at `\` in names made on MS-DOS-like
// hosts), empty and `.` parts dropped. EAbZipUnsafeName, saying why, for an
// absolute name, a drive, a `..` part, or a file name without any part.
MemberPath SplitMemberName(const ab::TAbZipItem& item);
// Its last part alone (-j), which cannot leave the folder it is put in;
// empty for a name that has no such part.
std::string LeafName(const ab::TAbZipItem& item);

bool IsFolderMember(const ab::TAbZipItem& item);
// Made on a Unix-like host with a link mode: its data is the link's target.
bool IsLinkMember(const ab::TAbZipItem& item);
// The Unix mode when made on a Unix-like host, else 0.
uint32_t UnixModeOf(const ab::TAbZipItem& item);
// The MS-DOS attribute byte.
uint32_t DosAttributesOf(const ab::TAbZipItem& item);
// The moment the member was last changed: a UTC time when the archive
// records one, else the DOS stamp read as local time.
os::fs::FileTime ModifiedTimeOf(const ab::TAbZipItem& item);
std::optional<os::fs::FileTime> AccessedTimeOf(const ab::TAbZipItem& item);
// The same moment as -f and -u compare it, with its precision.
std::optional<MemberTime> MemberTimeOf(const ab::TAbZipItem& item);
uint64_t SizeOf(const ab::TAbZipItem& item);

}  // namespace tunzip
