// What a platform does to put the window model in front of a user: run the
// message loop, show forms and follow their changes, run the modal dialogs,
// and reach the clipboard. The Linux side has a terminal and a transcript
// presenter; the Windows side creates real windows from the same model.
#pragma once

#include <memory>
#include <string>

#include "ui/Classes.h"

namespace ui {

class TApplication;
class TForm;
class TControl;
class TMessageDialog;
class TOpenDialog;

class TPresenter {
 public:
  virtual ~TPresenter() = default;

  // The message loop: shows the main form (TApplication::ShowMainForm), then
  // feeds the user's input to TApplication::ProcessKey until the application
  // is terminated. The end of input closes the main window as Alt+F4 does.
  virtual void RunLoop(TApplication& application) = 0;

  // A form became visible (its position and focus are set).
  virtual void FormShown(TForm& form) = 0;
  // The focus moved to `control` (never null) on a visible form.
  virtual void FocusChanged(TForm& form, TControl& control) = 0;
  // A control of a visible form changed its text, enabled or visible state.
  virtual void ControlChanged(TForm& form, TControl& control) = 0;

  // Runs the dialog modally until it is closed; its keys go through
  // TMessageDialog::HandleKey.
  virtual void RunMessageDialog(TMessageDialog& dialog) = 0;
  // The system's error box: one OK button, the stop icon; returns when closed.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // Puts plain text on the clipboard; false when the clipboard cannot be opened.
  virtual bool SetClipboardText(const std::string& text) = 0;
  // The default beep.
  virtual void Beep() = 0;
  // An open-file dialog; true with the chosen name in the dialog, false when
  // cancelled.
  virtual bool RunOpenDialog(TOpenDialog& dialog) = 0;
};

// The presenter this platform uses for the running process.
std::unique_ptr<TPresenter> CreatePlatformPresenter();

}  // namespace ui
