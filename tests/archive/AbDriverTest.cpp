// The extraction driver with a recording hook: which items reach the hook and
// in what order, progress, confirmation, failure reports and aborts.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>

#include "archive/AbArcTyp.h"
#include "archive/AbZipTyp.h"
#include "support/Corpus.h"
#include "support/ZipBuilder.h"
#include "zip/engine/AbDfBase.h"

namespace {

using namespace ab;
using testing_support::ScratchFolder;
using testing_support::ZipBuilder;

struct Failure {
  std::string name;
  TAbItemOperation operation;
  TAbFailureKind kind;
  int32_t number;
  bool operator==(const Failure&) const = default;
};

// An archive whose hook records what it is given and fails where told to.
class DriverTest : public ::testing::Test {
 protected:
  void Open(std::initializer_list<const char*> names) {
    ZipBuilder b;
    for (const char* name : names) b.Add(name, std::string("data of ") + name);
    archive_ = b.Open();
    archive_->LoadCatalogue();
    archive_->SetBaseFolder(scratch_.Program());
    archive_->ExtractHook = [this](TAbZipArchive& sender, TAbZipItem& item,
                                   const std::string& name) {
      EXPECT_EQ(&sender, archive_.get());
      EXPECT_EQ(sender.State(), stBusy);
      EXPECT_EQ(sender.ActiveItem(), &item);
      extracted_.push_back(name);
      if (fail_) fail_(name);
    };
    archive_->OnOverallProgress = [this](TAbArchive&, uint8_t percent, bool& abort) {
      progress_.push_back(percent);
      if (abortAt_ >= 0 && static_cast<int>(progress_.size()) == abortAt_) abort = true;
    };
    archive_->OnItemFailure = [this](TAbArchive&, TAbArchiveItem& item, TAbItemOperation op,
                                     TAbFailureKind kind, int32_t number) {
      failures_.push_back({item.ItemName(), op, kind, number});
    };
  }

  ScratchFolder scratch_;
  std::unique_ptr<TAbZipArchive> archive_;
  std::vector<std::string> extracted_;
  std::vector<int> progress_;
  std::vector<Failure> failures_;
  std::function<void(const std::string&)> fail_;
  int abortAt_ = -1;
};

TEST_F(DriverTest, AllItemsInOrderWithProgressAndTheFinal100Twice) {
  Open({"A.TXT", "B.DOC", "README", "d/e.txt", "F.ADI"});
  archive_->ExtractMatching("*.*");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"A.TXT", "B.DOC", "README", "d/e.txt", "F.ADI"}));
  EXPECT_EQ(progress_, (std::vector<int>{20, 40, 60, 80, 100, 100}));
  EXPECT_TRUE(failures_.empty());
  EXPECT_EQ(archive_->State(), stIdle);
  EXPECT_EQ(archive_->ActiveItem(), &archive_->Item(4));
}

TEST_F(DriverTest, ExclusionsAndEmptyMaskLists) {
  Open({"A.TXT", "B.ADT", "C.adi", "D.DOC"});
  archive_->ExtractMatchingExcept("*.*", "*.ADI; *.ADT");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"A.TXT", "D.DOC"}));
  extracted_.clear();
  progress_.clear();
  archive_->ExtractMatching("");
  EXPECT_TRUE(extracted_.empty());
  EXPECT_EQ(progress_, (std::vector<int>{25, 50, 75, 100, 100}));
}

TEST_F(DriverTest, FolderEntriesAreLeftToTheEmptyPiece) {
  Open({"docs/", "docs/a.txt"});
  archive_->ExtractMatching("*.*");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"docs/a.txt"}));
  extracted_.clear();
  archive_->ExtractMatching("*.none;;");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"docs/"}));
}

TEST_F(DriverTest, AnEmptyArchiveVisitsNothingAndReportsNothing) {
  Open({});
  archive_->ExtractMatching("*.*");
  EXPECT_TRUE(extracted_.empty());
  EXPECT_TRUE(progress_.empty());
}

TEST_F(DriverTest, ConfirmFalseSkipsTheItemWithoutAFailure) {
  Open({"A", "B", "C"});
  archive_->OnConfirmItem = [](TAbArchive&, TAbArchiveItem& item, TAbItemOperation op,
                               bool& confirm) {
    EXPECT_EQ(op, opExtract);
    confirm = item.ItemName() != "B";
  };
  archive_->ExtractMatching("*");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"A", "C"}));
  EXPECT_TRUE(failures_.empty());
}

TEST_F(DriverTest, AConfirmHandlerThatRaisesStopsTheRequestAndUnlocks) {
  Open({"A", "B"});
  archive_->OnConfirmItem = [](TAbArchive&, TAbArchiveItem&, TAbItemOperation, bool&) {
    throw rtl::Exception("no");
  };
  EXPECT_THROW(archive_->ExtractMatching("*"), rtl::Exception);
  EXPECT_EQ(archive_->State(), stIdle);
}

TEST_F(DriverTest, FailuresAreClassifiedReportedAndTheRestGoOn) {
  Open({"crc", "create", "memory", "inflate", "fine"});
  fail_ = [](const std::string& name) {
    if (name == "crc") throw EAbZipBadCRC();
    if (name == "create") throw rtl::EFCreateError("Z:\\x");
    if (name == "memory") throw std::bad_alloc();
    if (name == "inflate") throw EAbInflateError("bad");
  };
  archive_->ExtractMatching("*");
  EXPECT_EQ(extracted_.size(), 5u);
  EXPECT_EQ(failures_, (std::vector<Failure>{{"crc", opExtract, fkArchive, 23},
                                             {"create", opExtract, fkFileCreate, 0},
                                             {"memory", opExtract, fkOther, 0},
                                             {"inflate", opExtract, fkOther, 0}}));
  EXPECT_EQ(progress_.back(), 100);
}

TEST_F(DriverTest, WithoutAHookEveryChosenItemFailsWithNumber3) {
  Open({"A", "B"});
  archive_->ExtractHook = nullptr;
  archive_->ExtractMatching("*");
  EXPECT_EQ(failures_,
            (std::vector<Failure>{{"A", opExtract, fkArchive, 3}, {"B", opExtract, fkArchive, 3}}));
  archive_->OnItemFailure = nullptr;
  EXPECT_NO_THROW(archive_->ExtractMatching("*"));  // silent without a handler
}

TEST_F(DriverTest, AFailureHandlerThatRaisesReachesTheCaller) {
  Open({"A", "B"});
  fail_ = [](const std::string&) { throw EAbZipBadCRC(); };
  archive_->OnItemFailure = [](TAbArchive&, TAbArchiveItem&, TAbItemOperation, TAbFailureKind,
                               int32_t) { throw EAbUserAbort(); };
  EXPECT_THROW(archive_->ExtractMatching("*"), EAbUserAbort);
  EXPECT_EQ(extracted_.size(), 1u);
  EXPECT_EQ(archive_->State(), stIdle);
}

TEST_F(DriverTest, OverallAbortStopsAfterTheCurrentItem) {
  Open({"A", "B", "C"});
  abortAt_ = 2;
  try {
    archive_->ExtractMatching("*");
    FAIL() << "no abort";
  } catch (const EAbUserAbort& e) {
    EXPECT_EQ(e.Message(), "Process aborted by user");
  }
  EXPECT_EQ(extracted_, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(progress_, (std::vector<int>{33, 66}));
}

TEST_F(DriverTest, AnAbortInsideAnItemEndsTheRequestAtTheNextChosenItem) {
  Open({"A", "B", "C"});
  fail_ = [this](const std::string& name) {
    if (name == "A") {
      archive_->SetState(stInvalid);  // as the member decoder does on a user abort
      throw EAbUserAbort();
    }
  };
  EXPECT_THROW(archive_->ExtractMatching("*"), EAbNoArchive);
  EXPECT_EQ(extracted_, (std::vector<std::string>{"A"}));
  EXPECT_EQ(failures_, (std::vector<Failure>{{"A", opExtract, fkArchive, 9}}));
  EXPECT_EQ(archive_->State(), stInvalid);
}

TEST_F(DriverTest, ExtractItemUsesTheNewNameAndChecksTheIndex) {
  Open({"A", "B"});
  archive_->ExtractItem(1, "other");
  EXPECT_EQ(extracted_, (std::vector<std::string>{"other"}));
  try {
    archive_->ExtractItem(2, "");
    FAIL() << "index 2 accepted";
  } catch (const rtl::EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_EQ(archive_->State(), stIdle);
}

TEST_F(DriverTest, BaseFolderIsCheckedAgainButItsTextIsKept) {
  // A folder name with an ANSI letter (e with acute accent, 0xE9) must reach
  // the hook as it is: reading it as OEM text would name another folder. The
  // folder is made and removed through the program's own ANSI calls, which
  // spell it alike on both builds.
  Open({"A"});
  const std::string folderName =
      "DONN\xE9"
      "ES";
  const std::string base = scratch_.Program() + "\\" + folderName;
  ASSERT_TRUE(os::MakeDirectory(base));
  archive_->SetBaseFolder(base + "\\");
  archive_->ExtractMatching("*");
  EXPECT_EQ(archive_->BaseFolder(), base);
  EXPECT_EQ(extracted_.size(), 1u);

  ASSERT_TRUE(os::RemoveDirectory(base));
  extracted_.clear();
  progress_.clear();
  EXPECT_THROW(archive_->ExtractMatching("*"), EAbNoSuchDirectory);
  EXPECT_TRUE(extracted_.empty());
  EXPECT_TRUE(progress_.empty());
}

TEST_F(DriverTest, ItemProgressGoesToTheActiveItem) {
  Open({"A", "B"});
  std::vector<std::pair<std::string, int>> seen;
  archive_->OnItemProgress = [&](TAbArchive&, TAbArchiveItem& item, uint8_t percent, bool& abort) {
    seen.emplace_back(item.ItemName(), percent);
    abort = percent == 50;
  };
  fail_ = [this](const std::string&) {
    bool abort = true;
    archive_->ItemProgressForwarder(10, abort);
    EXPECT_FALSE(abort);
    archive_->ReportInflateProgress(0x132);  // the low byte: 50, which aborts
  };
  archive_->ExtractMatching("*");
  EXPECT_EQ(seen,
            (std::vector<std::pair<std::string, int>>{{"A", 10}, {"A", 50}, {"B", 10}, {"B", 50}}));
  // The inflate abort is a failure of the item, not of the request.
  EXPECT_EQ(failures_,
            (std::vector<Failure>{{"A", opExtract, fkOther, 0}, {"B", opExtract, fkOther, 0}}));
}

TEST(PadLock, EnteredOnlyWithASecondThread) {
  TAbPadLock lock;
  lock.Lock();
  EXPECT_EQ(lock.Count(), 0);
  lock.Unlock();
  os::SetMultiThread(true);
  lock.Lock();
  lock.Lock();  // re-entrant for its own thread
  EXPECT_EQ(lock.Count(), 2);
  lock.Unlock();
  lock.Unlock();
  EXPECT_EQ(lock.Count(), 0);
  lock.Unlock();  // nothing to leave: no effect
  EXPECT_EQ(lock.Count(), 0);
  os::SetMultiThread(false);
}

}  // namespace
