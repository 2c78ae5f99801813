// The shell launch and the system's error texts. Natively a stand-in `wine`
// on PATH records how it was started; the failure codes are the shell's.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "os/os.h"
#include "support/Corpus.h"
#include "support/Environment.h"

namespace {

using testing_support::UnderWindows;

// PATH limited to one scratch folder for the test, restored after.
class ScopedPath {
 public:
  ScopedPath() : path_("PATH", folder_.Native()) {}
  // An executable script of that name in the folder.
  void AddProgram(const std::string& name, const std::string& body) const {
    const std::string path = folder_.Native() + "/" + name;
    std::ofstream(path) << "#!/bin/sh\nPATH=/usr/bin:/bin\n" << body;
    ::chmod(path.c_str(), 0755);
  }
  const std::string& Folder() const { return folder_.Native(); }

 private:
  testing_support::ScratchFolder folder_;
  testing_support::ScopedEnvironment path_;
};

std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    if (text.str().find("end\n") != std::string::npos) return text.str();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "(never written)";
}

class ShellLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (UnderWindows()) GTEST_SKIP() << "these cases drive the stand-in's wine and xdg-open";
    program_ = work_.Native() + "/bin/CVCopyScr.EXE";
    std::filesystem::create_directories(work_.Native() + "/bin");
    std::ofstream(program_) << "MZ";
  }
  testing_support::ScratchFolder work_;
  std::string program_;
};

TEST_F(ShellLaunch, StartsAWindowsProgramWithWineAndDoesNotWait) {
  ScopedPath path;
  const std::string log = work_.Native() + "/wine.log";
  // The stand-in wine outlives the call: the launch must not wait for it.
  path.AddProgram("wine", "pwd -P > '" + log + ".tmp'\nfor a in \"$@\"; do echo \"[$a]\" >> '" +
                              log + ".tmp'; done\nsleep 2\necho end >> '" + log + ".tmp'\nmv '" +
                              log + ".tmp' '" + log + "'\n");
  const auto start = std::chrono::steady_clock::now();
  // The name differs from the file's in case only, as the installer spells it.
  const intptr_t result = os::ShellExecute("open", work_.Native() + "/BIN/CVCopyScr.exe",
                                           "-a \"two words\"", work_.Native(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_GT(result, 32);
  EXPECT_EQ(WaitForFile(log), work_.Native() + "\n[" + program_ + "]\n[-a]\n[two words]\nend\n");
}

TEST_F(ShellLaunch, OpensOtherFilesWithXdgOpen) {
  ScopedPath path;
  const std::string log = work_.Native() + "/open.log";
  path.AddProgram("xdg-open", "echo \"[$1]\" > '" + log + ".tmp'\necho end >> '" + log +
                                  ".tmp'\nmv '" + log + ".tmp' '" + log + "'\n");
  const std::string notes = work_.Native() + "/notes.txt";
  std::ofstream(notes) << "hello";
  EXPECT_GT(os::ShellExecute("", notes, "", "", 1), 32);
  EXPECT_EQ(WaitForFile(log), "[" + notes + "]\nend\n");
}

TEST_F(ShellLaunch, FailuresComeBackAsTheShellsCodes) {
  ScopedPath path;
  path.AddProgram("wine", "exit 0\n");
  EXPECT_EQ(os::ShellExecute("open", work_.Native() + "/bin/missing.exe", "", "", 1), 2);
  EXPECT_EQ(os::ShellExecute("open", work_.Native() + "/nowhere/CVCopyScr.exe", "", "", 1), 3);
  EXPECT_EQ(os::ShellExecute("open", "", "", "", 1), 2);
  EXPECT_EQ(os::ShellExecute("open", program_, "", work_.Native() + "/nowhere", 1), 3);
  EXPECT_EQ(os::ShellExecute("frobnicate", program_, "", "", 1), 31);
  // No xdg-open on PATH: nothing is associated with a text file.
  const std::string notes = work_.Native() + "/notes.txt";
  std::ofstream(notes) << "hello";
  EXPECT_EQ(os::ShellExecute("open", notes, "", "", 1), 31);
}

TEST_F(ShellLaunch, WithoutWineAProgramHasNoAssociation) {
  ScopedPath path;
  EXPECT_EQ(os::ShellExecute("open", program_, "", "", 1), 31);
  // A wine that cannot be executed is reported, not waited for.
  path.AddProgram("wine", "exit 0\n");
  ::chmod((path.Folder() + "/wine").c_str(), 0644);
  EXPECT_EQ(os::ShellExecute("open", program_, "", "", 1), 31);
}

TEST(ShellWindowsLaunch, AMissingProgramIsFileNotFound) {
  if (!UnderWindows()) GTEST_SKIP() << "the real shell only";
  testing_support::ScratchFolder folder;
  EXPECT_EQ(os::ShellExecute("open", folder.Program() + "\\missing.exe", "", "", 1), 2);
}

TEST(SystemErrorText, TheShellsCodesHaveTheSystemsTexts) {
  for (uint32_t code = 0; code <= 32; ++code) {
    const std::string text = os::SystemErrorMessage(code);
    EXPECT_GT(text.size(), 3u) << code;
    EXPECT_TRUE(text.ends_with(".\r\n")) << code << ": " << text;
  }
  EXPECT_EQ(os::SystemErrorMessage(0xFFFFFFFFu), "");
  if (UnderWindows()) return;  // the exact words are the system's own
  // Wine's English texts, which the Win32 build shows under Wine.
  EXPECT_EQ(os::SystemErrorMessage(2), "File not found.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(3), "Path not found.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(5), "Access denied.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(16), "Can't delete current directory.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(31), "General failure.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(32), "Sharing violation.\r\n");
  EXPECT_EQ(os::SystemErrorMessage(35), "");
  EXPECT_EQ(os::SystemErrorMessage(1155), "No associated application.\r\n");
}

}  // namespace
