// What becomes of a member whose file exists, or was written by an earlier
// member of this run: -o and -n decide, else the user's answer at the prompt,
// where [A]ll and [N]one decide every later question.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "Options.h"

namespace tunzip {

class OverwritePrompt {
 public:
  enum class Answer {
    kReplace,
    kKeep,      // by -n, or an earlier [N]one
    kDeclined,  // the user's [n]o or [N]one to this question
    kRename,    // the user gave a new name
    kNotAsked,  // no rule says and no terminal can be asked
  };

  OverwritePrompt(Overwrite rule, bool canAsk, std::ostream& err)
      : rule_(rule), canAsk_(canAsk), err_(err) {}

  // shown: the file's name as messages show it; newName is set for kRename.
  Answer Decide(const std::string& shown, std::string& newName);

 private:
  Answer Ask(const std::string& shown);

  const Overwrite rule_;
  const bool canAsk_;
  std::ostream& err_;
  bool replaceAll_ = false;
  bool replaceNone_ = false;
};

}  // namespace tunzip
