#include "rtl/Format.h"

namespace rtl {

std::string Format(const std::string& pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char conversion = pattern[i + 1];
    if (conversion == '%') {
      out += '%';
      ++i;
    } else if ((conversion == 's' || conversion == 'd') && next != args.end()) {
      if (const auto* text = std::get_if<std::string>(&*next)) {
        out += *text;
      } else {
        out += std::to_string(std::get<int64_t>(*next));
      }
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string TrimControl(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

}  // namespace rtl
