// The install window as designed, its keyboard, Exit, the hook for the
// install procedure, and FormShow against a registry of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "installer/Unit1.h"
#include "os/os.h"
#include "rtl/Exception.h"
#include "rtl/Stream.h"
#include "support/Corpus.h"
#include "support/TestRegistry.h"
#include "support/TranscriptSession.h"

namespace {

using installer::Form1;
using testing_support::TranscriptSession;

constexpr char kAccounting[] = "Medisoft\\Patient Accounting";

class Unit1Test : public ::testing::Test {
 protected:
  void Start(const std::string& keys = "") {
    session_.reset();  // the old session puts its presenter back first
    session_ = std::make_unique<TranscriptSession>(keys);
    ui::Application.CreateForm(Form1);
  }
  testing_support::TestRegistry registry_;
  std::unique_ptr<TranscriptSession> session_;
};

TEST_F(Unit1Test, TheWindowIsAsDesigned) {
  Start();
  const installer::TForm1& form = *Form1;
  EXPECT_EQ(ui::Application.MainForm(), Form1);
  EXPECT_EQ(form.Name(), "Form1");
  EXPECT_EQ(form.Caption(), "Tessaline Install");
  EXPECT_EQ(form.ClientWidth(), 492);
  EXPECT_EQ(form.ClientHeight(), 80);
  EXPECT_EQ(form.BorderStyle(), ui::TFormBorderStyle::bsDialog);
  EXPECT_EQ(form.BorderIcons(), ui::biSystemMenu);
  EXPECT_EQ(form.Placement(), ui::TPosition::poScreenCenter);
  EXPECT_EQ(form.ColorIndex(), ui::clBtnFaceIndex);
  EXPECT_EQ(form.Font().name, "MS Sans Serif");
  EXPECT_EQ(form.Font().height, -11);
  EXPECT_FALSE(form.Font().bold);
  EXPECT_EQ(form.DesignPixelsPerInch(), 96);
  EXPECT_EQ(form.DesignTextHeight(), 13);
  EXPECT_FALSE(form.Visible());
}

TEST_F(Unit1Test, TheControlsAreAsDesignedInDeclarationOrder) {
  Start();
  struct Expected {
    ui::TControl* control;
    const char* name;
    ui::TControlKind kind;
    int left, top, width, height;
    const char* caption;
    int tabOrder;
    bool enabled;
  };
  const Expected expected[] = {
      {Form1->Button1, "Button1", ui::TControlKind::Button, 96, 40, 75, 25, "Install", 0, true},
      {Form1->Label2, "Label2", ui::TControlKind::Label, 8, 8, 56, 13, "Destination:", -1, true},
      {Form1->edtDestPath, "edtDestPath", ui::TControlKind::Edit, 72, 8, 409, 21, "", 1, false},
      {Form1->Button2, "Button2", ui::TControlKind::Button, 8, 40, 75, 25, "Exit", 2, true},
  };
  const std::vector<ui::TControl*> controls = Form1->Controls();
  ASSERT_EQ(controls.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(controls[i], e.control);
    EXPECT_EQ(e.control->Name(), e.name);
    EXPECT_EQ(e.control->Kind(), e.kind);
    EXPECT_EQ(e.control->Left(), e.left);
    EXPECT_EQ(e.control->Top(), e.top);
    EXPECT_EQ(e.control->Width(), e.width);
    EXPECT_EQ(e.control->Height(), e.height);
    EXPECT_EQ(e.control->Caption(), e.caption);
    EXPECT_EQ(e.control->TabOrder(), e.tabOrder);
    EXPECT_EQ(e.control->Enabled(), e.enabled);
    EXPECT_TRUE(e.control->Visible());
  }
  EXPECT_TRUE(Form1->Button2->Cancel());
  EXPECT_FALSE(Form1->Button1->Cancel());
  EXPECT_FALSE(Form1->Button1->Default());
  EXPECT_FALSE(Form1->Button2->Default());
  // Then the two non-visual components.
  const auto& components = Form1->Components();
  ASSERT_EQ(components.size(), 6u);
  EXPECT_EQ(components[4].get(), Form1->ActionManager1);
  EXPECT_EQ(components[5].get(), Form1->FileRun1);
}

TEST_F(Unit1Test, TheRunActionIsAsDesigned) {
  Start();
  // What the design sets beyond the action's own defaults.
  const ui::TFileRun& run = *Form1->FileRun1;
  EXPECT_EQ(run.ActionList(), Form1->ActionManager1);
  EXPECT_EQ(run.Caption(), "&Run...");
  EXPECT_EQ(run.Hint(), "Run|Runs an application");
  EXPECT_EQ(run.Category(), "File");
  EXPECT_EQ(run.Operation(), "open");
  EXPECT_EQ(run.FileName(), "");
  EXPECT_EQ(run.ShowCmd(), ui::TShowCmd::scShowNormal);
  EXPECT_EQ(run.BrowseDlg()->Title(), "Run");
}

TEST_F(Unit1Test, ShowingFocusesInstallAndShowsTheDefaultFolderUnchanged) {
  Start("Tab\nShift+Tab\nEnter\n");
  int installs = 0;
  Form1->InstallProcedure = [&] {
    ++installs;
    ui::Application.Terminate();
  };
  ui::Application.Run();
  EXPECT_EQ(installs, 1);
  const std::vector<std::string> expected = {"[window] Tessaline Install",
                                             "[destination] C:\\Program Files\\Medisoft",
                                             "[focus] Install", "[focus] Exit", "[focus] Install"};
  EXPECT_EQ(session_->Lines(), expected);
}

TEST_F(Unit1Test, EscEndsTheProgramEvenWithInstallFocused) {
  Start("Esc\nEnter\n");
  int installs = 0;
  Form1->InstallProcedure = [&] { ++installs; };
  ui::Application.Run();
  EXPECT_EQ(installs, 0);
  EXPECT_EQ(session_->UnreadInput(), "Enter\n");
  EXPECT_EQ(ui::Application.ExitCode(), 0);
}

TEST_F(Unit1Test, ExitAndAltF4EndTheProgramWithoutInstalling) {
  for (const char* keys : {"Tab\nSpace\nEnter\n", "Alt+F4\nEnter\n", "Tab\nEnter\nEnter\n"}) {
    Start(keys);
    int installs = 0;
    Form1->InstallProcedure = [&] { ++installs; };
    ui::Application.Run();
    EXPECT_EQ(installs, 0) << keys;
    EXPECT_EQ(session_->UnreadInput(), "Enter\n") << keys;
  }
}

TEST_F(Unit1Test, InstallOnAnExecutableWithoutPayloadReportsIt) {
  // The test program carries no archive: the folders are made, then opening
  // it as the payload fails into the error box and the window stays open.
  testing_support::ScratchFolder folder;
  registry_.Set(kAccounting, "Program Path", "REG_SZ", folder.Program());
  Start("Enter\nEnter\n");
  ui::Application.Run();
  const std::string title = ui::Application.Title();
  ASSERT_FALSE(session_->Lines().empty());
  EXPECT_EQ(session_->Lines().back(), "[error] " + title + ": Invalid file - not a PKZip file.");
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native() + "/bin/temp"));
}

TEST(InstallFolders, AreMadeBelowWhatTheDestinationStandsOn) {
  testing_support::ScratchFolder scratch;
  installer::ForceDirectories(scratch.Program() + "\\DEST\\bin\\temp");
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native() + "/DEST/bin/temp"));
  installer::ForceDirectories(scratch.Program() + "\\DEST\\bin\\temp");  // there already
  // A relative destination (an empty one included) whose first folder is
  // missing has nothing to build on.
  for (const std::string relative : {"", "no-such-destination\\bin\\temp"}) {
    try {
      installer::ForceDirectories(relative);
      ADD_FAILURE() << "no error for '" << relative << "'";
    } catch (const rtl::EInOutError& error) {
      EXPECT_EQ(error.Message(), "Unable to create directory");
    }
  }
  EXPECT_FALSE(std::filesystem::exists("no-such-destination"));
  // A first folder of one or two characters is taken as there: the walk
  // stops at it without an error, and what cannot be made is not made.
  installer::ForceDirectories("q\\bin\\temp");
  EXPECT_FALSE(std::filesystem::exists("q"));
}

// The add-on of an earlier install is replaced in one step, read-only or
// not; when the step fails the old one stays as it was and the caller hears
// of it, so that no install leaves the practice without an add-on.
TEST(AddOnReplacement, ReplacesOrLeavesTheOldOneAsItWas) {
  testing_support::ScratchFolder scratch;
  const std::string unpacked = scratch.Program() + "\\new.exe";
  const std::string installed = scratch.Program() + "\\CVCopyScr.EXE";
  const auto write = [](const std::string& native, const char* text) {
    std::ofstream(native, std::ios::binary) << text;
  };
  const auto read = [](const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  write(scratch.Native() + "/new.exe", "new");
  write(scratch.Native() + "/CVCopyScr.EXE", "old");
  ASSERT_TRUE(os::SetFileAttributes(installed, os::faReadOnly | os::faArchive));
  installer::ReplaceAddOn(unpacked, installed);
  EXPECT_EQ(read(scratch.Native() + "/CVCopyScr.EXE"), "new");
  EXPECT_FALSE(std::filesystem::exists(scratch.Native() + "/new.exe"));

  // A folder in the way.
  write(scratch.Native() + "/new.exe", "new");
  const std::string folder = scratch.Program() + "\\Folder.EXE";
  ASSERT_TRUE(os::MakeDirectory(folder));
  EXPECT_THROW(installer::ReplaceAddOn(unpacked, folder), rtl::EInOutError);
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native() + "/Folder.EXE"));
  EXPECT_EQ(read(scratch.Native() + "/new.exe"), "new");
#ifdef _WIN32
  // A running add-on holds its file open: the old one keeps its bytes and
  // its read-only bit.
  write(scratch.Native() + "/CVCopyScr.EXE", "old");
  ASSERT_TRUE(os::SetFileAttributes(installed, os::faReadOnly));
  {
    rtl::TFileStream running(installed, rtl::fmOpenRead | rtl::fmShareExclusive);
    EXPECT_THROW(installer::ReplaceAddOn(unpacked, installed), rtl::EInOutError);
  }
  EXPECT_EQ(os::FileAttributes(installed) & os::faReadOnly, uint32_t{os::faReadOnly});
  EXPECT_EQ(read(scratch.Native() + "/CVCopyScr.EXE"), "old");
  os::SetFileAttributes(installed, os::faNormal);
#endif
}

TEST_F(Unit1Test, AnErrorOutOfInstallLeavesTheWindowOpen) {
  Start("Enter\nEnter\nEnter\nEsc\n");
  int installs = 0;
  Form1->InstallProcedure = [&] {
    ++installs;
    throw rtl::Exception("Unable to create directory");
  };
  ui::Application.Run();
  EXPECT_EQ(installs, 2);  // each error box took one Enter
  const std::string title = ui::Application.Title();
  EXPECT_EQ(session_->Lines().back(), "[error] " + title + ": Unable to create directory.");
}

TEST_F(Unit1Test, FormShowPutsTheRegistrysFolderInAsRead) {
  registry_.Set(kAccounting, "Program Path", "REG_SZ", "d:\\medisoft");
  Start();
  ui::Application.ShowMainForm();
  EXPECT_EQ(Form1->edtDestPath->Text(), "d:\\medisoft");
}

TEST_F(Unit1Test, ANumericProgramPathGivesTheErrorBoxAndAnEmptyDestination) {
  registry_.Set(kAccounting, "Program Path", "REG_DWORD", "10");
  Start("Enter\n");
  ui::Application.ShowMainForm();
  const std::string title = ui::Application.Title();
  const std::vector<std::string> expected = {
      "[error] " + title + ": Invalid data type for 'Program Path'", "[window] Tessaline Install",
      "[destination] ", "[focus] Install"};
  EXPECT_EQ(session_->Lines(), expected);
  EXPECT_EQ(Form1->edtDestPath->Text(), "");
}

}  // namespace
