#include "OverwritePrompt.h"

#include "Names.h"
#include "os/fs.h"

namespace tunzip {

OverwritePrompt::Answer OverwritePrompt::Decide(const std::string& shown, std::string& newName) {
  if (rule_ == Overwrite::kAlways || replaceAll_) return Answer::kReplace;
  if (rule_ == Overwrite::kNever || replaceNone_) return Answer::kKeep;
  if (!canAsk_) return Answer::kNotAsked;
  const Answer answer = Ask(shown);
  if (answer != Answer::kRename) return answer;
  err_ << "new name: " << std::flush;
  const std::optional<std::string> renamed = os::ReadConsoleLineUtf8(true);
  if (!renamed || renamed->empty()) return Answer::kDeclined;
  newName = os::fs::LegalName(*renamed);
  return Answer::kRename;
}

OverwritePrompt::Answer OverwritePrompt::Ask(const std::string& shown) {
  for (;;) {
    err_ << "replace " << ShownName(shown)
         << "? [y]es, [n]o, [A]ll, [N]one, [r]ename: " << std::flush;
    const std::optional<std::string> line = os::ReadConsoleLineUtf8(true);
    if (!line) return Answer::kDeclined;
    const char c = line->empty() ? '\0' : (*line)[0];
    if (c == 'y') return Answer::kReplace;
    if (c == 'n') return Answer::kDeclined;
    if (c == 'r') return Answer::kRename;
    if (c == 'A') {
      replaceAll_ = true;
      return Answer::kReplace;
    }
    if (c == 'N') {
      replaceNone_ = true;
      return Answer::kDeclined;
    }
  }
}

}  // namespace tunzip
