// The run action: its published defaults, the rule that enables it, the shell
// request it makes, and how a failed start is reported.
#include <gtest/gtest.h>

#include "os/os.h"
#include "rtl/Exception.h"
#include "support/TranscriptSession.h"
#include "ui/ActnList.h"

namespace {

using testing_support::TranscriptSession;
using ui::TShowCmd;

// A main form holding an action list and a run action whose shell calls are
// recorded instead of made.
class TRunForm : public ui::TForm {
 public:
  explicit TRunForm(ui::TComponent* owner) : ui::TForm(owner, "RunForm") {
    SetCaption("Run Form");
    button = Create<ui::TButton>("button");
    button->SetCaption("Go");
    button->SetTabOrder(0);
    list = Create<ui::TActionManager>("list");
    run = Create<ui::TFileRun>("run");
    run->SetActionList(list);
    run->ShellCall = [this](const ui::TShellRequest& request) {
      requests.push_back(request);
      return answer;
    };
  }
  ui::TButton* button;
  ui::TActionManager* list;
  ui::TFileRun* run;
  std::vector<ui::TShellRequest> requests;
  intptr_t answer = 42;
};

class FileRunTest : public ::testing::Test {
 protected:
  TRunForm& Start(const std::string& keys = "") {
    session_ = std::make_unique<TranscriptSession>(keys);
    ui::Application.CreateForm(form_);
    return *form_;
  }
  std::unique_ptr<TranscriptSession> session_;
  TRunForm* form_ = nullptr;
};

TEST(FileRun, StartsWithItsPublishedDefaults) {
  ui::TFileRun run(nullptr, "FileRun1");
  EXPECT_EQ(run.Operation(), "open");
  EXPECT_EQ(run.FileName(), "");
  EXPECT_EQ(run.Parameters(), "");
  EXPECT_EQ(run.Directory(), "");
  EXPECT_EQ(run.ShowCmd(), TShowCmd::scShowNormal);
  EXPECT_FALSE(run.Browse());
  ASSERT_NE(run.BrowseDlg(), nullptr);
  EXPECT_EQ(run.BrowseDlg()->Title(), "Run");
  EXPECT_EQ(run.BrowseDlg()->Owner(), &run);
  EXPECT_EQ(run.ParentControl(), nullptr);
  EXPECT_EQ(run.ParentWindow(), 0u);
  EXPECT_TRUE(run.Enabled());
  EXPECT_EQ(run.ShellResult(), 0);
}

TEST(FileRun, ShowCommandsMapToTheShellsNumbers) {
  const std::pair<TShowCmd, int> table[] = {{TShowCmd::scHide, 0},
                                            {TShowCmd::scMaximize, 3},
                                            {TShowCmd::scMinimize, 6},
                                            {TShowCmd::scRestore, 9},
                                            {TShowCmd::scShow, 5},
                                            {TShowCmd::scShowDefault, 10},
                                            {TShowCmd::scShowMaximized, 3},
                                            {TShowCmd::scShowMinimized, 2},
                                            {TShowCmd::scShowMinNoActive, 7},
                                            {TShowCmd::scShowNA, 8},
                                            {TShowCmd::scShowNoActivate, 4},
                                            {TShowCmd::scShowNormal, 1}};
  for (const auto& [showCmd, number] : table) {
    EXPECT_EQ(ui::ShowCommandOf(showCmd), number) << static_cast<int>(showCmd);
  }
}

TEST_F(FileRunTest, AnEmptyFileNameWithoutBrowsingStartsNothingAndSaysNothing) {
  TRunForm& form = Start();
  EXPECT_FALSE(form.run->Run());
  EXPECT_FALSE(form.run->Enabled());
  EXPECT_TRUE(form.requests.empty());
  EXPECT_TRUE(session_->Lines().empty());
}

TEST_F(FileRunTest, AsksTheShellToOpenTheFileShownNormally) {
  TRunForm& form = Start();
  form.run->SetFileName("C:\\MEDISOFT\\bin\\CVCopyScr.exe");
  EXPECT_TRUE(form.run->Run());
  ASSERT_EQ(form.requests.size(), 1u);
  const ui::TShellRequest& request = form.requests[0];
  EXPECT_EQ(request.operation, "open");
  EXPECT_EQ(request.file, "C:\\MEDISOFT\\bin\\CVCopyScr.exe");
  EXPECT_EQ(request.parameters, "");
  EXPECT_EQ(request.directory, "");
  EXPECT_EQ(request.showCommand, 1);
  EXPECT_EQ(form.run->ShellResult(), 42);
  EXPECT_TRUE(session_->Lines().empty());
}

TEST_F(FileRunTest, PassesItsOtherPropertiesThrough) {
  TRunForm& form = Start();
  form.run->SetOperation("edit");
  form.run->SetFileName("notes.txt");
  form.run->SetParameters("/p");
  form.run->SetDirectory("C:\\Work");
  form.run->SetShowCmd(TShowCmd::scShowMinNoActive);
  EXPECT_TRUE(form.run->Run());
  ASSERT_EQ(form.requests.size(), 1u);
  EXPECT_EQ(form.requests[0].operation, "edit");
  EXPECT_EQ(form.requests[0].parameters, "/p");
  EXPECT_EQ(form.requests[0].directory, "C:\\Work");
  EXPECT_EQ(form.requests[0].showCommand, 7);
}

TEST_F(FileRunTest, ASuspendedListRunsNothing) {
  TRunForm& form = Start();
  form.run->SetFileName("x.exe");
  form.list->SetSuspended(true);
  EXPECT_FALSE(form.run->Run());
  EXPECT_TRUE(form.requests.empty());
}

TEST_F(FileRunTest, AShellFailureIsShownWithTheSystemTextAndRunReturnsFalse) {
  TRunForm& form = Start("Enter\n");
  form.run->SetFileName("C:\\MEDISOFT\\bin\\CVCopyScr.exe");
  form.answer = 2;
  EXPECT_FALSE(form.run->Run());
  EXPECT_EQ(form.requests.size(), 1u);
  EXPECT_EQ(form.run->ShellResult(), 2);
  const std::string text = ui::TrimmedSystemErrorMessage(2);
  EXPECT_FALSE(text.empty());
  // No file name and no verb are added; the box appends its full stop.
  EXPECT_EQ(session_->Lines(),
            std::vector<std::string>{"[error] unit_tests: " + ui::ErrorBoxText(text)});
  EXPECT_EQ(session_->UnreadInput(), "");
}

TEST_F(FileRunTest, OnlyResultsOf32OrLessAreFailures) {
  TRunForm& form = Start();
  form.run->SetFileName("x.exe");
  form.answer = 33;
  EXPECT_TRUE(form.run->Run());
  form.answer = -1;  // taken as unsigned: far above 32
  EXPECT_TRUE(form.run->Run());
  form.answer = 0;
  EXPECT_FALSE(form.run->Run());
  EXPECT_EQ(session_->Lines().size(), 1u);
}

TEST_F(FileRunTest, AnErrorOutOfTheShellCallIsShownByTheApplication) {
  TRunForm& form = Start();
  form.run->SetFileName("x.exe");
  form.run->ShellCall = [](const ui::TShellRequest&) -> intptr_t {
    throw rtl::Exception("Out of handles");
  };
  EXPECT_FALSE(form.run->Run());
  EXPECT_EQ(session_->Lines(), std::vector<std::string>{"[error] unit_tests: Out of handles."});
}

TEST_F(FileRunTest, BrowsingAsksForTheFileAndACancelIsNoError) {
  TRunForm& form = Start("C:\\Tools\\app.exe\nEsc\n");
  form.run->SetBrowse(true);
  form.run->SetFileName("ignored.exe");
  EXPECT_TRUE(form.run->Run());
  ASSERT_EQ(form.requests.size(), 1u);
  EXPECT_EQ(form.requests[0].file, "C:\\Tools\\app.exe");
  EXPECT_TRUE(form.run->Run());  // cancelled: true, nothing started
  EXPECT_EQ(form.requests.size(), 1u);
  EXPECT_EQ(session_->Lines(), std::vector<std::string>(2, "[browse] Run"));
}

TEST(TrimSystemMessage, DropsTrailingBlanksControlsAndFullStops) {
  EXPECT_EQ(ui::TrimSystemMessage("File not found.\r\n"), "File not found");
  EXPECT_EQ(ui::TrimSystemMessage("Wait... \t\r\n"), "Wait");
  EXPECT_EQ(ui::TrimSystemMessage("v1.2 ok"), "v1.2 ok");
  EXPECT_EQ(ui::TrimSystemMessage(" . .\r\n"), "");
  EXPECT_EQ(ui::TrimSystemMessage(""), "");
}

TEST(TrimSystemMessage, OfTheSystemsOwnTextLeavesAPrefixOfIt) {
  const std::string raw = os::SystemErrorMessage(2);
  const std::string trimmed = ui::TrimmedSystemErrorMessage(2);
  ASSERT_FALSE(trimmed.empty());
  EXPECT_EQ(raw.compare(0, trimmed.size(), trimmed), 0);
  EXPECT_EQ(raw.find_first_not_of(". \r\n\t", trimmed.size()), std::string::npos);
}

}  // namespace
