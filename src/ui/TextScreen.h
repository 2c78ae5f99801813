// The window and the dialogs drawn in character cells with box characters:
// what the terminal presenter puts on the screen, kept free of terminal I/O
// so that it can be checked as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

class TForm;

enum TCellStyle : uint8_t {
  csWindow,   // window body: dark text on the button face
  csCaption,  // caption bar: bright text on blue
  csFrame,
  csGrey,     // disabled text
  csFocused,  // the focused (default) button
  csStop,     // the error box's stop mark
};

struct TCell {
  std::string glyph = " ";  // one character, UTF-8
  TCellStyle style = csWindow;
};

// A rectangle of cells.
class TTextCanvas {
 public:
  TTextCanvas(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  const TCell& At(int x, int y) const;
  // Writes Windows-1252 text from (x, y), clipped to `maxWidth` cells and the canvas.
  void Text(int x, int y, const std::string& ansi, TCellStyle style, int maxWidth = 1 << 20);
  void Fill(int x, int y, int width, int height, TCellStyle style);
  // A frame with a caption bar: the caption, a close mark, a rule below.
  void Window(const std::string& caption, TCellStyle bodyStyle = csWindow);
  // The row's glyphs without styles (trailing blanks kept).
  std::string Row(int y) const;
  // The whole canvas as terminal output at (column, row), 0-based: cursor
  // moves, SGR styles and UTF-8 glyphs.
  std::string Render(int column, int row) const;

 private:
  void Glyph(int x, int y, const char* glyph, TCellStyle style);
  int width_, height_;
  std::vector<TCell> cells_;
};

// Breaks Windows-1252 text into lines of at most `width` characters at blanks
// (a longer word is cut), keeping the text's own line breaks and expanding tabs.
std::vector<std::string> WrapText(const std::string& text, int width);

// The form in cells: 8 pixels a column and 16 a row, controls on one row
// pushed right so that none covers another; the focused button highlighted.
TTextCanvas PaintForm(const TForm& form);
// The message dialog (or, with `stop`, the error box), its text wrapped at
// `wrapWidth` columns and the OK button centred below.
TTextCanvas PaintDialog(const std::string& caption, const std::string& text, int wrapWidth,
                        bool stop);

}  // namespace ui
