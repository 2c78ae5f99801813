// Which members a tunzip command line chooses: its masks matched the way
// UnZip users expect (against the whole stored path, `*` crossing `/`), not
// the installer's DOS-style rules, which stay the reader's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tunzip {

// Whether mask matches the whole of name; both UTF-8, compared character by
// character. `*` matches any text, `/` included; `?` one character;
// `[...]` one character of a set of characters and ranges (`a-f`), or of its
// complement after `!` or `^`; `\` takes the next character literally. A set
// without its closing `]` matches nothing. caseBlind ignores letter case in
// the Latin, Greek and Cyrillic alphabets.
bool MaskMatches(std::string_view mask, std::string_view name, bool caseBlind);

// The masks of one command line: a member is chosen when a mask matches it
// (any member when there are none) and no exclusion does. It records which
// masks and exclusions matched something, for UnZip's "not matched" cautions.
class MemberChoice {
 public:
  MemberChoice(std::vector<std::string> masks, std::vector<std::string> excludes, bool caseBlind);

  bool Chooses(std::string_view name);
  // The masks, then the exclusions, that matched no name so far.
  std::vector<std::string> UnmatchedMasks() const;
  std::vector<std::string> UnmatchedExcludes() const;

 private:
  std::vector<std::string> masks_;
  std::vector<std::string> excludes_;
  std::vector<bool> maskUsed_;
  std::vector<bool> excludeUsed_;
  bool caseBlind_;
};

}  // namespace tunzip
