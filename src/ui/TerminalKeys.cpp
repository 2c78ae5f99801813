// The terminal's key sequences.
#include "ui/TerminalKeys.h"

namespace ui {

namespace {

// xterm's modifier parameter: 1 + (shift 1, alt 2, ctrl 4).
TShiftState ModifierOf(int parameter) {
  const int bits = parameter > 1 ? parameter - 1 : 0;
  TShiftState shift = ssNone;
  if (bits & 1) shift = shift | ssShift;
  if (bits & 2) shift = shift | ssAlt;
  if (bits & 4) shift = shift | ssCtrl;
  return shift;
}

std::optional<TTerminalInput> Key(TKey key, TShiftState shift = ssNone) {
  return TTerminalInput{TKeyEvent{key, shift}, {}};
}

// ESC [ params final, with `bytes` starting after the '['.
std::optional<TTerminalInput> DecodeCsi(std::string_view bytes, size_t& used) {
  // The Linux console's function keys: ESC [ [ A..E for F1..F5.
  if (!bytes.empty() && bytes[0] == '[') {
    if (bytes.size() < 2) {
      used = 0;
      return std::nullopt;
    }
    used = 2;
    if (bytes[1] >= 'A' && bytes[1] <= 'E') return Key(static_cast<TKey>(0x70 + bytes[1] - 'A'));
    return std::nullopt;
  }
  int parameters[4] = {0, 0, 0, 0};
  int count = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9') {
      if (count == 0) count = 1;
      if (count <= 4 && parameters[count - 1] < 10000)
        parameters[count - 1] = parameters[count - 1] * 10 + (c - '0');
      continue;
    }
    if (c == ';') {
      if (count == 0) count = 1;
      ++count;
      continue;
    }
    if (c >= 0x20 && c <= 0x3F) continue;  // other parameter and intermediate bytes
    used = i + 1;
    if (c < 0x40 || c > 0x7E) return std::nullopt;
    const TShiftState shift = count >= 2 ? ModifierOf(parameters[1]) : ssNone;
    switch (c) {
      case 'Z':
        return Key(vkTab, ssShift);
      case 'S':
        return Key(vkF4, shift);  // ESC [ 1 ; m S
      case 'P':
        return Key(0x70, shift);
      case 'Q':
        return Key(0x71, shift);
      case 'R':
        return Key(0x72, shift);
      case '~':
        if (parameters[0] == 14) return Key(vkF4, shift);
        return std::nullopt;
      default:
        return std::nullopt;
    }
  }
  used = 0;  // the final byte is still to come
  return std::nullopt;
}

size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::optional<TTerminalInput> DecodeTerminalKey(std::string_view bytes, size_t& used) {
  used = 0;
  if (bytes.empty()) return std::nullopt;
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (first == 0x1B) {
    if (bytes.size() == 1) {
      used = 1;
      return Key(vkEscape);
    }
    if (bytes[1] == '[') {
      std::optional<TTerminalInput> key = DecodeCsi(bytes.substr(2), used);
      if (used != 0) used += 2;
      return key;
    }
    if (bytes[1] == 'O') {  // SS3: F1-F4 and the keypad's Enter
      if (bytes.size() < 3) return std::nullopt;
      used = 3;
      if (bytes[2] >= 'P' && bytes[2] <= 'S') return Key(static_cast<TKey>(0x70 + bytes[2] - 'P'));
      if (bytes[2] == 'M') return Key(vkReturn);
      return std::nullopt;
    }
    // ESC before a key is that key with Alt held (the terminal's meta prefix).
    std::optional<TTerminalInput> key = DecodeTerminalKey(bytes.substr(1), used);
    if (used == 0) return std::nullopt;
    ++used;
    if (key) {
      key->key.shift = key->key.shift | ssAlt;
      key->text.clear();
    }
    return key;
  }
  used = 1;
  switch (first) {
    case 0x09:
      return Key(vkTab);
    case 0x0D:
    case 0x0A:
      return Key(vkReturn);
    case 0x20:
      return TTerminalInput{TKeyEvent{vkSpace, ssNone}, " "};
    case 0x7F:
    case 0x08:
      return Key(vkBack);
    default:
      break;
  }
  if (first < 0x20) return Key(static_cast<TKey>('A' + first - 1), ssCtrl);  // Ctrl+letter
  if (first < 0x80) {
    TTerminalInput input{TKeyEvent{}, std::string(1, static_cast<char>(first))};
    if (first >= 'a' && first <= 'z') {
      input.key.key = static_cast<TKey>(first - 0x20);
    } else if (first >= 'A' && first <= 'Z') {
      input.key = TKeyEvent{first, ssShift};
    } else if (first >= '0' && first <= '9') {
      input.key.key = first;
    }
    return input;
  }
  const size_t length = Utf8Length(first);
  if (bytes.size() < length) {
    used = 0;
    return std::nullopt;
  }
  used = length;
  return TTerminalInput{TKeyEvent{}, std::string(bytes.substr(0, length))};
}

}  // namespace ui
