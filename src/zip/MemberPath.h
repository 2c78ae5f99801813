// An entry's name as a path below the folder it is extracted into: its
// folders and leaf, with the names that would lead out of that folder
// refused.
#pragma once

#include <string>
#include <vector>

#include "zip/Error.h"

namespace zip {

struct MemberPath {
  std::vector<std::string> components;  // outermost first; the last is the leaf
  bool isFolder = false;                // the name ended in `/`
  // The last component ("" for a folder name that is the target itself).
  std::string Leaf() const { return components.empty() ? std::string() : components.back(); }
};

// Splits a UTF-8 name, `/` between folders, into its components, dropping
// empty and `.` ones. A name that is absolute (a leading `/`), starts with
// a drive (`C:`), holds a `..` component, or has no component and is no
// folder is refused with an Error of category kUnsafe, cause kUnsafeName,
// naming the name and what is wrong with it. A `:` elsewhere is left to
// the file system.
MemberPath SplitMemberPath(const std::string& name);

// The refusal of the entry's name for the reason given ("empty name"),
// worded as SplitMemberPath words its own.
Error UnsafeName(const std::string& name, const std::string& reason);

}  // namespace zip
