// What the Win32 windows share: the keys of a queued message in the window
// model's terms, fonts made from the model's font, and the disabling of the
// program's windows while a modal dialog or the error box is up.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/Classes.h"
#include "ui/Forms.h"

namespace ui::win32 {

// The key of a WM_KEYDOWN or WM_SYSKEYDOWN message with the shift state held
// as it was queued; false for any other message. Alt counts when the message
// says so (its context bit) as well as when the key is down, so that a key
// posted by another program reads as the user's would.
bool KeyEventOf(const MSG& message, TKeyEvent& key);

// A GDI font that is deleted with its holder; empty when it could not be made.
class TGdiFont {
 public:
  explicit TGdiFont(HFONT font = nullptr) : font_(font) {}
  ~TGdiFont() {
    if (font_ != nullptr) DeleteObject(font_);
  }
  TGdiFont(TGdiFont&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
  TGdiFont& operator=(TGdiFont&& other) noexcept {
    std::swap(font_, other.font_);
    return *this;
  }
  TGdiFont(const TGdiFont&) = delete;
  TGdiFont& operator=(const TGdiFont&) = delete;
  HFONT Get() const { return font_; }

 private:
  HFONT font_;
};

// The screen's device context, for measuring text in a font selected into
// it; the font is deselected and the context released with the holder.
class TScreenContext {
 public:
  explicit TScreenContext(HFONT font = nullptr);
  ~TScreenContext();
  TScreenContext(const TScreenContext&) = delete;
  TScreenContext& operator=(const TScreenContext&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The screen's pixels per inch, vertically.
int ScreenPixelsPerInch();

// A GDI font for the model's font.
TGdiFont CreateModelFont(const TFont& font);

// The height of the text "0" in a font, as the screen draws it.
int TextHeightOfZero(HFONT font);

// Disables every visible, enabled top-level window of this thread except
// `keep` while it lives, and enables them again when it goes; the window that
// was active gets the activation back, and the control that had the focus
// the focus.
class TTaskWindowsDisabled {
 public:
  explicit TTaskWindowsDisabled(HWND keep);
  ~TTaskWindowsDisabled();
  TTaskWindowsDisabled(const TTaskWindowsDisabled&) = delete;
  TTaskWindowsDisabled& operator=(const TTaskWindowsDisabled&) = delete;

 private:
  HWND keep_;
  HWND active_;
  HWND focus_;
  std::vector<HWND> disabled_;
};

// The window procedure of a window whose object sits in its user data; the
// messages that come before the object is attached get the default handling.
template <typename T>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

// Runs a handler of the window model inside a window procedure: an error
// goes to the error box, never through the system's frames.
template <typename F>
void RunHandler(F&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    Application.HandleException(error);
  } catch (...) {
    Application.HandleException(std::runtime_error("Unknown error"));
  }
}

}  // namespace ui::win32
