#include "Links.h"

#include <string_view>

namespace tunzip {

namespace {

// As many links as Linux follows in one path before it gives up.
constexpr int kMostLinksFollowed = 40;

std::vector<std::string_view> SplitTarget(const std::string& target) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = target.find('/', start);
    parts.emplace_back(target.data() + start,
                       (end == std::string::npos ? target.size() : end) - start);
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::string LinkGuard::Key(const os::fs::Components& path) {
  std::string key;
  for (const std::string& name : path) {
    // NUL is in no name: it keeps "a/b" apart from a name "a/b".
    key += os::fs::NameKey(name);
    key += '\0';
  }
  return key;
}

std::string LinkGuard::Refusal(const os::fs::Components& path, const std::string& target) {
  link_ = path;
  reason_.clear();
  passed_.clear();
  if (passedBefore_.count(Key(path)) != 0) return "an earlier link leads through this name";
  os::fs::Components folder = path;
  folder.pop_back();
  if (!Resolve(folder, target, 0)) return reason_;
  return "";
}

void LinkGuard::Made() {
  passedBefore_.insert(passed_.begin(), passed_.end());
  passed_.clear();
}

// Walks target from folder as the system would; false with reason_ set when
// it leaves the tree or goes through a link.
bool LinkGuard::Resolve(const os::fs::Components& folder, const std::string& target, int depth) {
  if (target.empty() || target.front() == '/') {
    reason_ = "it leads outside the target folder";
    return false;
  }
  const std::vector<std::string_view> parts = SplitTarget(target);
  os::fs::Components at = folder;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (at.empty()) {
        reason_ = "it leads outside the target folder";
        return false;
      }
      at.pop_back();
      continue;
    }
    at.emplace_back(part);
    // Only a name at the very end is taken as it is; any name before a `/`
    // is looked into, and a link there is followed.
    const bool last = i + 1 == parts.size();
    if (!last) passed_.push_back(Key(at));
    if (at == link_) {
      if (last) return true;  // the link names itself: a loop, leading nowhere
      reason_ = "it leads through itself";
      return false;
    }
    if (tree_.KindOf(at) != os::fs::Kind::kLink) continue;
    if (!last) {
      reason_ = "it leads through another link";
      return false;
    }
    if (depth >= kMostLinksFollowed) {
      reason_ = "it leads through too many links";
      return false;
    }
    const std::optional<std::string> next = tree_.ReadLink(at);
    at.pop_back();
    if (!next || !Resolve(at, *next, depth + 1)) {
      if (!next) reason_ = "the link it leads to cannot be read";
      return false;
    }
    return true;
  }
  return true;
}

}  // namespace tunzip
