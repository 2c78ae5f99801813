#include "Targets.h"

#include "MemberFacts.h"
#include "Names.h"
#include "archive/AbExcept.h"

namespace tunzip {

os::fs::Components Target::Path() const {
  os::fs::Components path = folder;
  if (!leaf.empty()) path.push_back(leaf);
  return path;
}

std::string Target::Shown() const {
  std::string shown;
  for (const std::string& name : Path()) {
    if (!shown.empty()) shown += '/';
    shown += name;
  }
  return shown;
}

Target TargetPlanner::Place(const ab::TAbZipItem& item) const {
  Target target;
  if (item.IsFolder()) {
    if (junkPaths_) return target;
    for (const std::string& name : SplitMemberName(item).components)
      target.folder.push_back(os::fs::LegalName(name));
    return target;
  }
  if (junkPaths_) {
    // Only the leaf is used, so a name that would climb out is harmless.
    const std::string leaf = LeafName(item);
    if (leaf.empty()) throw ab::EAbZipUnsafeName(item.UnicodeName(), "no file name in it");
    target.leaf = os::fs::LegalName(leaf);
    return target;
  }
  for (const std::string& name : SplitMemberName(item).components)
    target.folder.push_back(os::fs::LegalName(name));
  if (target.folder.empty()) throw ab::EAbZipUnsafeName(item.UnicodeName(), "empty name");
  target.leaf = target.folder.back();
  target.folder.pop_back();
  return target;
}

bool TargetPlanner::ClaimedBefore(const Target& target) {
  std::string key;
  for (const std::string& name : target.Path()) {
    // NUL cannot be part of a name: it keeps "a/b" apart from a name "a/b".
    key += os::fs::NameKey(name);
    key += '\0';
  }
  return !claimed_.insert(key).second;
}

}  // namespace tunzip
