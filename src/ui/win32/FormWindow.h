// The real window of a form: a top-level window owned by the hidden
// application window, one child window per control, all in the form's font,
// kept in step with the model as its texts, states and focus change.
#pragma once

#include <windows.h>

#include <map>

#include "ui/Forms.h"
#include "ui/win32/Win32Ui.h"

namespace ui::win32 {

class TFormWindow {
 public:
  // Creates the window hidden, scaled to the screen as the design asks.
  TFormWindow(TForm& form, HWND owner);
  ~TFormWindow();
  TFormWindow(const TFormWindow&) = delete;
  TFormWindow& operator=(const TFormWindow&) = delete;

  HWND Handle() const { return handle_; }
  TForm& Form() const { return form_; }
  HWND HandleOf(const TControl& control) const;
  // Whether `window` is this window or one of its controls.
  bool Owns(HWND window) const;

  // Places the window (centred when the design says so) and shows it with
  // the given show command.
  void Show(int showCommand);
  // Follows the model: texts, enabled and visible states, focus.
  void SyncControl(const TControl& control);
  void SyncAll();
  void Focus(const TControl& control);

  // The window's messages, reached through ObjectWindowProc.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void CreateControl(TControl& control);
  // A label that sizes itself takes the size of its text in the form's font.
  void FitLabelToText(TLabel& label) const;
  void MarkDefaultButton(const TControl* focused);
  TControl* ControlOf(HWND window) const;

  TForm& form_;
  HWND handle_ = nullptr;
  TGdiFont font_;
  std::map<const TControl*, HWND> windows_;
};

}  // namespace ui::win32
