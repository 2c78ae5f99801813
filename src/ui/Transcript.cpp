// The transcript presenter: events as tagged lines out, key names in.
#include "ui/Transcript.h"

#include <istream>
#include <ostream>

#include "os/text.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

namespace ui {

namespace {

// One event per line: control characters inside a text become spaces.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::string EditName(TForm& form, TControl& edit) {
  if (TLabel* label = form.LabelFor(edit)) {
    std::string name = os::text::LowerCaseAscii(label->Caption());
    while (!name.empty() && (name.back() == ':' || name.back() == ' ')) name.pop_back();
    std::string cleaned;
    for (char c : name) {
      if (c != '&') cleaned += c;
    }
    if (!cleaned.empty()) return cleaned;
  }
  return edit.Name();
}

}  // namespace

TTranscriptPresenter::TTranscriptPresenter(std::istream& in, std::ostream& out,
                                           std::ostream& diagnostics)
    : in_(in), out_(out), diagnostics_(diagnostics) {}

std::optional<std::string> TTranscriptPresenter::ReadLine() {
  std::string line;
  if (!std::getline(in_, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<TKeyEvent> TTranscriptPresenter::ReadKey() {
  while (std::optional<std::string> line = ReadLine()) {
    if (line->find_first_not_of(" \t") == std::string::npos) continue;
    TKeyEvent key;
    if (ParseKeyName(*line, key)) return key;
    diagnostics_ << "unknown key '" << *line << "' ignored\n";
    diagnostics_.flush();
  }
  return std::nullopt;
}

void TTranscriptPresenter::WriteLine(const std::string& tag, const std::string& text) {
  out_ << '[' << os::text::Win1252ToUtf8(tag) << "] " << os::text::Win1252ToUtf8(OneLine(text))
       << '\n';
  out_.flush();
}

void TTranscriptPresenter::WriteEdit(TForm& form, TControl& edit) {
  writtenText_[&edit] = edit.Text();
  WriteLine(OneLine(EditName(form, edit)), edit.Text());
}

void TTranscriptPresenter::RunLoop(TApplication& application) {
  application.ShowMainForm();
  while (!application.Terminated()) {
    const std::optional<TKeyEvent> key = ReadKey();
    application.ProcessKey(key ? *key : TKeyEvent{vkF4, ssAlt});
  }
}

void TTranscriptPresenter::FormShown(TForm& form) {
  WriteLine("window", form.Caption());
  for (TControl* control : form.Controls()) {
    if (control->Kind() == TControlKind::Edit && control->Visible()) WriteEdit(form, *control);
  }
}

void TTranscriptPresenter::FocusChanged(TForm& form, TControl& control) {
  // A button by its caption; an edit box, whose text is no name, by its label.
  WriteLine("focus",
            control.Kind() == TControlKind::Edit ? EditName(form, control) : control.Caption());
}

void TTranscriptPresenter::ControlChanged(TForm& form, TControl& control) {
  // Only what a user reads changes the transcript: an edit box's text.
  if (control.Kind() == TControlKind::Edit && control.Visible()) {
    const auto written = writtenText_.find(&control);
    if (written == writtenText_.end() || written->second != control.Text())
      WriteEdit(form, control);
  }
}

void TTranscriptPresenter::RunMessageDialog(TMessageDialog& dialog) {
  WriteLine("message", dialog.Caption() + ": " + dialog.Text());
  while (!dialog.Closed()) {
    const std::optional<TKeyEvent> key = ReadKey();
    dialog.HandleKey(key ? *key : TKeyEvent{vkF4, ssAlt});
  }
}

void TTranscriptPresenter::ShowErrorBox(const std::string& caption, const std::string& text) {
  WriteLine("error", caption + ": " + text);
  for (;;) {
    const std::optional<TKeyEvent> key = ReadKey();
    if (!key || ClosesErrorBox(*key)) return;
  }
}

bool TTranscriptPresenter::SetClipboardText(const std::string& text) {
  clipboard_ = text;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    WriteLine("clipboard", text.substr(begin, end - begin));
    begin = end + 2;
  }
  return true;
}

bool TTranscriptPresenter::RunOpenDialog(TOpenDialog& dialog) {
  WriteLine("browse", dialog.Title());
  const std::optional<std::string> line = ReadLine();
  if (!line || line->empty()) return false;
  TKeyEvent key;
  if (ParseKeyName(*line, key) && key.Is(vkEscape)) return false;
  dialog.SetFileName(os::text::Utf8ToWin1252(*line));
  return true;
}

}  // namespace ui
