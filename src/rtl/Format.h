// Format fills %s (a text) and %d (a signed integer in decimal) placeholders in
// order; %% is a literal percent sign. Missing arguments leave the placeholder.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace rtl {

using FormatArg = std::variant<int64_t, std::string>;

std::string Format(const std::string& pattern, std::initializer_list<FormatArg> args);

// Text helpers shared by the layers above.
std::string TrimControl(const std::string& text);  // drops leading/trailing bytes <= 32

}  // namespace rtl
