// Keys as a terminal sends them: control bytes, escape sequences of the
// xterm and Linux console kinds, and text, turned into the key events the
// window model takes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "ui/Classes.h"

namespace ui {

constexpr TKey vkBack = 0x08;

struct TTerminalInput {
  TKeyEvent key;     // key 0 for text that is no key of its own
  std::string text;  // the typed character (UTF-8), empty for keys
};

// Decodes the first key of `bytes`. Sets `used` to the bytes it took; returns
// nothing when they name no key we know (they are skipped), or, with used 0,
// when the bytes are an incomplete sequence and more are to come. A lone ESC is
// the Esc key: the caller passes it only once no more bytes followed in time.
std::optional<TTerminalInput> DecodeTerminalKey(std::string_view bytes, size_t& used);

}  // namespace ui
