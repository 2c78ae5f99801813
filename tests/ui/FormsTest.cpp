// The form's focus and keyboard rules, scaling and placement, and the
// application's message loop, on a form laid out like the install window.
#include <gtest/gtest.h>

#include <stdexcept>

#include "rtl/Exception.h"
#include "support/TranscriptSession.h"

namespace {

using testing_support::TranscriptSession;
using ui::TKeyEvent;

// Go (tab order 0), a disabled edit box (1), Stop (2, the cancel button).
class TTestForm : public ui::TForm {
 public:
  explicit TTestForm(ui::TComponent* owner) : ui::TForm(owner, "TestForm") {
    SetCaption("Test Window");
    SetClientSize(492, 80);
    go = Create<ui::TButton>("go");
    go->SetBounds(96, 40, 75, 25);
    go->SetCaption("Go");
    go->SetTabOrder(0);
    go->OnClick = [this](ui::TObject* sender) {
      ++goPresses;
      lastSender = sender;
      if (goThrows) throw rtl::Exception("Go failed");
    };
    label = Create<ui::TLabel>("label");
    label->SetBounds(8, 8, 56, 13);
    label->SetCaption("Folder:");
    edit = Create<ui::TEdit>("edit");
    edit->SetBounds(72, 8, 409, 21);
    edit->SetEnabled(false);
    edit->SetTabOrder(1);
    stop = Create<ui::TButton>("stop");
    stop->SetBounds(8, 40, 75, 25);
    stop->SetCaption("Stop");
    stop->SetTabOrder(2);
    stop->SetCancel(true);
    stop->OnClick = [this](ui::TObject*) {
      ++stopPresses;
      ui::Application.Terminate();
    };
  }
  ui::TButton* go;
  ui::TLabel* label;
  ui::TEdit* edit;
  ui::TButton* stop;
  int goPresses = 0, stopPresses = 0;
  bool goThrows = false;
  ui::TObject* lastSender = nullptr;
};

class FormsTest : public ::testing::Test {
 protected:
  // Creates the form as the main form and shows it, keys taken from `keys`.
  TTestForm& Start(const std::string& keys = "") {
    session_ = std::make_unique<TranscriptSession>(keys);
    ui::Application.CreateForm(form_);
    form_->Show();
    return *form_;
  }
  std::unique_ptr<TranscriptSession> session_;
  TTestForm* form_ = nullptr;
};

TEST_F(FormsTest, ShowingPutsTheFocusOnTheFirstButtonPastTheDisabledEdit) {
  TTestForm& form = Start();
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(form.ActiveControl(), form.go);
  EXPECT_FALSE(form.edit->CanFocus());
  EXPECT_EQ(form.DefaultButton(), form.go);
  EXPECT_EQ(form.LabelFor(*form.edit), form.label);
}

TEST_F(FormsTest, TabAndShiftTabMoveBetweenTheButtonsOnly) {
  TTestForm& form = Start();
  form.KeyDown({ui::vkTab, ui::ssNone});
  EXPECT_EQ(form.ActiveControl(), form.stop);
  form.KeyDown({ui::vkTab, ui::ssNone});
  EXPECT_EQ(form.ActiveControl(), form.go);
  form.KeyDown({ui::vkTab, ui::ssShift});
  EXPECT_EQ(form.ActiveControl(), form.stop);
  form.KeyDown({ui::vkTab, ui::ssShift});
  EXPECT_EQ(form.ActiveControl(), form.go);
  // An enabled edit box takes its place in the sequence again.
  form.edit->SetEnabled(true);
  form.KeyDown({ui::vkTab, ui::ssNone});
  EXPECT_EQ(form.ActiveControl(), form.edit);
}

TEST_F(FormsTest, EnterAndSpacePressTheFocusedButton) {
  TTestForm& form = Start();
  EXPECT_TRUE(form.KeyDown({ui::vkReturn, ui::ssNone}));
  EXPECT_EQ(form.goPresses, 1);
  EXPECT_EQ(form.lastSender, form.go);
  EXPECT_TRUE(form.KeyDown({ui::vkSpace, ui::ssNone}));
  EXPECT_EQ(form.goPresses, 2);
  form.KeyDown({ui::vkTab, ui::ssNone});
  form.KeyDown({ui::vkReturn, ui::ssNone});
  EXPECT_EQ(form.goPresses, 2);
  EXPECT_EQ(form.stopPresses, 1);
}

TEST_F(FormsTest, EscPressesTheCancelButtonOnlyWithoutModifiers) {
  TTestForm& form = Start();
  for (ui::TShiftState shift : {ui::ssShift, ui::ssCtrl, ui::ssAlt}) {
    EXPECT_FALSE(form.KeyDown({ui::vkEscape, shift}));
  }
  EXPECT_EQ(form.stopPresses, 0);
  EXPECT_FALSE(ui::Application.Terminated());
  // The focus is on Go, yet Esc presses Stop.
  EXPECT_TRUE(form.KeyDown({ui::vkEscape, ui::ssNone}));
  EXPECT_EQ(form.stopPresses, 1);
  EXPECT_EQ(form.goPresses, 0);
  EXPECT_TRUE(ui::Application.Terminated());
}

TEST_F(FormsTest, AltF4ClosesTheMainFormAsATerminateRequest) {
  TTestForm& form = Start();
  EXPECT_FALSE(form.KeyDown({ui::vkF4, ui::ssNone}));
  EXPECT_FALSE(ui::Application.Terminated());
  EXPECT_TRUE(form.KeyDown({ui::vkF4, ui::ssAlt}));
  EXPECT_TRUE(ui::Application.Terminated());
  EXPECT_EQ(form.stopPresses, 0);  // closing is not a press of the cancel button
}

TEST_F(FormsTest, ClosingAFormThatIsNotTheMainOneOnlyHidesIt) {
  Start();
  TTestForm second(nullptr);
  second.Show();
  second.Close();
  EXPECT_FALSE(second.Visible());
  EXPECT_FALSE(ui::Application.Terminated());
}

TEST_F(FormsTest, DisabledButtonsAreNeitherFocusedNorPressed) {
  TTestForm& form = Start();
  form.go->SetEnabled(false);
  // The focus leaves a control that can no longer take it.
  EXPECT_EQ(form.ActiveControl(), form.stop);
  form.KeyDown({ui::vkTab, ui::ssNone});
  EXPECT_EQ(form.ActiveControl(), form.stop);
  form.go->Click();
  EXPECT_EQ(form.goPresses, 0);
}

TEST_F(FormsTest, TheLoopShowsTheFormAndEndsOnTheTerminateRequest) {
  // Keys after the terminate request are never read.
  session_ = std::make_unique<TranscriptSession>("Tab\nEnter\nEnter\n");
  TTestForm* form = nullptr;
  ui::Application.CreateForm(form);
  int stopPresses = 0;
  form->stop->OnClick = [&](ui::TObject*) {
    ++stopPresses;
    ui::Application.Terminate();
  };
  ui::Application.Run();
  EXPECT_EQ(stopPresses, 1);
  EXPECT_EQ(ui::Application.MainForm(), nullptr);
  EXPECT_EQ(session_->UnreadInput(), "Enter\n");
  EXPECT_EQ(ui::Application.ExitCode(), 0);
}

TEST_F(FormsTest, TheEndOfInputClosesTheWindow) {
  session_ = std::make_unique<TranscriptSession>("Tab\n");
  TTestForm* form = nullptr;
  ui::Application.CreateForm(form);
  int stops = 0;
  form->stop->OnClick = [&](ui::TObject*) { ++stops; };
  ui::Application.Run();
  EXPECT_EQ(stops, 0);
  const std::vector<std::string> expected = {"[window] Test Window", "[folder] ", "[focus] Go",
                                             "[focus] Stop"};
  EXPECT_EQ(session_->Lines(), expected);
}

TEST_F(FormsTest, AnErrorOutOfAHandlerIsShownAndTheLoopGoesOn) {
  session_ = std::make_unique<TranscriptSession>("Enter\nEsc\nEnter\nEsc\n");
  TTestForm* form = nullptr;
  ui::Application.CreateForm(form);
  form->goThrows = true;
  ui::Application.Run();
  const std::string title = ui::Application.Title();
  // Each error box takes its own key (Esc closes the box, not the window); the
  // end of input then closes the window.
  const std::vector<std::string> expected = {"[window] Test Window", "[folder] ", "[focus] Go",
                                             "[error] " + title + ": Go failed.",
                                             "[error] " + title + ": Go failed."};
  EXPECT_EQ(session_->Lines(), expected);
  EXPECT_TRUE(session_->UnreadInput().empty());
}

TEST_F(FormsTest, AnErrorWhileShowingIsShownAndTheFormStillComesUp) {
  session_ = std::make_unique<TranscriptSession>("Enter\n");
  TTestForm* form = nullptr;
  ui::Application.CreateForm(form);
  form->OnShow = [](ui::TObject*) { throw rtl::Exception("Invalid data type for 'Program Path'"); };
  form->Show();
  const std::vector<std::string> expected = {
      "[error] " + ui::Application.Title() + ": Invalid data type for 'Program Path'",
      "[window] Test Window", "[folder] ", "[focus] Go"};
  EXPECT_EQ(session_->Lines(), expected);
  EXPECT_TRUE(form->Visible());
}

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
  EXPECT_EQ(ui::MulDiv(5, 1, 2), 3);
  EXPECT_EQ(ui::MulDiv(-5, 1, 2), -3);
  EXPECT_EQ(ui::MulDiv(5, -1, 2), -3);
  EXPECT_EQ(ui::MulDiv(7, 3, 4), 5);  // 5.25
  EXPECT_EQ(ui::MulDiv(-11, 120, 96), -14);
  EXPECT_EQ(ui::MulDiv(100000, 100000, 100000), 100000);  // the product needs 64 bits
  EXPECT_EQ(ui::MulDiv(7, 1, 0), -1);
}

TEST(FormGeometry, ScalingLeavesTheDesignAloneAtItsOwnResolution) {
  TTestForm form(nullptr);
  form.ScaleForScreen(96, [](const ui::TFont& font) { return font.height == -11 ? 13 : 0; });
  EXPECT_EQ(form.Font().height, -11);
  EXPECT_EQ(form.ClientWidth(), 492);
  EXPECT_EQ(form.edit->Left(), 72);
  EXPECT_EQ(form.edit->Width(), 409);
}

TEST(FormGeometry, ScalingFollowsTheResolutionAndTheMeasuredTextHeight) {
  TTestForm form(nullptr);
  int measuredFontHeight = 0;
  form.ScaleForScreen(120, [&](const ui::TFont& font) {
    measuredFontHeight = font.height;
    return 16;
  });
  EXPECT_EQ(measuredFontHeight, -14);
  EXPECT_EQ(form.ClientWidth(), 606);  // 492 * 16 / 13 = 605.5
  EXPECT_EQ(form.ClientHeight(), 98);  // 98.46
  EXPECT_EQ(form.edit->Left(), 89);
  EXPECT_EQ(form.edit->Top(), 10);
  EXPECT_EQ(form.edit->Width(), 503);
  EXPECT_EQ(form.edit->Height(), 26);
  EXPECT_EQ(form.stop->Top(), 49);
  // The same text height again changes nothing further.
  form.ScaleForScreen(120, [](const ui::TFont&) { return 16; });
  EXPECT_EQ(form.ClientWidth(), 606);
}

TEST(FormGeometry, CentringCountsTheFrameAndDoesNotClamp) {
  TTestForm form(nullptr);
  form.PlaceCentred(1024, 768, 6, 25);
  EXPECT_EQ(form.Left(), 263);  // (1024 - 498) div 2
  EXPECT_EQ(form.Top(), 331);   // (768 - 105) div 2
  form.PlaceCentred(400, 60, 6, 25);
  EXPECT_EQ(form.Left(), -49);
  EXPECT_EQ(form.Top(), -22);  // -45 div 2 truncates toward zero
}

}  // namespace
