// Painting forms and dialogs into character cells.
#include "ui/TextScreen.h"

#include <algorithm>
#include <map>

#include "os/text.h"
#include "ui/Forms.h"
#include "ui/Transcript.h"

namespace ui {

TTextCanvas::TTextCanvas(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      cells_(static_cast<size_t>(width_) * static_cast<size_t>(height_)) {}

const TCell& TTextCanvas::At(int x, int y) const {
  return cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void TTextCanvas::Glyph(int x, int y, const char* glyph, TCellStyle style) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  TCell& cell =
      cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
  cell.glyph = std::string(glyph);  // a fresh string: no aliasing for the optimiser to fear
  cell.style = style;
}

void TTextCanvas::Text(int x, int y, const std::string& ansi, TCellStyle style, int maxWidth) {
  const int count = std::min(static_cast<int>(ansi.size()), maxWidth);
  for (int i = 0; i < count; ++i) {
    unsigned char byte = static_cast<unsigned char>(ansi[static_cast<size_t>(i)]);
    if (byte < 0x20 || byte == 0x7F) byte = ' ';
    Glyph(x + i, y, os::text::Win1252ToUtf8(std::string(1, static_cast<char>(byte))).c_str(),
          style);
  }
}

void TTextCanvas::Fill(int x, int y, int width, int height, TCellStyle style) {
  for (int row = y; row < y + height; ++row) {
    for (int column = x; column < x + width; ++column) Glyph(column, row, " ", style);
  }
}

void TTextCanvas::Window(const std::string& caption, TCellStyle bodyStyle) {
  if (width_ < 2 || height_ < 4) return;
  Fill(0, 0, width_, height_, bodyStyle);
  for (int x = 1; x < width_ - 1; ++x) {
    Glyph(x, 0, "─", csFrame);
    Glyph(x, 2, "─", csFrame);
    Glyph(x, height_ - 1, "─", csFrame);
  }
  for (int y = 1; y < height_ - 1; ++y) {
    Glyph(0, y, "│", csFrame);
    Glyph(width_ - 1, y, "│", csFrame);
  }
  Glyph(0, 0, "┌", csFrame);
  Glyph(width_ - 1, 0, "┐", csFrame);
  Glyph(0, 2, "├", csFrame);
  Glyph(width_ - 1, 2, "┤", csFrame);
  Glyph(0, height_ - 1, "└", csFrame);
  Glyph(width_ - 1, height_ - 1, "┘", csFrame);
  Fill(1, 1, width_ - 2, 1, csCaption);
  // The close button at the right end of the caption bar: the only one.
  Text(1, 1, " " + caption, csCaption, width_ - 6);
  Text(width_ - 5, 1, "[", csCaption);
  Glyph(width_ - 4, 1, "×", csCaption);
  Text(width_ - 3, 1, "]", csCaption);
}

std::string TTextCanvas::Row(int y) const {
  std::string row;
  for (int x = 0; x < width_; ++x) row += At(x, y).glyph;
  return row;
}

namespace {

const char* StyleCode(TCellStyle style) {
  switch (style) {
    case csWindow:
      return "\x1b[0;30;47m";
    case csCaption:
      return "\x1b[0;1;97;44m";
    case csFrame:
      return "\x1b[0;30;47m";
    case csGrey:
      return "\x1b[0;90;47m";
    case csFocused:
      return "\x1b[0;1;97;40m";
    case csStop:
      return "\x1b[0;1;97;41m";
  }
  return "\x1b[0m";
}

}  // namespace

std::string TTextCanvas::Render(int column, int row) const {
  std::string out;
  for (int y = 0; y < height_; ++y) {
    out += "\x1b[" + std::to_string(row + y + 1) + ";" + std::to_string(column + 1) + "H";
    int current = -1;
    for (int x = 0; x < width_; ++x) {
      const TCell& cell = At(x, y);
      if (cell.style != current) {
        out += StyleCode(cell.style);
        current = cell.style;
      }
      out += cell.glyph;
    }
  }
  return out + "\x1b[0m";
}

std::vector<std::string> WrapText(const std::string& text, int width) {
  width = std::max(width, 1);
  std::vector<std::string> lines;
  size_t begin = 0;
  for (;;) {
    size_t end = text.find('\n', begin);
    std::string paragraph = text.substr(begin, end == std::string::npos ? end : end - begin);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    std::string expanded;
    for (char c : paragraph) {
      if (c == '\t') {
        do expanded += ' ';
        while (expanded.size() % 8 != 0);
      } else {
        expanded += c;
      }
    }
    // Greedy filling at blanks; a word wider than the line is cut.
    std::string line;
    size_t i = 0;
    while (i < expanded.size()) {
      size_t wordEnd = expanded.find(' ', i);
      if (wordEnd == std::string::npos) wordEnd = expanded.size();
      std::string word = expanded.substr(i, wordEnd - i);
      const size_t need = line.empty() ? word.size() : line.size() + 1 + word.size();
      if (need <= static_cast<size_t>(width)) {
        if (!line.empty()) line += ' ';
        line += word;
      } else {
        if (!line.empty()) lines.push_back(line);
        while (word.size() > static_cast<size_t>(width)) {
          lines.push_back(word.substr(0, static_cast<size_t>(width)));
          word.erase(0, static_cast<size_t>(width));
        }
        line = word;
      }
      i = wordEnd + 1;
    }
    lines.push_back(line);
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return lines;
}

namespace {

constexpr int kPixelsPerColumn = 8;
constexpr int kPixelsPerRow = 16;

int CellWidth(const TControl& control) {
  const int designed = control.Width() / kPixelsPerColumn;
  const int text = static_cast<int>(control.Caption().size());
  switch (control.Kind()) {
    case TControlKind::Label:
      return text;
    case TControlKind::Edit:
      return std::max(designed, 3);
    case TControlKind::Button:
      return std::max(designed, text + 4);
  }
  return designed;
}

struct Placed {
  const TControl* control;
  int column, row, width;
};

std::vector<Placed> Place(const TForm& form) {
  std::map<int, std::vector<const TControl*>> rows;
  for (const TControl* control : form.Controls()) {
    if (control->Visible())
      rows[(control->Top() + kPixelsPerRow / 2) / kPixelsPerRow].push_back(control);
  }
  std::vector<Placed> placed;
  for (auto& [row, controls] : rows) {
    std::stable_sort(controls.begin(), controls.end(),
                     [](const TControl* a, const TControl* b) { return a->Left() < b->Left(); });
    int nextFree = 0;
    for (const TControl* control : controls) {
      const int column = std::max(control->Left() / kPixelsPerColumn, nextFree);
      const int width = CellWidth(*control);
      placed.push_back({control, column, row, width});
      nextFree = column + width + 1;
    }
  }
  return placed;
}

}  // namespace

TTextCanvas PaintForm(const TForm& form) {
  const std::vector<Placed> placed = Place(form);
  int columns = form.ClientWidth() / kPixelsPerColumn;
  int rows = (form.ClientHeight() + kPixelsPerRow / 2) / kPixelsPerRow;
  for (const Placed& p : placed) {
    columns = std::max(columns, p.column + p.width + 1);
    rows = std::max(rows, p.row + 1);
  }
  columns = std::max(columns, static_cast<int>(form.Caption().size()) + 6);
  TTextCanvas canvas(columns + 2, rows + 4);
  canvas.Window(form.Caption());
  for (const Placed& p : placed) {
    const int x = p.column + 1, y = p.row + 3;
    const TControl& control = *p.control;
    const TCellStyle text = control.Enabled() ? csWindow : csGrey;
    switch (control.Kind()) {
      case TControlKind::Label:
        canvas.Text(x, y, control.Caption(), text);
        break;
      case TControlKind::Edit:
        canvas.Text(x, y, "[", text);
        canvas.Text(x + 1, y, control.Text(), text, p.width - 2);
        canvas.Text(x + p.width - 1, y, "]", text);
        break;
      case TControlKind::Button: {
        const bool focused = &control == form.ActiveControl();
        const TCellStyle style = focused ? csFocused : text;
        const int inner = p.width - 2;
        const int pad = std::max(0, (inner - static_cast<int>(control.Caption().size())) / 2);
        canvas.Fill(x, y, p.width, 1, style);
        canvas.Text(x, y, "[", style);
        canvas.Text(x + 1 + pad, y, control.Caption(), style, inner - pad);
        canvas.Text(x + p.width - 1, y, "]", style);
        break;
      }
    }
  }
  return canvas;
}

TTextCanvas PaintDialog(const std::string& caption, const std::string& text, int wrapWidth,
                        bool stop) {
  const std::string mark = stop ? " X " : "";
  const int markWidth = stop ? 4 : 0;
  const std::vector<std::string> lines = WrapText(text, wrapWidth);
  int textWidth = 0;
  for (const std::string& line : lines)
    textWidth = std::max(textWidth, static_cast<int>(line.size()));
  const std::string button = "[  OK  ]";
  const int buttonWidth = static_cast<int>(button.size());
  const int inner =
      std::max({markWidth + textWidth, buttonWidth, static_cast<int>(caption.size()) + 5}) + 4;
  const int rows = static_cast<int>(lines.size()) + 4;
  TTextCanvas canvas(inner + 2, rows + 4);
  canvas.Window(caption);
  if (stop) canvas.Text(3, 4, mark, csStop);
  for (size_t i = 0; i < lines.size(); ++i)
    canvas.Text(3 + markWidth, 4 + static_cast<int>(i), lines[i], csWindow);
  canvas.Text(1 + (inner - buttonWidth) / 2, 5 + static_cast<int>(lines.size()), button, csFocused);
  return canvas;
}

}  // namespace ui
