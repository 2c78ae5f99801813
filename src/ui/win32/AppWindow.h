// The hidden application window: a zero-size top-level window at the centre
// of the primary screen that owns every window of the program and stands for
// it on the taskbar, with the application title as its text and the
// executable's "MAINICON" as its icon.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui::win32 {

class TAppWindow {
 public:
  explicit TAppWindow(const std::string& title);
  ~TAppWindow();
  TAppWindow(const TAppWindow&) = delete;
  TAppWindow& operator=(const TAppWindow&) = delete;

  HWND Handle() const { return handle_; }
  // The title as the window carries it (at most 255 characters).
  std::string Text() const;

  // Puts the program on the taskbar: shown at zero size, or minimised there.
  void ShowOnTaskbar(bool minimised);

  // While the error box is up on another monitor than this window's, the
  // window moves to the centre of the active window's monitor; Restore puts
  // it back.
  void MoveToMonitorOf(HWND active);
  void RestorePosition();

  // Called when the user restores the program from the taskbar.
  std::function<void()> OnRestore;

  // The window's messages, reached through ObjectWindowProc.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HWND handle_ = nullptr;
  HICON icon_ = nullptr;
  POINT home_{};
  bool moved_ = false;
};

}  // namespace ui::win32
