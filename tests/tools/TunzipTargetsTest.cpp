// Two members never land on one file unnoticed, whichever names they reach it
// by: the planner knows the files this run made by their identity, through
// the file system itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "os/fs.h"
#include "support/Corpus.h"
#include "tunzip/Targets.h"

namespace {

using tunzip::Target;
using tunzip::TargetPlanner;

TEST(TunzipTargets, AFileOfThisRunIsKnownUnderAnotherName) {
  testing_support::ScratchFolder scratch;
  const std::unique_ptr<os::fs::Tree> tree = os::fs::Tree::Open(scratch.Program());
  ASSERT_NE(tree, nullptr) << os::fs::LastErrorText();
  TargetPlanner planner(false);
  const Target first{{"dir"}, "a.txt", {}};
  EXPECT_FALSE(planner.ClaimedBefore(first, *tree));
  ASSERT_TRUE(tree->MakeFolders(first.folder));
  auto file = tree->CreateTemporary(first.folder);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Commit(first.leaf));
  planner.Made(first.Path());
  EXPECT_TRUE(planner.ClaimedBefore(first, *tree));

  // A second name of that file, as an 8.3 alias is on Windows.
  const std::filesystem::path folder = std::filesystem::path(scratch.Native()) / "dir";
  std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
  const Target second{{"dir"}, "b.txt", {}};
  EXPECT_FALSE(planner.ClaimedBefore(second, *tree));
  EXPECT_TRUE(planner.MadeBefore(tree->IdentityOf(second.Path()), *tree));
  // A file this run did not make is no member's.
  std::filesystem::copy_file(folder / "a.txt", folder / "c.txt");
  EXPECT_FALSE(planner.MadeBefore(tree->IdentityOf({"dir", "c.txt"}), *tree));
  EXPECT_FALSE(planner.MadeBefore(tree->IdentityOf({"dir", "missing.txt"}), *tree));
}

TEST(TunzipTargets, ShortNameForms) {
  for (const char* form : {"LONGFO~1", "LONG~NYX", "README~2.TXT", "a~b.c", "~"})
    EXPECT_TRUE(tunzip::HasShortNameForm(form)) << form;
  for (const char* name :
       {"Longfoldername", "LONGFOLD~1", "A~1.TEXT", "a~1.b.c", "plain.txt", ".~"})
    EXPECT_FALSE(tunzip::HasShortNameForm(name)) << name;
}

}  // namespace
