#include "zip/MemberPath.h"

#include "zip/ReadSupport.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"

namespace zip {

MemberPath SplitMemberPath(const std::string& name) {
  return Guarded(name, [&name] {
    ab::TAbMemberPath path = ab::SplitMemberPath(name);
    return MemberPath{std::move(path.components), path.isFolder};
  });
}

Error UnsafeName(const std::string& name, const std::string& reason) {
  return Translate(ab::EAbZipUnsafeName(name, reason), name);
}

}  // namespace zip
