// Whether a symbolic link an archive describes may be made. Its target is
// resolved the way the system will resolve it, name by name from the link's
// folder, against what is in the tree: the links this run made and any that
// were there before. A link is refused when that leaves the target folder
// or passes through another link on the way (where `..` would climb from
// wherever that link leads, not from where the name stands). A link whose
// target is itself a link is followed to its end, a few dozen steps at most.
//
// Names a link passes through that are not links yet are remembered: a link
// made there later would turn the earlier one into a way out, and is refused.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "os/fs.h"

namespace tunzip {

class LinkGuard {
 public:
  explicit LinkGuard(os::fs::Tree& tree) : tree_(tree) {}

  // Empty when a link at path holding target may be made, else why not.
  std::string Refusal(const os::fs::Components& path, const std::string& target);
  // The link last allowed by Refusal was made: what it passes through is
  // kept from now on.
  void Made();

 private:
  bool Resolve(const os::fs::Components& folder, const std::string& target, int depth);
  static std::string Key(const os::fs::Components& path);

  os::fs::Tree& tree_;
  os::fs::Components link_;
  std::string reason_;
  std::vector<std::string> passed_;               // by the link being checked
  std::unordered_set<std::string> passedBefore_;  // by the links made
};

}  // namespace tunzip
