// Where tunzip puts each member: its Unicode name split into folders and a
// leaf, each mapped to a name the platform can hold, below the target folder.
// It also remembers the files this run has planned, so that two members that
// land on one file are never merged silently.
#pragma once

#include <string>
#include <unordered_set>

#include "archive/AbZipTyp.h"
#include "os/fs.h"

namespace tunzip {

struct Target {
  os::fs::Components folder;  // below the target folder, legal names
  std::string leaf;           // empty for a folder member: folder is the member

  os::fs::Components Path() const;
  // "a/b/c" as the file system spells it, for messages.
  std::string Shown() const;
};

class TargetPlanner {
 public:
  // junkPaths (-j): every file straight into the target folder.
  explicit TargetPlanner(bool junkPaths) : junkPaths_(junkPaths) {}

  // The member's target. EAbZipUnsafeName, saying why, for a name that would
  // leave the target folder.
  Target Place(const ab::TAbZipItem& item) const;

  // Records that this run writes target; true when an earlier member was
  // planned for the same file (as the file system tells names apart).
  bool ClaimedBefore(const Target& target);

 private:
  bool junkPaths_;
  std::unordered_set<std::string> claimed_;
};

}  // namespace tunzip
