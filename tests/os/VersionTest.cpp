// Version resources: the block of a real PE file and the queries that
// VerQueryValueA answers on it (the fixed part, the translation table, string
// values), and damaged blocks, which must never be read out of bounds.
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "os/os.h"
#include "support/Corpus.h"
#include "support/Environment.h"

namespace {

using Bytes = std::vector<uint8_t>;

using testing_support::UnderWindows;

class VersionBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    info_ = os::FileVersionInfo(
        testing_support::ProgramPath(testing_support::DemoPayloadFile("CVCopySCR.exe")));
    ASSERT_FALSE(info_.empty());
  }
  std::string Text(const std::string& subBlock) const {
    const auto value = os::QueryVersionValue(info_, subBlock);
    return value ? std::string(value->begin(), value->end()) : "(none)";
  }
  Bytes info_;
};

uint32_t Dword(const Bytes& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

TEST_F(VersionBlock, AnswersTheFixedPartAndTheTranslationTable) {
  const auto fixed = os::QueryVersionValue(info_, "\\");
  ASSERT_TRUE(fixed);
  ASSERT_EQ(fixed->size(), 52u);
  EXPECT_EQ(Dword(*fixed, 0), 0xFEEF04BDu);   // the fixed part's signature
  EXPECT_EQ(Dword(*fixed, 8), 0x00050002u);   // 5.2
  EXPECT_EQ(Dword(*fixed, 12), 0x0000000Cu);  // .0.12
  const auto translation = os::QueryVersionValue(info_, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(*translation, (Bytes{0x09, 0x04, 0xE4, 0x04}));
}

TEST_F(VersionBlock, AnswersStringValuesWithOrWithoutALeadingBackslash) {
  EXPECT_EQ(Text("\\StringFileInfo\\040904E4\\FileVersion"), "5.2.0.12");
  EXPECT_EQ(Text("StringFileInfo\\040904E4\\ProductVersion"), "5.2.0.12");
  EXPECT_EQ(Text("\\stringfileinfo\\040904e4\\companyname"), "Tessaline");
  EXPECT_EQ(Text("StringFileInfo\\040904E4\\OriginalFilename"), "CVCopySCR.exe");
}

TEST_F(VersionBlock, MissingPartsAreNotFound) {
  EXPECT_EQ(Text("StringFileInfo\\040904B0\\FileVersion"), "(none)");
  EXPECT_EQ(Text("StringFileInfo\\040904E4\\Comments"), "(none)");
  EXPECT_EQ(Text("StringFileInfo\\040904E4\\FileVersionX"), "(none)");
  EXPECT_EQ(Text("StringFileInfo\\040904E4\\FileVersio"), "(none)");
  EXPECT_EQ(Text("NoSuchBlock"), "(none)");
}

TEST_F(VersionBlock, DamagedBlocksAreAnsweredWithinTheirBounds) {
  if (UnderWindows()) GTEST_SKIP() << "damaged blocks are the stand-in's reader's concern";
  const char* queries[] = {"\\", "\\VarFileInfo\\Translation",
                           "StringFileInfo\\040904E4\\FileVersion",
                           "StringFileInfo\\040904E4\\ProductVersion"};
  // Every prefix of the block.
  for (size_t size = 0; size < info_.size(); size += 7) {
    const Bytes cut(info_.begin(), info_.begin() + static_cast<std::ptrdiff_t>(size));
    for (const char* query : queries) {
      const auto value = os::QueryVersionValue(cut, query);
      if (value) {
        EXPECT_LE(value->size(), size);
      }
    }
  }
  // Random bytes changed, a few at a time (lengths and keys among them).
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = info_;
    for (int k = 0; k < 3; ++k) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    for (const char* query : queries) {
      const auto value = os::QueryVersionValue(damaged, query);
      if (value) {
        EXPECT_LE(value->size(), damaged.size());
      }
    }
  }
}

TEST(VersionFile, FilesWithoutAResourceGiveAnEmptyBlock) {
  testing_support::ScratchFolder folder;
  const std::string text = folder.Native() + "/notes.txt";
  std::ofstream(text) << "just text\n";
  EXPECT_TRUE(os::FileVersionInfo(testing_support::ProgramPath(text)).empty());
  EXPECT_TRUE(
      os::FileVersionInfo(testing_support::ProgramPath(folder.Native() + "/absent.exe")).empty());
  // A DOS header that points past the end of the file.
  const std::string stub = folder.Native() + "/stub.exe";
  std::string header(64, '\0');
  header[0] = 'M';
  header[1] = 'Z';
  header[0x3C] = '\x7F';
  header[0x3F] = '\x7F';
  std::ofstream(stub, std::ios::binary) << header;
  EXPECT_TRUE(os::FileVersionInfo(testing_support::ProgramPath(stub)).empty());
  EXPECT_FALSE(os::QueryVersionValue({}, "\\"));
}

}  // namespace
