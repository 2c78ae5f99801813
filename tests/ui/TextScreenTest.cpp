// What the terminal shows and hears: the window and dialogs in character
// cells, word wrapping, and the key sequences terminals send.
#include <gtest/gtest.h>

#include "ui/Forms.h"
#include "ui/TerminalKeys.h"
#include "ui/TextScreen.h"

namespace {

std::optional<ui::TKeyEvent> Decode(std::string_view bytes, size_t expectedUsed) {
  size_t used = 99;
  std::optional<ui::TTerminalInput> input = ui::DecodeTerminalKey(bytes, used);
  EXPECT_EQ(used, expectedUsed) << testing::PrintToString(std::string(bytes));
  if (!input) return std::nullopt;
  return input->key;
}

TEST(TerminalKeys, ControlBytesAreTheWindowsKeys) {
  EXPECT_TRUE(Decode("\t", 1)->Is(ui::vkTab));
  EXPECT_TRUE(Decode("\r", 1)->Is(ui::vkReturn));
  EXPECT_TRUE(Decode("\n", 1)->Is(ui::vkReturn));
  EXPECT_TRUE(Decode(" ", 1)->Is(ui::vkSpace));
  EXPECT_TRUE(Decode("\x03", 1)->Is('C', ui::ssCtrl));
  EXPECT_TRUE(Decode("\x1b", 1)->Is(ui::vkEscape));
  EXPECT_TRUE(Decode("c", 1)->Is('C'));
  EXPECT_TRUE(Decode("C", 1)->Is('C', ui::ssShift));
}

TEST(TerminalKeys, EscapeSequencesOfXtermAndTheConsole) {
  EXPECT_TRUE(Decode("\x1b[Z", 3)->Is(ui::vkTab, ui::ssShift));
  EXPECT_TRUE(Decode("\x1b[1;3S", 6)->Is(ui::vkF4, ui::ssAlt));
  EXPECT_TRUE(Decode("\x1b[1;5S", 6)->Is(ui::vkF4, ui::ssCtrl));
  EXPECT_TRUE(Decode("\x1bOS", 3)->Is(ui::vkF4));
  EXPECT_TRUE(Decode("\x1b[14;3~", 7)->Is(ui::vkF4, ui::ssAlt));
  EXPECT_TRUE(Decode("\x1b[[D", 4)->Is(ui::vkF4));
  // The meta prefix: ESC before a key holds Alt.
  EXPECT_TRUE(Decode("\x1b\x1bOS", 4)->Is(ui::vkF4, ui::ssAlt));
  EXPECT_TRUE(Decode("\x1b\t", 2)->Is(ui::vkTab, ui::ssAlt));
  EXPECT_TRUE(Decode("\x1b\x1b", 2)->Is(ui::vkEscape, ui::ssAlt));
  // Only the first key is taken.
  EXPECT_TRUE(Decode("\x1b[Z\t", 3)->Is(ui::vkTab, ui::ssShift));
}

TEST(TerminalKeys, UnknownSequencesAreSkippedAndIncompleteOnesWaited) {
  EXPECT_FALSE(Decode("\x1b[A", 3));    // an arrow: no key of this window
  EXPECT_FALSE(Decode("\x1b[1;3", 0));  // the final byte is still to come
  EXPECT_FALSE(Decode("\x1b[", 0));
  EXPECT_FALSE(Decode("\x1bO", 0));
  EXPECT_FALSE(Decode("\xC3", 0));  // a UTF-8 character cut short
  EXPECT_FALSE(Decode("", 0));
  size_t used = 0;
  const std::optional<ui::TTerminalInput> text = ui::DecodeTerminalKey("é!", used);
  ASSERT_TRUE(text);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(text->text, "é");
}

TEST(WrapText, BreaksAtBlanksAndKeepsLineBreaks) {
  EXPECT_EQ(ui::WrapText("The Version installed was 5.2.0.12", 12),
            (std::vector<std::string>{"The Version", "installed", "was 5.2.0.12"}));
  EXPECT_EQ(ui::WrapText("one\r\ntwo", 40), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(ui::WrapText("abcdefghij", 4), (std::vector<std::string>{"abcd", "efgh", "ij"}));
  EXPECT_EQ(ui::WrapText("a\tb", 40), (std::vector<std::string>{"a       b"}));
  EXPECT_EQ(ui::WrapText("", 10), (std::vector<std::string>{""}));
}

class TScreenForm : public ui::TForm {
 public:
  explicit TScreenForm(ui::TComponent* owner) : ui::TForm(owner, "ScreenForm") {
    SetCaption("Tessaline Install");
    SetClientSize(492, 80);
    label = Create<ui::TLabel>("label");
    label->SetBounds(8, 8, 56, 13);
    label->SetCaption("Destination:");
    edit = Create<ui::TEdit>("edit");
    edit->SetBounds(72, 8, 409, 21);
    edit->SetText("C:\\Program Files\\Medisoft");
    edit->SetEnabled(false);
    exit = Create<ui::TButton>("exit");
    exit->SetBounds(8, 40, 75, 25);
    exit->SetCaption("Exit");
    install = Create<ui::TButton>("install");
    install->SetBounds(96, 40, 75, 25);
    install->SetCaption("Install");
  }
  ui::TLabel* label;
  ui::TEdit* edit;
  ui::TButton* exit;
  ui::TButton* install;
};

TEST(PaintForm, DrawsTheFrameCaptionAndControlsWithoutOverlap) {
  TScreenForm form(nullptr);
  const ui::TTextCanvas canvas = ui::PaintForm(form);
  ASSERT_EQ(canvas.Height(), 9);
  EXPECT_EQ(canvas.Row(0).rfind("┌─", 0), 0u);
  EXPECT_NE(canvas.Row(1).find(" Tessaline Install"), std::string::npos);
  EXPECT_NE(canvas.Row(1).find("[×]"), std::string::npos);
  const std::string fields = canvas.Row(4);
  const size_t label = fields.find("Destination:");
  const size_t edit = fields.find("[C:\\Program Files\\Medisoft");
  ASSERT_NE(label, std::string::npos);
  ASSERT_NE(edit, std::string::npos);
  EXPECT_GT(edit, label + 12);  // the edit box starts after the label's text
  const std::string buttons = canvas.Row(6);
  EXPECT_LT(buttons.find("Exit"), buttons.find("Install"));  // Exit stands to the left
  EXPECT_EQ(canvas.Row(8).rfind("└", 0), 0u);
}

TEST(PaintForm, HighlightsTheFocusedButtonAndGreysDisabledControls) {
  TScreenForm form(nullptr);
  form.SetFocusedControl(form.install);
  const ui::TTextCanvas canvas = ui::PaintForm(form);
  const std::string buttons = canvas.Row(6);
  // Columns are cells; these rows hold ASCII only past the frame's first glyph.
  const int install = static_cast<int>(buttons.find("Install")) - 2;  // "│" is 3 bytes
  const int exit = static_cast<int>(buttons.find("Exit")) - 2;
  EXPECT_EQ(canvas.At(install, 6).style, ui::csFocused);
  EXPECT_EQ(canvas.At(exit, 6).style, ui::csWindow);
  const int edit = static_cast<int>(canvas.Row(4).find("C:\\")) - 2;
  EXPECT_EQ(canvas.At(edit, 4).style, ui::csGrey);
}

TEST(PaintDialog, WrapsTheTextAndCentresOK) {
  const ui::TTextCanvas canvas =
      ui::PaintDialog("Cvcustomscrzipbase", "The Version installed was 5.2.0.12", 20, false);
  std::string all;
  for (int y = 0; y < canvas.Height(); ++y) all += canvas.Row(y) + "\n";
  EXPECT_NE(all.find("The Version"), std::string::npos);
  EXPECT_NE(all.find("installed was"), std::string::npos);
  EXPECT_NE(all.find("5.2.0.12"), std::string::npos);
  EXPECT_NE(all.find("[  OK  ]"), std::string::npos);
  const ui::TTextCanvas stop = ui::PaintDialog("T", "Bad.", 20, true);
  EXPECT_EQ(stop.At(4, 4).style, ui::csStop);
}

}  // namespace
