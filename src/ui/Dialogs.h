// The two dialogs through which the program talks to the user: the message
// dialog (ShowMessage) and the error box for an error that leaves a handler;
// and the open-file dialog of the run action. The models here are what every
// platform draws: texts, layout, keys, the clipboard copy.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "ui/Classes.h"

namespace ui {

// Opens the message dialog, captioned with the application title, and waits
// until the user closes it.
void ShowMessage(const std::string& text);

// The error box for an error that left an event handler.
void ShowErrorBox(const std::exception& error);

// The error box's text: the message, with a `.` appended when it is not empty
// and its last byte is above `.` (so "...'" and "...!" stay as they are).
std::string ErrorBoxText(const std::string& message);

// Whether a key closes the error box (its one OK button is default and cancel).
bool ClosesErrorBox(const TKeyEvent& key);

// The message dialog: a caption, a text and one OK button that is both the
// default and the cancel button.
class TMessageDialog {
 public:
  TMessageDialog(std::string caption, std::string text);

  const std::string& Caption() const { return caption_; }
  const std::string& Text() const { return text_; }
  const std::vector<std::string>& ButtonCaptions() const { return buttons_; }

  bool Closed() const { return closed_; }
  void Close() { closed_ = true; }

  // Enter, Space and Esc press OK; Alt+F4 closes the dialog; Ctrl+C (Ctrl
  // alone) beeps and copies the dialog to the clipboard. An error (a
  // clipboard that cannot be opened) travels to the caller.
  bool KeyDown(const TKeyEvent& key);
  // KeyDown inside the dialog's own message handling: an error goes to the
  // error box and the dialog stays up. True when the dialog used the key.
  bool HandleKey(const TKeyEvent& key);

  // The text Ctrl+C puts on the clipboard: caption, message and buttons
  // between lines of 27 dashes, each line ending in CR LF.
  std::string ClipboardText() const;

 private:
  std::string caption_;
  std::string text_;
  std::vector<std::string> buttons_;
  bool closed_ = false;
};

// The message dialog's geometry in pixels, from its font's dialog units.
struct TDialogRect {
  int left = 0, top = 0, width = 0, height = 0;
};
struct TMessageDialogLayout {
  int clientWidth = 0, clientHeight = 0;
  TDialogRect text;
  TDialogRect button;
};
// unitX: width of "A..Za..z" div 52; unitY: its height; textWidth/Height: the
// message measured word-wrapped within half the screen width; okTextWidth:
// the width of "OK".
TMessageDialogLayout LayoutMessageDialog(int unitX, int unitY, int textWidth, int textHeight,
                                         int okTextWidth);

// The run action's open-file dialog.
class TOpenDialog : public TComponent {
 public:
  TOpenDialog(TComponent* owner, std::string name);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName) { fileName_ = fileName; }
  // Shows the dialog; true with FileName set to the choice, false when cancelled.
  bool Execute();

 private:
  std::string title_;
  std::string fileName_;
};

}  // namespace ui
