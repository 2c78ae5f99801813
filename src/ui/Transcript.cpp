// The transcript presenter: events as tagged lines out, key names in.
#include "ui/Transcript.h"

#include <istream>
#include <ostream>

#include "rtl/Format.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

namespace ui {

namespace {

// The code points of Windows-1252's 0x80-0x9F; 0 where the code page has none.
constexpr char16_t kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char AnsiOf(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int k = 0; k < 32; ++k) {
    if (kHigh1252[k] == cp || (kHigh1252[k] == 0 && cp == 0x80u + k))
      return static_cast<char>(0x80 + k);
  }
  return '?';
}

// One event per line: control characters inside a text become spaces.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::string EditName(TForm& form, TControl& edit) {
  if (TLabel* label = form.LabelFor(edit)) {
    std::string name = rtl::LowerCaseAscii(label->Caption());
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

std::string AnsiToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const char16_t high = byte >= 0x80 && byte < 0xA0 ? kHigh1252[byte - 0x80] : 0;
    AppendUtf8(out, high != 0 ? high : byte);
  }
  return out;
}

std::string Utf8ToAnsi(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    uint32_t cp = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07;
    } else if (lead >= 0x80) {
      out += '?';
      ++i;
      continue;
    }
    bool valid = i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += '?';
      ++i;
      continue;
    }
    out += AnsiOf(cp);
    i += length;
  }
  return out;
}

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
  out_ << '[' << AnsiToUtf8(tag) << "] " << AnsiToUtf8(OneLine(text)) << '\n';
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
  dialog.SetFileName(Utf8ToAnsi(*line));
  return true;
}

}  // namespace ui
