// How the Linux stand-in maps Windows paths: the Wine prefix and its drive
// letters, case matching, separators, Windows-1252 names as UTF-8 on the disk,
// the attribute store and the Windows rules root would otherwise escape.
// These concern the stand-in alone, so they are built natively only.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

#include "os/os.h"
#include "os/posix/paths.h"
#include "support/Environment.h"
#include "support/OsTestHelpers.h"

namespace {

namespace fs = std::filesystem;
using os_test::ReadNative;
using os_test::ScopedFile;
using os_test::Scratch;
using os_test::WriteNative;

using ScopedEnv = testing_support::ScopedEnvironment;

TEST(PosixPaths, PrefixComesFromTheEnvironmentElseHome) {
  {
    ScopedEnv prefix("WINEPREFIX", "/somewhere/prefix");
    EXPECT_EQ(os::posix::WinePrefix(), "/somewhere/prefix");
  }
  ScopedEnv noPrefix("WINEPREFIX", std::nullopt);
  ScopedEnv home("HOME", "/home/user");
  EXPECT_EQ(os::posix::WinePrefix(), "/home/user/.wine");
}

TEST(PosixPaths, DriveLettersGoThroughDosdevices) {
  Scratch scratch;
  const std::string prefix = scratch.Native("prefix");
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(prefix + "/drive_c/windows");
  fs::create_directories(scratch.Native("elsewhere"));
  fs::create_symlink(scratch.Native("elsewhere"), prefix + "/dosdevices/d:");
  WriteNative(scratch.Native("elsewhere/on_d.txt"), "d");
  ScopedEnv env("WINEPREFIX", prefix);

  EXPECT_EQ(os::posix::NativePath("d:\\on_d.txt"),
            fs::canonical(scratch.Native("elsewhere")).string() + "/on_d.txt");
  EXPECT_NE(os::FileAttributes("D:\\on_d.txt"), os::kInvalidFileAttributes);
  // Without their links C: falls back to drive_c and Z: to the root.
  EXPECT_EQ(os::posix::NativePath("C:\\windows"), prefix + "/drive_c/windows");
  EXPECT_EQ(os::posix::NativePath("Z:\\etc"), "/etc");
  EXPECT_EQ(os::DriveType("C:"), os::kDriveFixed);
  EXPECT_EQ(os::DriveType("D:\\"), os::kDriveFixed);
  EXPECT_EQ(os::DriveType("E:\\"), os::kDriveNoRootDir);
  EXPECT_EQ(os::FileAttributes("E:\\x"), os::kInvalidFileAttributes);
  // A native absolute path is taken as it is.
  EXPECT_EQ(os::posix::NativePath(scratch.Native("elsewhere/on_d.txt")),
            scratch.Native("elsewhere/on_d.txt"));
}

TEST(PosixPaths, ParentFoldersStopAtTheDriveRoot) {
  Scratch scratch;
  const std::string prefix = scratch.Native("prefix");
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(scratch.Native("root_d/inside"));
  fs::create_symlink(scratch.Native("root_d"), prefix + "/dosdevices/d:");
  WriteNative(scratch.Native("secret.txt"), "outside the drive");
  ScopedEnv env("WINEPREFIX", prefix);

  EXPECT_EQ(os::FileAttributes("D:\\..\\..\\secret.txt"), os::kInvalidFileAttributes);
  EXPECT_FALSE(os::OpenExistingFile("D:\\inside\\..\\..\\..\\secret.txt", 0).Valid());
  {
    ScopedFile created(os::CreateNewFile("D:\\..\\made.txt"));
    ASSERT_TRUE(created.Valid());
  }
  EXPECT_TRUE(fs::exists(scratch.Native("root_d/made.txt")));
  EXPECT_FALSE(fs::exists(scratch.Native("made.txt")));
}

TEST(PosixPaths, CaseIsIgnoredWhereTheExactNameIsMissing) {
  Scratch scratch;
  fs::create_directories(scratch.Native("Folder/Sub"));
  WriteNative(scratch.Native("Folder/Sub/File.TXT"), "original");
  const std::string base = scratch.folder.Native();
  EXPECT_EQ(os::posix::NativePath(base + "\\FOLDER\\sub\\file.txt"),
            scratch.Native("Folder/Sub/File.TXT"));
  // Writing through another spelling reaches the existing file.
  {
    ScopedFile file(os::CreateNewFile(base + "/folder\\SUB/FILE.txt"));
    ASSERT_TRUE(file.Valid());
    EXPECT_EQ(os::WriteFile(file.Get(), "rewritten", 9), 9);
  }
  EXPECT_EQ(ReadNative(scratch.Native("Folder/Sub/File.TXT")), "rewritten");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(scratch.Native("Folder/Sub")), fs::directory_iterator()),
      1);
  EXPECT_FALSE(os::MakeDirectory(base + "\\FOLDER"));
  EXPECT_EQ(os::LastError(), 183u);
  // A new name keeps its own spelling; a case-only rename takes the new one.
  { ScopedFile made(os::CreateNewFile(base + "\\Folder\\NewName.Dat")); }
  EXPECT_TRUE(fs::exists(scratch.Native("Folder/NewName.Dat")));
  EXPECT_TRUE(os::MoveFile(base + "\\folder\\newname.dat", base + "\\folder\\NEWNAME.DAT"));
  EXPECT_TRUE(fs::exists(scratch.Native("Folder/NEWNAME.DAT")));
  EXPECT_FALSE(fs::exists(scratch.Native("Folder/NewName.Dat")));
}

TEST(PosixPaths, WindowsNameRulesAndUnreachablePaths) {
  Scratch scratch;
  WriteNative(scratch.Native("file.txt"), "x");
  const std::string base = scratch.folder.Native();
  // Trailing dots and spaces are not part of a Windows name.
  EXPECT_NE(os::FileAttributes(base + "\\file.txt. "), os::kInvalidFileAttributes);
  // A trailing separator names a folder, so a file is not found through it.
  EXPECT_EQ(os::FileAttributes(base + "\\file.txt\\"), os::kInvalidFileAttributes);
  // Network paths and the empty path reach nothing, and nothing is removed.
  EXPECT_EQ(os::posix::NativePath("\\\\server\\share\\x"), "");
  EXPECT_EQ(os::FileAttributes("\\\\server\\share\\x"), os::kInvalidFileAttributes);
  EXPECT_FALSE(os::RemoveDirectory(""));
  EXPECT_FALSE(os::MakeDirectory(""));
}

TEST(PosixPaths, NamesAreWindows1252InsideAndUtf8OnDisk) {
  Scratch scratch;
  const std::string base = scratch.folder.Native();
  {
    ScopedFile file(os::CreateNewFile(base + "\\DONN\xC9"
                                             "ES \x80\x81.txt"));
    ASSERT_TRUE(file.Valid());
  }
  EXPECT_TRUE(
      fs::exists(scratch.Native("DONN\xC3\x89"
                                "ES \xE2\x82\xAC\xC2\x81.txt")));
  EXPECT_EQ(os::posix::WindowsPath("/opt/caf\xC3\xA9/setup"), "Z:\\opt\\caf\xE9\\setup");
  EXPECT_EQ(os::posix::WindowsPath("/"), "Z:\\");
}

TEST(PosixPaths, ModulePathMapsBackToTheExecutable) {
  const std::string path = os::ModuleFileName();
  ASSERT_EQ(path.rfind("Z:\\", 0), 0u) << path;
  EXPECT_EQ(fs::path(os::posix::NativePath(path)), fs::read_symlink("/proc/self/exe"));
}

TEST(PosixAttributes, HiddenAndSystemLiveInTheWineAttribute) {
  Scratch scratch;
  WriteNative(scratch.Native("f.txt"), "x");
  const std::string native = scratch.Native("f.txt");
  const std::string path = scratch.folder.Native() + "\\f.txt";
  if (!os::SetFileAttributes(path, os::faHidden | os::faSysFile | os::faArchive))
    FAIL() << os::LastError();
  char value[32] = {};
  const ssize_t n = ::getxattr(native.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  if (n < 0 && errno == ENOTSUP) GTEST_SKIP() << "no user extended attributes here";
  EXPECT_EQ(std::string(value, n > 0 ? static_cast<size_t>(n) : 0), "0x6");
  EXPECT_EQ(os::FileAttributes(path), uint32_t{os::faHidden | os::faSysFile | os::faArchive});
  ASSERT_TRUE(os::SetFileAttributes(path, os::faArchive));
  EXPECT_LT(::getxattr(native.c_str(), "user.DOSATTRIB", value, sizeof value), 0);
  // Wine shows names that start with a dot as hidden.
  WriteNative(scratch.Native(".profile"), "x");
  EXPECT_NE(os::FileAttributes(scratch.folder.Native() + "\\.profile") & os::faHidden, 0u);
}

TEST(PosixAttributes, ReadOnlyBindsEvenRoot) {
  Scratch scratch;
  WriteNative(scratch.Native("ro.txt"), "precious");
  WriteNative(scratch.Native("other.txt"), "other");
  const std::string path = scratch.folder.Native() + "\\ro.txt";
  ASSERT_TRUE(os::SetFileAttributes(path, os::faReadOnly));
  EXPECT_EQ(fs::status(scratch.Native("ro.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_FALSE(os::OpenExistingFile(path, 2).Valid());
  EXPECT_EQ(os::LastError(), 5u);
  {
    ScopedFile reader(os::OpenExistingFile(path, 0));
    EXPECT_TRUE(reader.Valid());  // reading stays allowed
  }
  EXPECT_FALSE(os::CreateNewFile(path).Valid());
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_FALSE(os::CopyFile(scratch.folder.Native() + "\\other.txt", path, false));
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_EQ(ReadNative(scratch.Native("ro.txt")), "precious");
  // A copy carries the read-only attribute; clearing it makes the file writable.
  ASSERT_TRUE(os::CopyFile(path, scratch.folder.Native() + "\\copy.txt", true));
  EXPECT_NE(os::FileAttributes(scratch.folder.Native() + "\\copy.txt") & os::faReadOnly, 0u);
  ASSERT_TRUE(os::SetFileAttributes(path, os::faNormal));
  ScopedFile writable(os::OpenExistingFile(path, 2));
  EXPECT_TRUE(writable.Valid());
}

TEST(PosixFiles, DosStampsFollowTheDateDaylightSaving) {
  // Central Europe: UTC+1 in winter, UTC+2 in summer.
  ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  Scratch scratch;
  WriteNative(scratch.Native("t.txt"), "x");
  const std::string path = scratch.folder.Native() + "\\t.txt";
  ScopedFile file(os::OpenExistingFile(path, 2));
  ASSERT_TRUE(file.Valid());
  // 2020-07-01 12:00:00 local is 10:00 UTC; 2020-01-15 12:00:00 is 11:00 UTC.
  ASSERT_TRUE(os::SetLastWriteTimeFromDos(file.Get(), (40 << 9) | (7 << 5) | 1, 12 << 11));
  EXPECT_EQ(os::LastWriteTime(path), 1593597600);
  ASSERT_TRUE(os::SetLastWriteTimeFromDos(file.Get(), (40 << 9) | (1 << 5) | 15, 12 << 11));
  EXPECT_EQ(os::LastWriteTime(path), 1579086000);
}

TEST(PosixFiles, CopyLeavesNoTemporaryAndMovesCrossFileSystems) {
  Scratch scratch;
  WriteNative(scratch.Native("a.txt"), "payload");
  const std::string base = scratch.folder.Native();
  ASSERT_TRUE(os::CopyFile(base + "\\a.txt", base + "\\b.txt", false));
  ASSERT_TRUE(os::CopyFile(base + "\\a.txt", base + "\\b.txt", false));
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 2);

  struct stat here {
  }, shm{};
  if (::stat(base.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
      here.st_dev == shm.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  const std::string away = "/dev/shm/tessaline-move-" + std::to_string(::getpid());
  fs::remove(away);
  ASSERT_TRUE(os::MoveFile(base + "\\a.txt", away)) << os::LastError();
  EXPECT_FALSE(fs::exists(scratch.Native("a.txt")));
  EXPECT_EQ(ReadNative(away), "payload");
  EXPECT_FALSE(os::MoveFile(base + "\\b.txt", away));
  EXPECT_EQ(os::LastError(), 183u);
  fs::remove(away);
}

}  // namespace

#endif  // _WIN32
