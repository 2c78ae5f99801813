// The presenter for a standard input that is not a terminal: the window and
// dialogs become a transcript of one line per event, in UTF-8, and the keys
// come one per line. Scripts and tests drive the program through it.
//
// Written:
//   [window] CAPTION           a form is shown; then, for each visible edit box,
//   [destination] TEXT         [name] TEXT, named by the label to its left (lower
//                              case, colon dropped) or else by the control's name;
//   [focus] CAPTION            then the focused control (an edit box by its name as
//                              above). Later focus moves (Tab,
//                              Shift+Tab) and text changes of an edit box on the
//                              shown form print the same lines again.
//   [message] CAPTION: TEXT    the message dialog; the following keys go to it
//                              until it is closed (Enter, Space, Esc, Alt+F4).
//   [clipboard] LINE           Ctrl+C in the message dialog: one line per line of
//                              the text put on the clipboard, trailing blanks kept.
//   [error] CAPTION: TEXT      the error box; it waits for its own key.
//   [browse] TITLE             an open-file dialog; the next line is the file
//                              name chosen, "Esc" or the end of input cancels.
// Line breaks and other control characters inside a text are written as
// spaces, so that each event stays one line.
//
// Read: one key per line, by name ("Enter", "Space", "Tab", "Shift+Tab", "Esc",
// "Alt+F4", "Ctrl+C", any Shift/Ctrl/Alt combination of those, letters, F1-F12);
// blank lines are skipped and an unknown name is reported on the diagnostic
// stream and skipped. The end of input closes whatever is up as Alt+F4 does,
// so the program always comes to an end.
#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "ui/Presenter.h"

namespace ui {

class TTranscriptPresenter : public TPresenter {
 public:
  TTranscriptPresenter(std::istream& in, std::ostream& out, std::ostream& diagnostics);

  // The process clipboard that Ctrl+C fills.
  const std::string& Clipboard() const { return clipboard_; }

  void RunLoop(TApplication& application) override;
  void FormShown(TForm& form) override;
  void FocusChanged(TForm& form, TControl& control) override;
  void ControlChanged(TForm& form, TControl& control) override;
  void RunMessageDialog(TMessageDialog& dialog) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  bool SetClipboardText(const std::string& text) override;
  void Beep() override {}
  bool RunOpenDialog(TOpenDialog& dialog) override;

 private:
  // The next key, or nothing at the end of input.
  std::optional<TKeyEvent> ReadKey();
  std::optional<std::string> ReadLine();
  void WriteLine(const std::string& tag, const std::string& text);
  void WriteEdit(TForm& form, TControl& edit);

  std::istream& in_;
  std::ostream& out_;
  std::ostream& diagnostics_;
  std::string clipboard_;
  // The text last written for each edit box, so that only changes are written.
  std::map<const TControl*, std::string> writtenText_;
};

}  // namespace ui
