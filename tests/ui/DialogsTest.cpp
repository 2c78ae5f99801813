// The message dialog: caption, keys, the clipboard copy and its layout, the
// geometry computed from the dialog units.
#include <gtest/gtest.h>

#include "support/TranscriptSession.h"
#include "ui/Dialogs.h"

namespace {

using testing_support::TranscriptSession;

const std::string kDashes(27, '-');

TEST(MessageDialog, IsCaptionedWithTheTitleAndWaitsForItsKey) {
  TranscriptSession session("Tab\nF4\nEnter\nEnter\n");
  ui::ShowMessage("The Version installed was 5.2.0.12");
  EXPECT_EQ(session.Lines(),
            std::vector<std::string>{"[message] unit_tests: The Version installed was 5.2.0.12"});
  EXPECT_EQ(session.UnreadInput(), "Enter\n");  // Tab and F4 did not close it
}

TEST(MessageDialog, ClosesOnEnterEscSpaceAndAltF4) {
  for (const char* key : {"Enter", "Esc", "Space", "Alt+F4"}) {
    ui::TMessageDialog dialog("Caption", "Text");
    ui::TKeyEvent event;
    ASSERT_TRUE(ui::ParseKeyName(key, event));
    EXPECT_TRUE(dialog.KeyDown(event)) << key;
    EXPECT_TRUE(dialog.Closed()) << key;
  }
  ui::TMessageDialog dialog("Caption", "Text");
  EXPECT_FALSE(dialog.KeyDown({ui::vkEscape, ui::ssAlt}));
  EXPECT_FALSE(dialog.Closed());
}

TEST(MessageDialog, TheEndOfInputClosesIt) {
  TranscriptSession session("");
  ui::ShowMessage("one");
  ui::ShowMessage("two");
  EXPECT_EQ(session.Lines().size(), 2u);
}

TEST(MessageDialog, ClipboardTextHasTheDashedLayout) {
  ui::TMessageDialog dialog("Cvcustomscrzipbase", "The Version installed was 5.2.0.12");
  const std::string expected = kDashes + "\r\nCvcustomscrzipbase\r\n" + kDashes +
                               "\r\nThe Version installed was 5.2.0.12\r\n" + kDashes +
                               "\r\nOK   \r\n" + kDashes + "\r\n";
  EXPECT_EQ(dialog.ClipboardText(), expected);
}

TEST(MessageDialog, CtrlCCopiesToTheProcessClipboardAndTheTranscriptShowsIt) {
  TranscriptSession session("Ctrl+Shift+C\nC\nCtrl+C\nEnter\n");
  ui::ShowMessage("Line one\r\nline two");
  const std::vector<std::string> expected = {"[message] unit_tests: Line one  line two",
                                             "[clipboard] " + kDashes,
                                             "[clipboard] unit_tests",
                                             "[clipboard] " + kDashes,
                                             "[clipboard] Line one",
                                             "[clipboard] line two",
                                             "[clipboard] " + kDashes,
                                             "[clipboard] OK   ",
                                             "[clipboard] " + kDashes};
  EXPECT_EQ(session.Lines(), expected);
  EXPECT_EQ(session.Presenter().Clipboard(), kDashes + "\r\nunit_tests\r\n" + kDashes +
                                                 "\r\nLine one\r\nline two\r\n" + kDashes +
                                                 "\r\nOK   \r\n" + kDashes + "\r\n");
}

// A presenter whose clipboard is always taken by someone else.
class TLockedClipboard : public ui::TPresenter {
 public:
  void RunLoop(ui::TApplication&) override {}
  void FormShown(ui::TForm&) override {}
  void FocusChanged(ui::TForm&, ui::TControl&) override {}
  void ControlChanged(ui::TForm&, ui::TControl&) override {}
  void RunMessageDialog(ui::TMessageDialog& dialog) override {
    dialog.HandleKey({'C', ui::ssCtrl});
    stillUp = !dialog.Closed();
    dialog.HandleKey({ui::vkReturn, ui::ssNone});
  }
  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    errors.push_back(caption + ": " + text);
  }
  bool SetClipboardText(const std::string&) override { return false; }
  void Beep() override { ++beeps; }
  bool RunOpenDialog(ui::TOpenDialog&) override { return false; }

  std::vector<std::string> errors;
  int beeps = 0;
  bool stillUp = false;
};

TEST(MessageDialog, ALockedClipboardGoesToTheErrorBoxAndTheDialogStaysUp) {
  std::unique_ptr<ui::TPresenter> owned = std::make_unique<TLockedClipboard>();
  auto* presenter = static_cast<TLockedClipboard*>(owned.get());
  auto previous = ui::Application.SetPresenter(std::move(owned));
  ui::ShowMessage("text");
  owned = ui::Application.SetPresenter(std::move(previous));
  EXPECT_EQ(presenter->beeps, 1);
  EXPECT_TRUE(presenter->stillUp);
  EXPECT_EQ(presenter->errors, std::vector<std::string>{"unit_tests: Cannot open clipboard."});
}

TEST(MessageDialogLayout, FollowsTheDialogUnits) {
  // X 6, Y 13: margins 12 and 13, spacing 16 (16.25), button 75 x 23 (22.75).
  const ui::TMessageDialogLayout layout = ui::LayoutMessageDialog(6, 13, 100, 13, 15);
  EXPECT_EQ(layout.clientWidth, 124);
  EXPECT_EQ(layout.clientHeight, 13 + 23 + 16 + 2 * 13);
  EXPECT_EQ(layout.text.left, 12);
  EXPECT_EQ(layout.text.top, 13);
  EXPECT_EQ(layout.text.width, 100);
  EXPECT_EQ(layout.button.left, 24);
  EXPECT_EQ(layout.button.top, 13 + 13 + 16);
  EXPECT_EQ(layout.button.width, 75);
  EXPECT_EQ(layout.button.height, 23);
}

TEST(MessageDialogLayout, AShortTextStillLeavesRoomForTheButton) {
  const ui::TMessageDialogLayout shortText = ui::LayoutMessageDialog(6, 13, 10, 13, 15);
  EXPECT_EQ(shortText.clientWidth, 75 + 24);
  EXPECT_EQ(shortText.button.left, 12);
  // A wide "OK" (large font) makes the button its width plus 8.
  const ui::TMessageDialogLayout wideOk = ui::LayoutMessageDialog(6, 13, 10, 13, 80);
  EXPECT_EQ(wideOk.button.width, 88);
  EXPECT_EQ(wideOk.clientWidth, 88 + 24);
}

}  // namespace
