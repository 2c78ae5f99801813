// Components, MulDiv and the names of keys.
#include "ui/Classes.h"

#include <cstdlib>

#include "os/text.h"
#include "rtl/Format.h"

namespace ui {

TComponent::TComponent(TComponent* owner, std::string name)
    : owner_(owner), name_(std::move(name)) {}

TComponent::~TComponent() {
  // Later components may refer to earlier ones (an action to its list), so
  // they go first.
  while (!components_.empty()) components_.pop_back();
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = std::llabs(c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

namespace {

struct NamedKey {
  const char* name;
  TKey key;
};

constexpr NamedKey kNamedKeys[] = {
    {"Enter", vkReturn}, {"Space", vkSpace},   {"Tab", vkTab},
    {"Esc", vkEscape},   {"Return", vkReturn}, {"Escape", vkEscape},
};

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

bool ParseBareKey(const std::string& name, TKey& key) {
  for (const NamedKey& named : kNamedKeys) {
    if (os::text::SameTextAscii(name, named.name)) {
      key = named.key;
      return true;
    }
  }
  if (name.size() == 1) {
    const char c = os::text::UpperAscii(name[0]);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      key = static_cast<TKey>(c);
      return true;
    }
  }
  if ((name[0] == 'F' || name[0] == 'f') && name.size() <= 3) {
    const std::string digits = name.substr(1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.empty()) return false;
    const int n = std::atoi(digits.c_str());
    if (n < 1 || n > 12) return false;
    key = static_cast<TKey>(0x70 + n - 1);
    return true;
  }
  return false;
}

}  // namespace

std::string KeyName(const TKeyEvent& key) {
  std::string name;
  if (key.HasAny(ssCtrl)) name += "Ctrl+";
  if (key.HasAny(ssAlt)) name += "Alt+";
  if (key.HasAny(ssShift)) name += "Shift+";
  for (const NamedKey& named : kNamedKeys) {
    if (named.key == key.key) return name + named.name;
  }
  if (key.key >= 0x70 && key.key <= 0x7B) return name + "F" + std::to_string(key.key - 0x70 + 1);
  if ((key.key >= 'A' && key.key <= 'Z') || (key.key >= '0' && key.key <= '9'))
    return name + static_cast<char>(key.key);
  return name + rtl::Format("#%d", {static_cast<int64_t>(key.key)});
}

bool ParseKeyName(const std::string& name, TKeyEvent& key) {
  std::string rest = Trim(name);
  TShiftState shift = ssNone;
  for (;;) {
    const size_t plus = rest.find('+');
    // A lone "+" or a trailing one names no key.
    if (plus == std::string::npos || plus + 1 >= rest.size()) break;
    const std::string modifier = Trim(rest.substr(0, plus));
    if (os::text::SameTextAscii(modifier, "Shift")) {
      shift = shift | ssShift;
    } else if (os::text::SameTextAscii(modifier, "Ctrl") ||
               os::text::SameTextAscii(modifier, "Control")) {
      shift = shift | ssCtrl;
    } else if (os::text::SameTextAscii(modifier, "Alt")) {
      shift = shift | ssAlt;
    } else {
      return false;
    }
    rest = Trim(rest.substr(plus + 1));
  }
  if (rest.empty()) return false;
  TKey bare = 0;
  if (!ParseBareKey(rest, bare)) return false;
  key.key = bare;
  key.shift = shift;
  return true;
}

}  // namespace ui
