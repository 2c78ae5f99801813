// The installer's shared unit: the host lookups with their defaults and
// errors against a fresh registry (a user.reg of our own natively, the test
// prefix's real registry through reg.exe under Wine), the folder normaliser,
// and the version query on real PE files.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "installer/Corvelle.h"
#include "os/os.h"
#include "support/Corpus.h"
#include "support/TestRegistry.h"
#include "ui/Forms.h"

namespace {

using testing_support::UnderWindows;

constexpr char kAccounting[] = "Medisoft\\Patient Accounting";

std::string RegistryError(const std::function<void()>& lookup) {
  try {
    lookup();
  } catch (const installer::ERegistryException& error) {
    return error.Message();
  }
  return "(no error)";
}

TEST(CorvelleLookup, MissingKeysAndValuesGiveTheDefaults) {
  testing_support::TestRegistry registry;
  EXPECT_EQ(installer::GetProgramPath(), "C:\\Program Files\\Medisoft");
  EXPECT_EQ(installer::GetRootDataPath(), "");
  // The keys exist but hold other values.
  registry.Set(kAccounting, "Other", "REG_SZ", "x");
  registry.Set("Medisoft", "Other", "REG_SZ", "y");
  EXPECT_EQ(installer::GetProgramPath(), "C:\\Program Files\\Medisoft");
  EXPECT_EQ(installer::GetRootDataPath(), "");
}

TEST(CorvelleLookup, ReturnsTheStoredTextsUnchanged) {
  testing_support::TestRegistry registry;
  registry.Set(kAccounting, "Program Path", "REG_SZ", "d:\\medisoft");
  // cmd.exe would expand the reference before reg.exe stores it.
  const std::string root = UnderWindows() ? "E:\\Medidata" : "%USERPROFILE%\\Medidata";
  registry.Set("Medisoft", "Root Data Path", "REG_EXPAND_SZ", root);
  EXPECT_EQ(installer::GetProgramPath(), "d:\\medisoft");
  EXPECT_EQ(installer::GetRootDataPath(), root);
  EXPECT_EQ(installer::NormalizeFolder(installer::GetProgramPath()), "D:\\MEDISOFT\\");
}

TEST(CorvelleLookup, AnEmptyProgramPathGivesTheDefaultButAnEmptyRootStaysEmpty) {
  testing_support::TestRegistry registry;
  registry.Set(kAccounting, "Program Path", "REG_SZ", "");
  registry.Set("Medisoft", "Root Data Path", "REG_SZ", "");
  EXPECT_EQ(installer::GetProgramPath(), "C:\\Program Files\\Medisoft");
  EXPECT_EQ(installer::GetRootDataPath(), "");
}

TEST(CorvelleLookup, ValuesThatAreNotTextRaiseRegistryErrors) {
  testing_support::TestRegistry registry;
  registry.Set(kAccounting, "Program Path", "REG_DWORD", "10");
  registry.Set("Medisoft", "Root Data Path", "REG_BINARY", "0102");
  EXPECT_EQ(RegistryError([] { installer::GetProgramPath(); }),
            "Invalid data type for 'Program Path'");
  EXPECT_EQ(RegistryError([] { installer::GetRootDataPath(); }),
            "Invalid data type for 'Root Data Path'");
}

TEST(CorvelleLookup, AValueWithNoDataIsEmptyWhateverItsKind) {
  if (UnderWindows()) GTEST_SKIP() << "reg.exe cannot store a binary value without bytes";
  testing_support::TestRegistry registry;
  registry.Set("Medisoft", "Root Data Path", "REG_BINARY", "");
  EXPECT_EQ(installer::GetRootDataPath(), "");
}

TEST(CorvelleLookup, TextEndsAtItsFirstZeroAndKeepsWindows1252Bytes) {
  if (UnderWindows()) GTEST_SKIP() << "needs a hive file written by the test";
  testing_support::TestRegistry registry;
  registry.Set(kAccounting, "Program Path", "REG_SZ",
               "c:\\donn\xC3\xA9"
               "es");
  registry.Set("Medisoft", "Root Data Path", "REG_SZ", "E:\\Data");
  std::ofstream(registry.HivePath(), std::ios::app)
      << "[Software\\\\Medisoft] 1733648000\n\"Root Data Path\"=str(2):\"E:\\\\Data\\0junk\"\n";
  EXPECT_EQ(installer::GetProgramPath(),
            "c:\\donn\xE9"
            "es");
  EXPECT_EQ(installer::GetRootDataPath(), "E:\\Data");
}

TEST(CorvelleLookup, KeysTheUserMayOnlyReadAreStillFound) {
  if (UnderWindows()) GTEST_SKIP() << "key permissions are modelled by the hive file natively";
  testing_support::TestRegistry registry;
  registry.Set(kAccounting, "Program Path", "REG_SZ", "D:\\Host");
  registry.Set("Medisoft", "Root Data Path", "REG_SZ", "D:\\Data");
  ASSERT_EQ(::chmod(registry.HivePath().c_str(), 0444), 0);
  EXPECT_EQ(installer::GetProgramPath(), "D:\\Host");
  EXPECT_EQ(installer::GetRootDataPath(), "D:\\Data");
}

TEST(CorvelleNormalize, AddsOneBackslashAndUpperCasesAsciiOnly) {
  EXPECT_EQ(installer::NormalizeFolder(""), "");
  EXPECT_EQ(installer::NormalizeFolder("C:\\"), "C:\\");
  EXPECT_EQ(installer::NormalizeFolder("c:\\program files\\medisoft"),
            "C:\\PROGRAM FILES\\MEDISOFT\\");
  EXPECT_EQ(installer::NormalizeFolder("c:\\donn\xE9"
                                       "es"),
            "C:\\DONN\xE9"
            "ES\\");
  EXPECT_EQ(installer::NormalizeFolder("az{`@[\xFF"), "AZ{`@[\xFF\\");
  EXPECT_EQ(installer::NormalizeFolder("bin"), "BIN\\");
}

// ---- The version query -------------------------------------------------------

using testing_support::DemoPayloadFile;

// The version query's dialogs as the terminal stand-in writes them.
struct Captured {
  std::string fileVersion = "unset", productVersion = "unset", dialogs;
};

Captured Query(const std::string& nativePath) {
  Captured result;
  testing::internal::CaptureStdout();
  installer::GetFileAndProductVersion(testing_support::ProgramPath(nativePath), result.fileVersion,
                                      result.productVersion);
  result.dialogs = testing::internal::GetCapturedStdout();
  return result;
}

TEST(CorvelleVersion, ReadsTheStringsUnder040904E4) {
  const Captured addOn = Query(DemoPayloadFile("CVCopySCR.exe"));
  EXPECT_EQ(addOn.fileVersion, "5.2.0.12");
  EXPECT_EQ(addOn.productVersion, "5.2.0.12");
  EXPECT_EQ(addOn.dialogs, "");
  EXPECT_EQ(installer::GetVersion(testing_support::ProgramPath(DemoPayloadFile("CVCopySCR.exe"))),
            "5.2.0.12");
  // Letters beyond ASCII come back in Windows-1252; the Unicode table beside
  // it and the lower-case spelling of the table's key change nothing.
  const Captured accents = Query(DemoPayloadFile("VersionAccents.exe"));
  EXPECT_EQ(accents.fileVersion, "6.0 b\xEAta");
  EXPECT_EQ(accents.productVersion, "6.1");
}

TEST(CorvelleVersion, StringsOnlyUnder040904B0LeaveTheResultsAlone) {
  const Captured unicode = Query(DemoPayloadFile("VersionUnicode.exe"));
  EXPECT_EQ(unicode.fileVersion, "unset");
  EXPECT_EQ(unicode.productVersion, "unset");
  EXPECT_EQ(unicode.dialogs, "");
  EXPECT_EQ(
      installer::GetVersion(testing_support::ProgramPath(DemoPayloadFile("VersionUnicode.exe"))),
      "");
}

TEST(CorvelleVersion, AFileWithoutAResourceEmptiesBothResults) {
  testing_support::ScratchFolder folder;
  const std::string text = folder.Native() + "/readme.txt";
  std::ofstream(text) << "MZ is not enough to be a program\n";
  const Captured plain = Query(text);
  EXPECT_EQ(plain.fileVersion, "");
  EXPECT_EQ(plain.productVersion, "");
  EXPECT_EQ(plain.dialogs, "");
}

TEST(CorvelleVersion, ADamagedProgramNeverCrashesTheQuery) {
  const std::vector<uint8_t> whole =
      testing_support::ReadWholeFile(DemoPayloadFile("CVCopySCR.exe"));
  testing_support::ScratchFolder folder;
  // Cut short anywhere: either the resource is still whole or there is none.
  for (size_t cut : {size_t{2}, size_t{64}, size_t{300}, size_t{1024}, whole.size() / 2,
                     whole.size() - 700, whole.size() - 1}) {
    const std::string path = folder.Native() + "/cut.exe";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(cut));
    const Captured damaged = Query(path);
    EXPECT_EQ(damaged.dialogs, "") << cut;
    EXPECT_TRUE(damaged.fileVersion == "" || damaged.fileVersion == "5.2.0.12")
        << cut << ": " << damaged.fileVersion;
    EXPECT_EQ(damaged.fileVersion, damaged.productVersion) << cut;
  }
  // Without its last kilobytes the resource section is gone.
  const std::string path = folder.Native() + "/short.exe";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(whole.data()),
             static_cast<std::streamsize>(whole.size() / 2));
  EXPECT_EQ(Query(path).fileVersion, "");
}

TEST(CorvelleVersion, AMissingFileIsReportedOnceAndChangesNothing) {
  if (UnderWindows()) GTEST_SKIP() << "the Win32 dialog would wait for a user";
  testing_support::ScratchFolder folder;
  const std::string missing = testing_support::ProgramPath(folder.Native() + "/absent.exe");
  const Captured result = Query(folder.Native() + "/absent.exe");
  EXPECT_EQ(result.fileVersion, "unset");
  EXPECT_EQ(result.productVersion, "unset");
  EXPECT_EQ(result.dialogs,
            "[message] " + ui::Application.Title() + ": Unable to find " + missing + "\n");
  // A folder is not a file either.
  EXPECT_EQ(Query(folder.Native()).dialogs,
            "[message] " + ui::Application.Title() + ": Unable to find " +
                testing_support::ProgramPath(folder.Native()) + "\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(installer::GetVersion(missing), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[message] " + ui::Application.Title() + ": Unable to find " + missing + "\n");
}

TEST(CorvelleVersion, AnEmptyNameAsksTheRunningProgram) {
  if (UnderWindows()) GTEST_SKIP() << "a failure would open a Win32 dialog";
  // The test program carries no version resource: no dialog and no version.
  testing::internal::CaptureStdout();
  EXPECT_EQ(installer::GetVersion(""), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
