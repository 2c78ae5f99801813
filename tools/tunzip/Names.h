// How tunzip names members: the UTF-8 name that masks match and files are
// named after, and the name every message shows, safe to print.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zip/Entry.h"

namespace tunzip {

// The characters of UTF-8 text. A byte that is not part of well-formed UTF-8
// becomes 0xDC00 plus the byte, a lone surrogate that no decoded character
// can be, so that it stays itself.
std::u32string Characters(std::string_view utf8);
constexpr char32_t kStrayByte = 0xDC00;

// The member's name in UTF-8 (`/` between folders), as masks match it and
// files are named after it.
std::string MemberName(const zip::Entry& entry);

// A name in the program's code page as UTF-8, with what could move the
// cursor or end a line (C0 and C1 controls, DEL, stray bytes) shown as an
// escape, so that a hostile name cannot break a line or a column.
std::string ShownName(const std::string& ansi);
// The same for a name that is UTF-8 already, as the file system's names are.
std::string ShownUtf8Name(const std::string& utf8);
// The member's name as every message shows it: escaped as ShownName does, and
// for a member without a name "(unnamed member N)", N counting from 1 in
// catalogue order.
std::string ShownMemberName(const zip::Entry& entry);

}  // namespace tunzip
