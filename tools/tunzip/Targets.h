// Where tunzip puts each member: its Unicode name split into folders and a
// leaf, each mapped to a name the platform can hold, below the target folder.
// It also remembers the files this run has planned, so that two members that
// land on one file are never merged silently.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "os/fs.h"
#include "zip/Entry.h"

namespace tunzip {

struct Target {
  os::fs::Components folder;  // below the target folder, legal names
  std::string leaf;           // empty for a folder member: folder is the member
  // Names of the member that the platform would open as a device, each
  // written as LegalName maps it.
  std::vector<std::string> deviceNames;

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
  Target Place(const zip::Entry& entry) const;

  // Records that this run writes target; true when an earlier member was
  // planned for the same file as the file system tells files apart: by its
  // names (NameKey), or by the identity of its folder in tree, so that
  // another name of one folder (its 8.3 alias) leads to the same file.
  bool ClaimedBefore(const Target& target, os::fs::Tree& tree);

  // Records a file this run has put in place; MadeBefore tells whether an
  // identity is one of them. Their identities are asked for only then: most
  // runs never need them.
  void Made(const os::fs::Components& file);
  bool MadeBefore(const std::optional<os::fs::FileIdentity>& file, os::fs::Tree& tree);

 private:
  std::optional<os::fs::FileIdentity> FolderIdentity(const std::string& key,
                                                     const os::fs::Components& folder,
                                                     os::fs::Tree& tree);
  // Claims whose folder was still to be made, known by identity once it is.
  void PlaceWaitingClaims(os::fs::Tree& tree);

  struct WaitingClaim {
    std::string folderKey;
    os::fs::Components folder;
    std::string leafKey;
  };

  bool junkPaths_;
  std::unordered_set<std::string> claimed_;
  std::unordered_set<std::string> claimedByIdentity_;
  std::unordered_map<std::string, os::fs::FileIdentity> folderIdentities_;
  std::vector<WaitingClaim> waiting_;
  std::vector<os::fs::Components> madeUnasked_;
  std::set<std::pair<uint64_t, uint64_t>> made_;
};

// Whether a name has the form of an 8.3 short name that Windows makes for a
// long one (LONGFO~1, LONG~NYX, README~2.TXT): a `~`, at most eight
// characters before a dot and three after.
bool HasShortNameForm(const std::string& name);

}  // namespace tunzip
