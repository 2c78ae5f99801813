#include "Targets.h"

#include "MemberFacts.h"
#include "Names.h"

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

namespace {

std::string LegalNameIn(Target& target, const std::string& name) {
  if (os::fs::IsDeviceName(name)) target.deviceNames.push_back(name);
  return os::fs::LegalName(name);
}

}  // namespace

Target TargetPlanner::Place(const zip::Entry& entry) const {
  Target target;
  if (entry.IsFolder()) {
    if (junkPaths_) return target;
    for (const std::string& name : SplitMemberName(entry).components)
      target.folder.push_back(LegalNameIn(target, name));
    return target;
  }
  if (junkPaths_) {
    // Only the leaf is used, so a name that would climb out is harmless.
    const std::string leaf = LeafName(entry);
    if (leaf.empty()) throw zip::UnsafeName(entry.Name(), "no file name in it");
    target.leaf = LegalNameIn(target, leaf);
    return target;
  }
  for (const std::string& name : SplitMemberName(entry).components)
    target.folder.push_back(LegalNameIn(target, name));
  if (target.folder.empty()) throw zip::UnsafeName(entry.Name(), "empty name");
  target.leaf = target.folder.back();
  target.folder.pop_back();
  return target;
}

namespace {

std::string KeyOf(const os::fs::Components& names) {
  std::string key;
  for (const std::string& name : names) {
    // NUL cannot be part of a name: it keeps "a/b" apart from a name "a/b".
    key += os::fs::NameKey(name);
    key += '\0';
  }
  return key;
}

std::string KeyOf(const os::fs::FileIdentity& folder) {
  return std::to_string(folder.volume) + ':' + std::to_string(folder.index) + '\0';
}

}  // namespace

bool TargetPlanner::ClaimedBefore(const Target& target, os::fs::Tree& tree) {
  PlaceWaitingClaims(tree);
  const std::string folderKey = KeyOf(target.folder);
  const std::string leafKey = KeyOf(os::fs::Components{target.leaf});
  bool claimed = !claimed_.insert(folderKey + leafKey).second;
  if (const auto folder = FolderIdentity(folderKey, target.folder, tree)) {
    claimed = !claimedByIdentity_.insert(KeyOf(*folder) + leafKey).second || claimed;
  } else {
    // A folder still to be made is no other name of an existing one.
    waiting_.push_back({folderKey, target.folder, leafKey});
  }
  return claimed;
}

void TargetPlanner::PlaceWaitingClaims(os::fs::Tree& tree) {
  // The member that made the folder was written before the next one is
  // planned; a folder still missing then holds nothing of this run.
  for (const WaitingClaim& claim : waiting_) {
    if (const auto folder = FolderIdentity(claim.folderKey, claim.folder, tree))
      claimedByIdentity_.insert(KeyOf(*folder) + claim.leafKey);
  }
  waiting_.clear();
}

std::optional<os::fs::FileIdentity> TargetPlanner::FolderIdentity(const std::string& key,
                                                                  const os::fs::Components& folder,
                                                                  os::fs::Tree& tree) {
  // Asked once per folder: a folder keeps its identity for the run.
  if (const auto known = folderIdentities_.find(key); known != folderIdentities_.end())
    return known->second;
  const std::optional<os::fs::FileIdentity> identity = tree.IdentityOf(folder);
  if (identity) folderIdentities_.emplace(key, *identity);
  return identity;
}

void TargetPlanner::Made(const os::fs::Components& file) {
  madeUnasked_.push_back(file);
}

bool TargetPlanner::MadeBefore(const std::optional<os::fs::FileIdentity>& file,
                               os::fs::Tree& tree) {
  if (!file) return false;
  for (const os::fs::Components& path : madeUnasked_) {
    if (const auto made = tree.IdentityOf(path)) made_.emplace(made->volume, made->index);
  }
  madeUnasked_.clear();
  return made_.count({file->volume, file->index}) != 0;
}

bool HasShortNameForm(const std::string& name) {
  const size_t dot = name.find('.');
  const size_t base = dot == std::string::npos ? name.size() : dot;
  const size_t extension = dot == std::string::npos ? 0 : name.size() - dot - 1;
  return name.find('~') != std::string::npos && base >= 1 && base <= 8 && extension <= 3 &&
         (dot == std::string::npos || name.find('.', dot + 1) == std::string::npos);
}

}  // namespace tunzip
