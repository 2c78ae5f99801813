// Attributes, folders, deletion, copy and move, drive types and the module's
// own path, checked on both builds against what Windows (and Wine) answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "os/os.h"
#include "support/OsTestHelpers.h"

namespace {

using os_test::ReadNative;
using os_test::ScopedFile;
using os_test::Scratch;
using os_test::WriteNative;

std::vector<std::string> Names(const std::string& nativeFolder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(nativeFolder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OsAttributes, FilesFoldersAndMissingPaths) {
  Scratch scratch;
  WriteNative(scratch.Native("f.txt"), "x");
  const uint32_t file = os::FileAttributes(scratch.Program("f.txt"));
  ASSERT_NE(file, os::kInvalidFileAttributes);
  EXPECT_EQ(file & (os::faDirectory | os::faReadOnly | os::faHidden), 0u);
  EXPECT_NE(file & os::faArchive, 0u);
  EXPECT_NE(os::FileAttributes(scratch.folder.Program()) & os::faDirectory, 0u);
  EXPECT_EQ(os::FileAttributes(scratch.Program("missing")), os::kInvalidFileAttributes);
  EXPECT_EQ(os::LastError(), 2u);
  EXPECT_EQ(os::FileAttributes(scratch.Program("none\\missing")), os::kInvalidFileAttributes);
  EXPECT_EQ(os::LastError(), 3u);
  EXPECT_EQ(os::FileAttributes(""), os::kInvalidFileAttributes);
  EXPECT_FALSE(os::SetFileAttributes(scratch.Program("missing"), os::faHidden));
  EXPECT_EQ(os::LastError(), 2u);
}

TEST(OsAttributes, ReadOnlyAndHiddenRoundTrip) {
  Scratch scratch;
  WriteNative(scratch.Native("f.txt"), "keep");
  const std::string path = scratch.Program("f.txt");
  ASSERT_TRUE(os::SetFileAttributes(path, os::faReadOnly | os::faHidden | os::faArchive));
  const uint32_t set = os::FileAttributes(path);
  EXPECT_NE(set & os::faReadOnly, 0u);
  EXPECT_NE(set & os::faHidden, 0u);
  // A read-only file cannot be deleted.
  EXPECT_FALSE(os::RemoveFile(path));
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_EQ(ReadNative(scratch.Native("f.txt")), "keep");

  ASSERT_TRUE(os::SetFileAttributes(path, os::faNormal));
  EXPECT_EQ(os::FileAttributes(path) & (os::faReadOnly | os::faHidden), 0u);
  // An archive's external attributes may carry any bits (a Unix mode in the
  // high half); what Windows does not know it leaves alone.
  EXPECT_TRUE(os::SetFileAttributes(path, 0x81A40020));
  EXPECT_EQ(os::FileAttributes(path) & (os::faReadOnly | os::faHidden | os::faDirectory), 0u);
  EXPECT_TRUE(os::RemoveFile(path));
  EXPECT_EQ(os::FileAttributes(path), os::kInvalidFileAttributes);
}

TEST(OsAttributes, FoldersKeepHiddenButStayFolders) {
  Scratch scratch;
  const std::string folder = scratch.Program("sub");
  ASSERT_TRUE(os::MakeDirectory(folder));
  ASSERT_TRUE(os::SetFileAttributes(folder, os::faHidden | os::faDirectory));
  EXPECT_EQ(os::FileAttributes(folder) & (os::faHidden | os::faDirectory),
            uint32_t{os::faHidden | os::faDirectory});
  ASSERT_TRUE(os::SetFileAttributes(folder, 0));
  EXPECT_EQ(os::FileAttributes(folder) & os::faHidden, 0u);
  // Files can still be made in it.
  ScopedFile inside(os::CreateNewFile(folder + "\\f.txt"));
  EXPECT_TRUE(inside.Valid());
}

TEST(OsFolders, MakeAndRemoveWithTheirErrors) {
  Scratch scratch;
  const std::string sub = scratch.Program("sub");
  EXPECT_TRUE(os::MakeDirectory(sub));
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native("sub")));
  EXPECT_FALSE(os::MakeDirectory(sub));
  EXPECT_EQ(os::LastError(), 183u);  // already exists
  EXPECT_FALSE(os::MakeDirectory(scratch.Program("none\\deeper")));
  EXPECT_EQ(os::LastError(), 3u);
  EXPECT_TRUE(os::MakeDirectory(sub + "\\trailing\\"));
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native("sub/trailing")));

  WriteNative(scratch.Native("sub/f.txt"), "x");
  EXPECT_FALSE(os::MakeDirectory(sub + "\\f.txt"));
  EXPECT_EQ(os::LastError(), 183u);
  EXPECT_FALSE(os::RemoveDirectory(sub));
  EXPECT_EQ(os::LastError(), 145u);  // not empty
  EXPECT_FALSE(os::RemoveDirectory(sub + "\\f.txt"));
  EXPECT_EQ(os::LastError(), 267u);  // not a folder
  EXPECT_FALSE(os::RemoveDirectory(sub + "\\missing"));
  EXPECT_EQ(os::LastError(), 2u);
  EXPECT_TRUE(os::RemoveDirectory(sub + "\\trailing"));
  EXPECT_FALSE(std::filesystem::exists(scratch.Native("sub/trailing")));
}

TEST(OsFolders, RemoveFileRefusesFoldersAndMissingFiles) {
  Scratch scratch;
  ASSERT_TRUE(os::MakeDirectory(scratch.Program("sub")));
  EXPECT_FALSE(os::RemoveFile(scratch.Program("sub")));
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native("sub")));
  EXPECT_FALSE(os::RemoveFile(scratch.Program("missing")));
  EXPECT_EQ(os::LastError(), 2u);
  EXPECT_FALSE(os::RemoveFile(scratch.Program("none\\missing")));
  EXPECT_EQ(os::LastError(), 3u);
}

TEST(OsCopy, CopiesDataStampAndAttributes) {
  Scratch scratch;
  WriteNative(scratch.Native("a.bin"), std::string(200000, 'a') + "end");
  const std::string from = scratch.Program("a.bin");
  {
    ScopedFile file(os::OpenExistingFile(from, 2));
    ASSERT_TRUE(os::SetLastWriteTimeFromDos(file.Get(), 0x2A21, 0x6000));
  }
  ASSERT_TRUE(os::SetFileAttributes(from, os::faHidden));
  ASSERT_TRUE(os::CopyFile(from, scratch.Program("b.bin"), true));
  EXPECT_EQ(ReadNative(scratch.Native("b.bin")), ReadNative(scratch.Native("a.bin")));
  EXPECT_EQ(os::LastWriteTime(scratch.Program("b.bin")), os::LastWriteTime(from));
  EXPECT_NE(os::FileAttributes(scratch.Program("b.bin")) & os::faHidden, 0u);
  EXPECT_EQ(Names(scratch.folder.Native()), (std::vector<std::string>{"a.bin", "b.bin"}));
}

TEST(OsCopy, ExistingTargetsAndBadSources) {
  Scratch scratch;
  WriteNative(scratch.Native("a.txt"), "new");
  WriteNative(scratch.Native("b.txt"), "old");
  const std::string from = scratch.Program("a.txt"), to = scratch.Program("b.txt");
  EXPECT_FALSE(os::CopyFile(from, to, true));
  EXPECT_EQ(os::LastError(), 80u);  // file exists
  EXPECT_EQ(ReadNative(scratch.Native("b.txt")), "old");
  EXPECT_TRUE(os::CopyFile(from, to, false));
  EXPECT_EQ(ReadNative(scratch.Native("b.txt")), "new");

  // A copy onto itself must not truncate the file it reads.
  EXPECT_FALSE(os::CopyFile(from, from, false));
  EXPECT_EQ(ReadNative(scratch.Native("a.txt")), "new");

  EXPECT_FALSE(os::CopyFile(scratch.Program("missing"), to, false));
  EXPECT_EQ(os::LastError(), 2u);
  EXPECT_FALSE(os::CopyFile(from, scratch.Program("none\\c.txt"), false));
  EXPECT_EQ(os::LastError(), 3u);
  ASSERT_TRUE(os::MakeDirectory(scratch.Program("sub")));
  EXPECT_FALSE(os::CopyFile(from, scratch.Program("sub"), false));
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_FALSE(os::CopyFile(scratch.Program("sub"), scratch.Program("c.txt"), false));
  EXPECT_FALSE(std::filesystem::exists(scratch.Native("c.txt")));
}

TEST(OsMove, RenamesButNeverReplaces) {
  Scratch scratch;
  WriteNative(scratch.Native("a.txt"), "A");
  WriteNative(scratch.Native("b.txt"), "B");
  EXPECT_FALSE(os::MoveFile(scratch.Program("a.txt"), scratch.Program("b.txt")));
  EXPECT_EQ(os::LastError(), 183u);
  EXPECT_EQ(ReadNative(scratch.Native("a.txt")), "A");
  EXPECT_EQ(ReadNative(scratch.Native("b.txt")), "B");

  ASSERT_TRUE(os::MakeDirectory(scratch.Program("sub")));
  EXPECT_TRUE(os::MoveFile(scratch.Program("a.txt"), scratch.Program("sub\\c.txt")));
  EXPECT_FALSE(std::filesystem::exists(scratch.Native("a.txt")));
  EXPECT_EQ(ReadNative(scratch.Native("sub/c.txt")), "A");
  EXPECT_TRUE(os::MoveFile(scratch.Program("sub"), scratch.Program("moved")));
  EXPECT_EQ(ReadNative(scratch.Native("moved/c.txt")), "A");

  EXPECT_FALSE(os::MoveFile(scratch.Program("missing"), scratch.Program("x")));
  EXPECT_EQ(os::LastError(), 2u);
  EXPECT_FALSE(os::MoveFile(scratch.Program("b.txt"), scratch.Program("none\\x")));
  EXPECT_EQ(os::LastError(), 3u);
  EXPECT_EQ(ReadNative(scratch.Native("b.txt")), "B");
}

TEST(OsMove, ChangesOnlyTheCase) {
  Scratch scratch;
  WriteNative(scratch.Native("name.txt"), "n");
  EXPECT_TRUE(os::MoveFile(scratch.Program("name.txt"), scratch.Program("NAME.TXT")));
  // Windows then shows the new spelling; Wine keeps the old one. Either way
  // there is still exactly the one file.
  const std::vector<std::string> names = Names(scratch.folder.Native());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(names[0] == "NAME.TXT" || names[0] == "name.txt") << names[0];
  EXPECT_TRUE(os::MoveFile(scratch.Program("NAME.TXT"), scratch.Program("NAME.TXT")));
  EXPECT_EQ(ReadNative(scratch.Native("NAME.TXT")), "n");
}

TEST(OsDrives, TypesOfRoots) {
  EXPECT_EQ(os::DriveType("Z:"), os::kDriveFixed);
  EXPECT_EQ(os::DriveType("z:\\"), os::kDriveFixed);
  EXPECT_EQ(os::DriveType("Q:\\"), os::kDriveNoRootDir);
  EXPECT_EQ(os::DriveType(""), os::kDriveNoRootDir);
}

TEST(OsModule, OwnPathInWindowsForm) {
  const std::string path = os::ModuleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(path[0]))) << path;
  EXPECT_EQ(path.substr(1, 2), ":\\") << path;
  EXPECT_EQ(path.find('/'), std::string::npos) << path;
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  EXPECT_EQ(name.rfind("unit_tests", 0), 0u) << path;
  const uint32_t attributes = os::FileAttributes(path);
  ASSERT_NE(attributes, os::kInvalidFileAttributes) << path;
  EXPECT_EQ(attributes & os::faDirectory, 0u);
  ScopedFile self(os::OpenExistingFile(path, 0x40));
  ASSERT_TRUE(self.Valid());
  char magic[2];
  EXPECT_EQ(os::ReadFile(self.Get(), magic, 2), 2);
}

}  // namespace
