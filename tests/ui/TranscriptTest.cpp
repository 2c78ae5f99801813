// The transcript's key names, and the lines it writes for a
// form, its focus moves and text changes, and the open-file dialog.
#include <gtest/gtest.h>

#include "support/TranscriptSession.h"
#include "ui/Dialogs.h"

namespace {

using testing_support::TranscriptSession;

TEST(KeyNames, ParseWhatTheTranscriptReads) {
  struct Case {
    const char* name;
    ui::TKey key;
    ui::TShiftState shift;
  };
  for (const Case& c :
       {Case{"Enter", ui::vkReturn, ui::ssNone}, Case{"Space", ui::vkSpace, ui::ssNone},
        Case{"Tab", ui::vkTab, ui::ssNone}, Case{"Shift+Tab", ui::vkTab, ui::ssShift},
        Case{"Esc", ui::vkEscape, ui::ssNone}, Case{"Alt+F4", ui::vkF4, ui::ssAlt},
        Case{"Ctrl+C", 'C', ui::ssCtrl}, Case{" esc ", ui::vkEscape, ui::ssNone},
        Case{"ctrl+shift+c", 'C', ui::ssCtrl | ui::ssShift}, Case{"F12", 0x7B, ui::ssNone}}) {
    ui::TKeyEvent key;
    ASSERT_TRUE(ui::ParseKeyName(c.name, key)) << c.name;
    EXPECT_EQ(key.key, c.key) << c.name;
    EXPECT_EQ(key.shift, c.shift) << c.name;
    ui::TKeyEvent again;
    ASSERT_TRUE(ui::ParseKeyName(ui::KeyName(key), again)) << ui::KeyName(key);
    EXPECT_TRUE(again.Is(key.key, key.shift));
  }
  for (const char* bad : {"", "+", "Shift+", "Hyper+X", "F13", "F0", "Enterprise", "Ctrl+Ctrl"}) {
    ui::TKeyEvent key;
    EXPECT_FALSE(ui::ParseKeyName(bad, key)) << bad;
  }
}

class TTwoButtons : public ui::TForm {
 public:
  explicit TTwoButtons(ui::TComponent* owner) : ui::TForm(owner, "TwoButtons") {
    SetCaption("Caf\xE9 Setup");
    label = Create<ui::TLabel>("label");
    label->SetBounds(8, 8, 56, 13);
    label->SetCaption("&Target folder:");
    edit = Create<ui::TEdit>("edit");
    edit->SetBounds(72, 8, 409, 21);
    edit->SetText(
        "C:\\DONN\xC9"
        "ES");
    unnamed = Create<ui::TEdit>("unnamed");
    unnamed->SetBounds(72, 60, 100, 21);
    unnamed->SetEnabled(false);
    ok = Create<ui::TButton>("ok");
    ok->SetCaption("OK");
    ok->SetTabOrder(1);
    ok->SetBounds(8, 90, 75, 25);
    edit->SetTabOrder(0);
  }
  ui::TLabel* label;
  ui::TEdit* edit;
  ui::TEdit* unnamed;
  ui::TButton* ok;
};

TEST(Transcript, ShowsTheFormItsEditBoxesAndFocusMoves) {
  TranscriptSession session("");
  TTwoButtons form(nullptr);
  form.Show();
  form.KeyDown({ui::vkTab, ui::ssNone});
  form.KeyDown({ui::vkTab, ui::ssShift});
  const std::vector<std::string> expected = {"[window] Café Setup", "[target folder] C:\\DONNÉES",
                                             "[unnamed] ",          "[focus] target folder",
                                             "[focus] OK",          "[focus] target folder"};
  EXPECT_EQ(session.Lines(), expected);
}

TEST(Transcript, WritesAnEditBoxAgainOnlyWhenItsTextChanges) {
  TranscriptSession session("");
  TTwoButtons form(nullptr);
  form.edit->SetText("before showing");  // not shown yet: nothing written
  form.Show();
  const size_t shown = session.Lines().size();
  form.edit->SetText("C:\\PROGRAM FILES\\MEDISOFT\\");
  form.edit->SetText("C:\\PROGRAM FILES\\MEDISOFT\\");
  form.edit->SetEnabled(false);  // a state change alone writes nothing
  form.edit->SetText("line\r\nbreak\ttab");
  std::vector<std::string> lines = session.Lines();
  lines.erase(lines.begin(), lines.begin() + static_cast<ptrdiff_t>(shown));
  const std::vector<std::string> expected = {"[target folder] C:\\PROGRAM FILES\\MEDISOFT\\",
                                             "[focus] OK", "[target folder] line  break tab"};
  EXPECT_EQ(lines, expected);
}

TEST(Transcript, ReportsUnknownKeysAndSkipsBlankLines) {
  TranscriptSession session("\n   \nHyper+Q\r\nEnter\r\n");
  ui::ShowMessage("hello");
  EXPECT_EQ(session.Diagnostics(), "unknown key 'Hyper+Q' ignored\n");
  EXPECT_EQ(session.UnreadInput(), "");
}

TEST(Transcript, TheOpenDialogTakesAFileNameOrIsCancelled) {
  TranscriptSession session("C:\\Données\\app.exe\nEsc\n");
  ui::TOpenDialog dialog(nullptr, "dialog");
  dialog.SetTitle("Run");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(),
            "C:\\Donn\xE9"
            "es\\app.exe");
  EXPECT_FALSE(dialog.Execute());
  EXPECT_FALSE(dialog.Execute());  // the end of input cancels too
  EXPECT_EQ(session.Lines(), std::vector<std::string>(3, "[browse] Run"));
}

}  // namespace
