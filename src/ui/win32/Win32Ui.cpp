// Keys, fonts and window disabling shared by the Win32 windows.
#include "ui/win32/Win32Ui.h"

namespace ui::win32 {

bool KeyEventOf(const MSG& message, TKeyEvent& key) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  unsigned shift = ssNone;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  const bool altContext = message.message == WM_SYSKEYDOWN && (message.lParam & (1L << 29)) != 0;
  if (altContext || GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  key.key = static_cast<TKey>(message.wParam);
  key.shift = static_cast<TShiftState>(shift);
  return true;
}

TScreenContext::TScreenContext(HFONT font)
    : dc_(GetDC(nullptr)), previous_(font != nullptr ? SelectObject(dc_, font) : nullptr) {}

TScreenContext::~TScreenContext() {
  if (previous_ != nullptr) SelectObject(dc_, previous_);
  ReleaseDC(nullptr, dc_);
}

int ScreenPixelsPerInch() {
  const TScreenContext screen;
  return GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

TGdiFont CreateModelFont(const TFont& font) {
  return TGdiFont(CreateFontA(font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
                              font.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH, font.name.c_str()));
}

int TextHeightOfZero(HFONT font) {
  const TScreenContext screen(font);
  SIZE size{};
  GetTextExtentPoint32A(screen.Get(), "0", 1, &size);
  return size.cy;
}

namespace {

struct TDisableScan {
  HWND keep;
  std::vector<HWND>* disabled;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM parameter) {
  auto* scan = reinterpret_cast<TDisableScan*>(parameter);
  if (window != scan->keep && IsWindowVisible(window) && IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    scan->disabled->push_back(window);
  }
  return TRUE;
}

}  // namespace

TTaskWindowsDisabled::TTaskWindowsDisabled(HWND keep)
    : keep_(keep), active_(GetActiveWindow()), focus_(GetFocus()) {
  TDisableScan scan{keep_, &disabled_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&scan));
}

TTaskWindowsDisabled::~TTaskWindowsDisabled() {
  for (HWND window : disabled_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  if (active_ != nullptr && IsWindow(active_) && IsWindowVisible(active_)) SetActiveWindow(active_);
  if (focus_ != nullptr && IsWindow(focus_) && IsWindowEnabled(focus_)) SetFocus(focus_);
}

}  // namespace ui::win32
