// os::fs::Tree and its neighbours on both builds: UTF-8 names kept whole,
// files that appear only when committed, links never followed, times and
// modes as given. What is written is checked through std::filesystem, not
// through the layer itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "os/fs.h"
#include "rtl/Stream.h"
#include "support/Corpus.h"

namespace {

namespace stdfs = std::filesystem;
using os::fs::Components;
using os::fs::FileTime;
using os::fs::Kind;

stdfs::path Native(const std::string& utf8) {
  return stdfs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const stdfs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The names in a folder, as the file system spells them.
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(Native(folder)))
    names.insert(Utf8(entry.path().filename()));
  return names;
}

std::string Contents(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(Native(path), std::ios::binary) << contents;
}

class FsTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = os::fs::Tree::Open(root_);
    ASSERT_NE(tree_, nullptr) << os::fs::LastErrorText();
  }

  std::string At(const std::string& relative) const { return root_ + "/" + relative; }

  // Writes a file through the tree and commits it.
  bool Put(const Components& folder, const std::string& leaf, const std::string& contents) {
    auto file = tree_->CreateTemporary(folder);
    if (!file) return false;
    return file->Write(contents.data(), contents.size()) && file->Commit(leaf);
  }

  testing_support::ScratchFolder scratch_;
  // The program's spelling: Z:\... under Wine, the native path on Linux.
  const std::string root_ = scratch_.Program();
  std::unique_ptr<os::fs::Tree> tree_;
};

TEST_F(FsTree, FilesAppearOnlyWhenCommitted) {
  ASSERT_TRUE(tree_->MakeFolders({"a", "b"})) << os::fs::LastErrorText();
  auto file = tree_->CreateTemporary({"a", "b"});
  ASSERT_NE(file, nullptr) << os::fs::LastErrorText();
  ASSERT_TRUE(file->Write("hello ", 6));
  ASSERT_TRUE(file->Write("world", 5));
  EXPECT_EQ(tree_->KindOf({"a", "b", "f.txt"}), Kind::kMissing);
  ASSERT_TRUE(file->Commit("f.txt")) << os::fs::LastErrorText();
  EXPECT_EQ(Contents(At("a/b/f.txt")), "hello world");
  EXPECT_EQ(Listing(At("a/b")), std::set<std::string>{"f.txt"});
  EXPECT_EQ(tree_->KindOf({"a", "b", "f.txt"}), Kind::kFile);
  EXPECT_EQ(tree_->KindOf({"a", "b"}), Kind::kFolder);
  EXPECT_EQ(tree_->KindOf({"a", "missing", "f.txt"}), Kind::kMissing);

  // Given up, discarded or destroyed before the commit: nothing is left.
  {
    auto dropped = tree_->CreateTemporary({"a"});
    ASSERT_NE(dropped, nullptr);
    ASSERT_TRUE(dropped->Write("x", 1));
  }
  auto discarded = tree_->CreateTemporary({"a"});
  ASSERT_NE(discarded, nullptr);
  discarded->Discard();
  EXPECT_EQ(Listing(At("a")), std::set<std::string>{"b"});
  EXPECT_EQ(tree_->CreateTemporary({"nowhere"}), nullptr);
}

TEST_F(FsTree, CommitReplacesAFileButNeverAFolder) {
  WriteFile(At("f.txt"), "old");
  ASSERT_TRUE(Put({}, "f.txt", "new")) << os::fs::LastErrorText();
  EXPECT_EQ(Contents(At("f.txt")), "new");

  stdfs::create_directories(Native(At("d/inside")));
  auto file = tree_->CreateTemporary({});
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("x", 1));
  EXPECT_FALSE(file->Commit("d"));
  EXPECT_TRUE(stdfs::is_directory(Native(At("d/inside"))));
  EXPECT_EQ(Listing(root_), (std::set<std::string>{"d", "f.txt"}));
}

TEST_F(FsTree, UnicodeNamesAreKeptWhole) {
  // CJK, Cyrillic, Greek, Hebrew, an emoji outside the BMP, and é written
  // both precomposed and with a combining accent: distinct names.
  const std::vector<std::string> names = {
      "中文.txt",     "файл.txt",     "αρχείο.txt", "קובץ.txt", "\xF0\x9F\x98\x80.txt",
      "\xC3\xA9.txt", "e\xCC\x81.txt"};
  ASSERT_TRUE(tree_->MakeFolders({"日本"}));
  for (size_t i = 0; i < names.size(); ++i)
    ASSERT_TRUE(Put({"日本"}, names[i], std::to_string(i))) << names[i];
  EXPECT_EQ(Listing(At("日本")), std::set<std::string>(names.begin(), names.end()));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(Contents(At("日本/" + names[i])), std::to_string(i)) << names[i];

  const os::FileHandle handle = os::fs::OpenRead(At("日本/中文.txt"));
  ASSERT_TRUE(handle.Valid()) << os::fs::LastErrorText();
  rtl::TFileStream stream(handle, "中文.txt");
  char byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 1);
  EXPECT_EQ(byte, '0');
  EXPECT_FALSE(os::fs::OpenRead(At("日本")).Valid());
  EXPECT_EQ(os::fs::KindOf(At("日本/中文.txt")), Kind::kFile);
  EXPECT_EQ(os::fs::KindOf(At("日本")), Kind::kFolder);
  EXPECT_EQ(os::fs::KindOf(At("日本/none")), Kind::kMissing);
}

TEST_F(FsTree, NamesThatDifferInCaseFollowThePlatform) {
  ASSERT_TRUE(Put({}, "Readme.txt", "one"));
  const bool caseBlind = os::fs::NameKey("Readme.txt") == os::fs::NameKey("README.TXT");
  EXPECT_EQ(tree_->KindOf({"README.TXT"}), caseBlind ? Kind::kFile : Kind::kMissing);
  ASSERT_TRUE(Put({}, "README.TXT", "two"));
  EXPECT_EQ(Listing(root_).size(), caseBlind ? 1u : 2u);
  // Folders too: DIR/ and dir/ are one folder only where names ignore case.
  ASSERT_TRUE(tree_->MakeFolders({"DIR"}));
  ASSERT_TRUE(tree_->MakeFolders({"dir"}));
  EXPECT_EQ(Listing(root_).size(), caseBlind ? 2u : 4u);
  EXPECT_EQ(os::fs::NameKey("Ünï"), caseBlind ? os::fs::NameKey("ÜNÏ") : "Ünï");
}

TEST_F(FsTree, NamesThatWouldLeaveTheirFolderAreRefused) {
  for (const char* bad : {"..", ".", "", "a/b"}) {
    EXPECT_FALSE(tree_->MakeFolders({bad})) << bad;
    EXPECT_EQ(tree_->CreateTemporary({bad}), nullptr) << bad;
    auto file = tree_->CreateTemporary({});
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->Commit(bad)) << bad;
  }
  EXPECT_TRUE(Listing(root_).empty());
}

TEST_F(FsTree, AFileOnTheWayIsNoFolder) {
  WriteFile(At("f"), "x");
  EXPECT_FALSE(tree_->MakeFolders({"f", "sub"}));
  EXPECT_NE(os::fs::LastErrorText().find("not a folder"), std::string::npos)
      << os::fs::LastErrorText();
  EXPECT_EQ(Contents(At("f")), "x");
  // Unreachable, which is neither missing (it could be made) nor there.
  EXPECT_EQ(tree_->KindOf({"f", "sub", "g.txt"}), Kind::kUnreachable);
  EXPECT_NE(os::fs::LastErrorText().find("not a folder"), std::string::npos);
  EXPECT_EQ(tree_->KindOf({"missing", "g.txt"}), Kind::kMissing);
}

TEST_F(FsTree, DeepTreesReachTheRightFolders) {
  // Deeper than the folders a tree keeps in mind: each file must still land
  // in its own folder, whichever were reached before it.
  Components deep(70, "d");
  ASSERT_TRUE(tree_->MakeFolders(deep)) << os::fs::LastErrorText();
  const std::vector<size_t> depths = {70, 69, 3, 70, 1, 0, 40};
  for (size_t depth : depths) {
    const Components folder(deep.begin(), deep.begin() + static_cast<std::ptrdiff_t>(depth));
    ASSERT_TRUE(Put(folder, "at" + std::to_string(depth), std::to_string(depth))) << depth;
  }
  Components sibling(deep.begin(), deep.end() - 1);
  sibling.push_back("e");
  ASSERT_TRUE(tree_->MakeFolders(sibling)) << os::fs::LastErrorText();
  ASSERT_TRUE(Put(sibling, "in-e", "e"));
  std::string relative;
  for (size_t depth = 0; depth <= deep.size(); ++depth) {
    const std::set<std::string> want =
        depth == deep.size()       ? std::set<std::string>{"at70"}
        : depth == deep.size() - 1 ? std::set<std::string>{"at69", "d", "e"}
                                   : (std::count(depths.begin(), depths.end(), depth) != 0
                                          ? std::set<std::string>{"at" + std::to_string(depth), "d"}
                                          : std::set<std::string>{"d"});
    EXPECT_EQ(Listing(At(relative)), want) << depth;
    relative += "d/";
  }
  EXPECT_EQ(Contents(At(relative.substr(0, 69 * 2) + "e/in-e")), "e");
  EXPECT_EQ(tree_->KindOf(sibling), Kind::kFolder);
  sibling.push_back("in-e");
  EXPECT_EQ(tree_->KindOf(sibling), Kind::kFile);
}

TEST_F(FsTree, TimesAreKeptToTheirResolution) {
  // Before 1970, after 2038 and after 2107 (outside the DOS range).
  const std::vector<FileTime> times = {
      {1700000000, 123456700}, {-86400 * 365, 0}, {4102444800, 500000000}, {7258118400, 0}};
  for (size_t i = 0; i < times.size(); ++i) {
    auto file = tree_->CreateTemporary({});
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("t", 1));
    ASSERT_TRUE(file->SetTimes(times[i], std::nullopt)) << os::fs::LastErrorText();
    ASSERT_TRUE(file->Commit("t" + std::to_string(i)));
    EXPECT_EQ(os::fs::ModifiedTime(At("t" + std::to_string(i))), times[i]) << i;
  }
  ASSERT_TRUE(tree_->MakeFolders({"d", "e"}));
  ASSERT_TRUE(tree_->SetTimes({"d", "e"}, times[0], std::nullopt)) << os::fs::LastErrorText();
  ASSERT_TRUE(tree_->SetTimes({"d"}, times[2], times[0]));
  EXPECT_EQ(os::fs::ModifiedTime(At("d/e")), times[0]);
  EXPECT_EQ(os::fs::ModifiedTime(At("d")), times[2]);
  EXPECT_FALSE(tree_->SetTimes({"d", "missing"}, times[0], std::nullopt));
}

TEST_F(FsTree, LongPathsAreWritten) {
  Components deep;
  for (int i = 0; i < 12; ++i) deep.push_back(std::string(40, static_cast<char>('a' + i)));
  ASSERT_TRUE(tree_->MakeFolders(deep)) << os::fs::LastErrorText();
  ASSERT_TRUE(Put(deep, std::string(60, 'z') + ".txt", "deep")) << os::fs::LastErrorText();
  std::string relative;
  for (const std::string& name : deep) relative += name + "/";
  EXPECT_EQ(Contents(At(relative + std::string(60, 'z') + ".txt")), "deep");
  // Short names from the top down, so that the scratch folder can go where
  // the runtime's own calls stop at the short path limit.
  std::string shortened = root_;
  for (size_t i = 0; i < deep.size(); ++i) {
    stdfs::rename(Native(shortened + "/" + deep[i]), Native(shortened + "/" + std::to_string(i)));
    shortened += "/" + std::to_string(i);
  }
}

TEST_F(FsTree, APathLongerThanWindowsAllowsIsMadeOnlyElsewhere) {
  // 34,000 characters: Linux takes it one folder at a time; Windows cannot
  // hold it, and not one of its folders is made there.
  const Components deep(170, std::string(199, 'p'));
  if (!os::fs::KeepsUnixMetadata()) {
    EXPECT_FALSE(tree_->MakeFolders(deep));
    EXPECT_NE(os::fs::LastErrorText().find("longer than Windows allows"), std::string::npos)
        << os::fs::LastErrorText();
    EXPECT_EQ(tree_->KindOf(deep), Kind::kUnreachable);
    EXPECT_TRUE(Listing(root_).empty());
    return;
  }
  ASSERT_TRUE(tree_->MakeFolders(deep)) << os::fs::LastErrorText();
  ASSERT_TRUE(Put(deep, "f", "far")) << os::fs::LastErrorText();
  EXPECT_EQ(tree_->KindOf(deep), Kind::kFolder);
  // Short names from the top down, so that the file can be read and the
  // scratch folder removed by calls that take whole paths.
  std::string shortened = root_;
  for (size_t i = 0; i < deep.size(); ++i) {
    stdfs::rename(Native(shortened + "/" + deep[i]), Native(shortened + "/" + std::to_string(i)));
    shortened += "/" + std::to_string(i);
  }
  EXPECT_EQ(Contents(shortened + "/f"), "far");
}

// One file under two names has one identity (a second link here, an 8.3
// alias on Windows); another file, a folder and the tree itself each have
// their own.
TEST_F(FsTree, IdentitiesTellFilesApartWhateverTheirNames) {
  ASSERT_TRUE(Put({}, "a.txt", "a"));
  const std::optional<os::fs::FileIdentity> identity = tree_->IdentityOf({"a.txt"});
  ASSERT_TRUE(identity) << os::fs::LastErrorText();
  stdfs::create_hard_link(Native(At("a.txt")), Native(At("b.txt")));
  EXPECT_EQ(tree_->IdentityOf({"b.txt"}), identity);
  ASSERT_TRUE(Put({}, "c.txt", "c"));
  ASSERT_TRUE(tree_->MakeFolders({"d"}));
  const std::set<std::pair<uint64_t, uint64_t>> distinct = [&] {
    std::set<std::pair<uint64_t, uint64_t>> seen;
    for (const Components& path : {Components{"a.txt"}, {"c.txt"}, {"d"}, {}}) {
      const auto identity = tree_->IdentityOf(path);
      if (identity) seen.emplace(identity->volume, identity->index);
    }
    return seen;
  }();
  EXPECT_EQ(distinct.size(), 4u);
  EXPECT_FALSE(tree_->IdentityOf({"missing"}));
  EXPECT_FALSE(tree_->IdentityOf({"missing", "a.txt"}));
  EXPECT_EQ(tree_->StoredName({"b.txt"}), "b.txt");
  EXPECT_FALSE(tree_->StoredName({"missing"}));
}

TEST(FsNames, LegalNamesFollowThePlatform) {
  if (os::fs::KeepsUnixMetadata()) {
    EXPECT_EQ(os::fs::LegalName("a<b>:c\"|?*\\.txt "), "a<b>:c\"|?*\\.txt ");
    EXPECT_EQ(os::fs::LegalName(std::string("nul\0in", 6)), "nulin");
    EXPECT_EQ(os::fs::LegalName("tab\there\x1F\x7F"), "tabhere");
    EXPECT_EQ(os::fs::LegalName("a/b"), "a_b");
    // Nothing left, or only what would name this folder or its parent.
    EXPECT_EQ(os::fs::LegalName("\x01"), "_");
    EXPECT_EQ(os::fs::LegalName("\x01.."), "_..");
    EXPECT_EQ(os::fs::LegalName("中文"), "中文");
    // Linux has no device names.
    EXPECT_EQ(os::fs::LegalName("COM1"), "COM1");
    EXPECT_FALSE(os::fs::IsDeviceName("nul.txt"));
  } else {
    // A device name is never a file's name as it stands.
    EXPECT_EQ(os::fs::LegalName("COM1"), "_COM1");
    EXPECT_EQ(os::fs::LegalName("aux.txt"), "_aux.txt");
    EXPECT_EQ(os::fs::LegalName("Nul "), "_Nul_");
    EXPECT_EQ(os::fs::LegalName("lpt\u00B9.log"), "_lpt\u00B9.log");
    EXPECT_EQ(os::fs::LegalName("CONSOLE"), "CONSOLE");
    EXPECT_EQ(os::fs::LegalName("a<b>:c\"|?*\\.txt"), "a_b__c_____.txt");
    EXPECT_EQ(os::fs::LegalName("tab\there\x1F"), "tab_here_");
    EXPECT_EQ(os::fs::LegalName("dots.."), "dots._");
    EXPECT_EQ(os::fs::LegalName("space "), "space_");
    EXPECT_EQ(os::fs::LegalName("中文 é"), "中文 é");
  }
}

TEST(FsFolders, MakeFoldersCreatesParentsAndRefusesFiles) {
  testing_support::ScratchFolder scratch;
  const std::string root = scratch.Program();
  ASSERT_TRUE(os::fs::MakeFolders(root + "/x/ÿ/z")) << os::fs::LastErrorText();
  EXPECT_TRUE(stdfs::is_directory(Native(root + "/x/ÿ/z")));
  EXPECT_TRUE(os::fs::MakeFolders(root + "/x/ÿ/z"));
  WriteFile(root + "/file", "");
  EXPECT_FALSE(os::fs::MakeFolders(root + "/file/sub"));
  EXPECT_EQ(os::fs::Tree::Open(root + "/missing"), nullptr);
  EXPECT_FALSE(os::fs::LastErrorText().empty());
  EXPECT_EQ(os::fs::Tree::Open(root + "/file"), nullptr);
}

// Symbolic links and Unix modes exist only where the platform keeps them.
class FsTreeLinks : public FsTree {
 protected:
  void SetUp() override {
    if (!os::fs::KeepsUnixMetadata()) GTEST_SKIP() << "no symbolic links or modes on Windows";
    FsTree::SetUp();
  }
};

TEST_F(FsTreeLinks, LinksOnTheWayAreNeverFollowed) {
  testing_support::ScratchFolder outside;
  stdfs::create_directory_symlink(outside.Native(), Native(At("link")));
  EXPECT_EQ(tree_->KindOf({"link"}), Kind::kLink);
  EXPECT_FALSE(tree_->MakeFolders({"link", "sub"}));
  EXPECT_NE(os::fs::LastErrorText().find("symbolic link"), std::string::npos)
      << os::fs::LastErrorText();
  EXPECT_EQ(tree_->CreateTemporary({"link"}), nullptr);
  EXPECT_EQ(tree_->KindOf({"link", "x"}), Kind::kUnreachable);
  EXPECT_FALSE(tree_->SetTimes({"link", "x"}, {0, 0}, std::nullopt));
  EXPECT_FALSE(tree_->MakeLink({"link", "x"}, "y"));
  EXPECT_TRUE(Listing(outside.Native()).empty());
}

TEST_F(FsTreeLinks, LinksAndFilesReplaceEachOtherWithoutFollowing) {
  testing_support::ScratchFolder outside;
  const std::string victim = outside.Native() + "/victim";
  WriteFile(victim, "precious");
  stdfs::create_symlink(victim, Native(At("f")));
  // A file committed over a link replaces the link, not what it points to.
  ASSERT_TRUE(Put({}, "f", "new"));
  EXPECT_FALSE(stdfs::is_symlink(Native(At("f"))));
  EXPECT_EQ(Contents(victim), "precious");

  ASSERT_TRUE(tree_->MakeLink({"f"}, "target/of/f")) << os::fs::LastErrorText();
  EXPECT_EQ(stdfs::read_symlink(Native(At("f"))).string(), "target/of/f");
  ASSERT_TRUE(tree_->MakeLink({"f"}, "other"));
  EXPECT_EQ(stdfs::read_symlink(Native(At("f"))).string(), "other");
  EXPECT_EQ(tree_->ReadLink({"f"}), "other");
  stdfs::create_directory(Native(At("d")));
  EXPECT_FALSE(tree_->MakeLink({"d"}, "x"));
  EXPECT_EQ(tree_->ReadLink({"d"}), std::nullopt);
  EXPECT_TRUE(stdfs::is_directory(stdfs::symlink_status(Native(At("d")))));
  EXPECT_EQ(Listing(root_), (std::set<std::string>{"d", "f"}));

  // Times of a link are its own; its target keeps its time.
  stdfs::create_symlink(victim, Native(At("to-victim")));
  const auto before = os::fs::ModifiedTime(victim);
  ASSERT_TRUE(tree_->SetTimes({"to-victim"}, {86400, 0}, std::nullopt));
  EXPECT_EQ(os::fs::ModifiedTime(At("to-victim")), (FileTime{86400, 0}));
  EXPECT_EQ(os::fs::ModifiedTime(victim), before);
  EXPECT_FALSE(tree_->SetMode({"to-victim"}, 0600));
  EXPECT_EQ(Contents(victim), "precious");
}

TEST_F(FsTreeLinks, ModesAreSet) {
  auto file = tree_->CreateTemporary({});
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->SetMode(04751));
  ASSERT_TRUE(file->Commit("run.sh"));
  EXPECT_EQ(stdfs::status(Native(At("run.sh"))).permissions(),
            stdfs::perms::owner_all | stdfs::perms::group_read | stdfs::perms::group_exec |
                stdfs::perms::others_exec | stdfs::perms::set_uid);
  ASSERT_TRUE(tree_->MakeFolders({"locked"}));
  ASSERT_TRUE(tree_->SetMode({"locked"}, 0555));
  EXPECT_EQ(stdfs::status(Native(At("locked"))).permissions(),
            stdfs::perms::owner_read | stdfs::perms::owner_exec | stdfs::perms::group_read |
                stdfs::perms::group_exec | stdfs::perms::others_read | stdfs::perms::others_exec);
}

}  // namespace
