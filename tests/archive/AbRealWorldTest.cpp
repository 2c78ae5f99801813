// The reader on archives that real producers make today (Info-ZIP zip on
// Linux, 7-Zip, bsdtar, Python's zipfile, streamed and ZIP64 ones, shifted
// self-extractors, 70,000 members) and on the hostile ones built byte by byte
// beside them (both forms of the overlapping-member bomb, a lying size). The
// build makes them with tests/support/make_archives.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "os/os.h"
#include "support/Corpus.h"
#include "zip/engine/AbZipLayout.h"

namespace {

using namespace ab;
namespace fs = std::filesystem;

constexpr int64_t kOldTime = 171'936'000;       // 1975-06-15
constexpr int64_t kFutureTime = 7'258'118'400;  // 2200-01-01

std::string ArchivePath(const std::string& name) {
  return (fs::path(TESSALINE_BINARY_DIR) / "test-archives" / name).string();
}

std::unique_ptr<TAbZipArchive> Open(const std::string& name, bool allowShift = false) {
  auto archive = std::make_unique<TAbZipArchive>(
      os::ExpandFileName(testing_support::ProgramPath(ArchivePath(name))),
      rtl::fmOpenRead | rtl::fmShareDenyNone);
  archive->SetAllowOffsetShift(allowShift);
  // Today's producers write versions 4.5 and 6.3 for what this reader has.
  archive->SetAcceptsNewerVersions(true);
  archive->LoadCatalogue();
  return archive;
}

std::string Decode(TAbZipArchive& archive, TAbZipItem& item) {
  rtl::TMemoryStream output;
  DecodeMemberToStream(archive, item, &output);
  return std::string(output.Bytes().begin(), output.Bytes().end());
}

// The items by Unicode name, a leading "./" (bsdtar's) dropped.
std::map<std::string, TAbZipItem*> ByName(const TAbZipArchive& archive) {
  std::map<std::string, TAbZipItem*> items;
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    std::string name = archive.Item(i).UnicodeName();
    if (name.rfind("./", 0) == 0) name.erase(0, 2);
    if (!name.empty()) items[name] = &archive.Item(i);
  }
  return items;
}

class RealWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(ArchivePath("stamp")))
        << "the build makes the test archives in " << ArchivePath("");
  }
};

// A Linux tree: non-ASCII names without flag bit 11, a folder, a script's
// mode, a link whose data is its target, times before and after the DOS
// range. Every producer, ZIP64 or not, shifted or not, reads the same.
TEST_F(RealWorld, UnixTreesFromEveryProducer) {
  const std::map<std::string, uint64_t> archives = {{"linux_zip.zip", 0},
                                                    {"linux_zip64.zip", 0},
                                                    {"7zz.zip", 0},
                                                    {"bsdtar.zip", 0},
                                                    {"bsdtar_zip64.zip", 0},
                                                    {"shifted.exe", 2 + 256 * 20},
                                                    {"shifted64.exe", 2 + 256 * 20}};
  for (const auto& [name, shift] : archives) {
    SCOPED_TRACE(name);
    auto archive = Open(name, true);
    EXPECT_EQ(archive->OffsetShift(), shift);
    auto items = ByName(*archive);
    ASSERT_TRUE(items.count("ünï/fïle.txt"));
    TAbZipItem& file = *items["ünï/fïle.txt"];
    EXPECT_NE(file.NameOrigin(), noCodePage);
    EXPECT_EQ(Decode(*archive, file), "hello from Linux\n");
    ASSERT_TRUE(items.count("ünï/"));
    EXPECT_TRUE(items["ünï/"]->IsFolder());
    EXPECT_EQ(items["run.sh"]->UnixMode(), 0100755);
    EXPECT_FALSE(items["run.sh"]->IsSymbolicLink());
    ASSERT_TRUE(items["link"]->IsSymbolicLink());
    EXPECT_EQ(Decode(*archive, *items["link"]), "ünï/fïle.txt");
    // Before 1980: the DOS stamp cannot say it, the extra fields do.
    ASSERT_TRUE(items["old.txt"]->ModifiedTime().has_value());
    EXPECT_EQ(items["old.txt"]->ModifiedTime()->seconds, kOldTime);
    EXPECT_EQ(items["old.txt"]->LastModFileDate(), (0 << 9) | (1 << 5) | 1);  // 1980-01-01
    for (auto& [memberName, item] : items) {
      if (item->IsFolder()) continue;
      EXPECT_EQ(Decode(*archive, *item).size(), item->UncompressedSize64()) << memberName;
    }
  }
  // 7-Zip keeps NTFS times, which reach past 2107.
  auto seven = Open("7zz.zip");
  EXPECT_EQ(ByName(*seven)["future.txt"]->ModifiedTime(), (TAbZipTime{kFutureTime, 0}));
  EXPECT_TRUE(Open("linux_zip64.zip")->IsZip64());
  EXPECT_FALSE(Open("linux_zip.zip")->IsZip64());
}

TEST_F(RealWorld, ShiftedArchivesOpenOnlyWhenAllowed) {
  for (const char* name : {"shifted.exe", "shifted64.exe"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(Open(name, false), EAbZipInvalid);
  }
}

TEST_F(RealWorld, UnicodeNamesFromPythonAndTheUnicodePathField) {
  auto archive = Open("python_unicode.zip");
  std::vector<std::string> names;
  for (int32_t i = 0; i < archive->ItemCount(); ++i) {
    TAbZipItem& item = archive->Item(i);
    names.push_back(item.UnicodeName());
    // zipfile flags only the names that need it; the ASCII ones come from
    // a Unix host as valid UTF-8.
    const bool ascii = std::all_of(item.UnicodeName().begin(), item.UnicodeName().end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    EXPECT_EQ(item.NameOrigin(), ascii ? noUnixUtf8 : noUtf8Flag) << item.UnicodeName();
    EXPECT_EQ(Decode(*archive, item), "member " + item.UnicodeName() + "\n");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"中文.txt", "日本.txt", "файл.txt", "ελληνικά.txt",
                                             "עברית.txt", "😀.txt", "e\u0301.txt", "Readme.txt",
                                             "README.TXT"}));

  archive = Open("unicode_path_only.zip");
  ASSERT_EQ(archive->ItemCount(), 1);
  EXPECT_EQ(archive->Item(0).UnicodeName(), "Ärger€.txt");
  EXPECT_EQ(archive->Item(0).NameOrigin(), noUnicodePathField);
  EXPECT_EQ(archive->Item(0).ItemName(), os::OemToChar("\x8Erger.txt"));
}

// Streamed archives end each member with a data descriptor (some with 8-byte
// sizes): each span runs exactly to the next member, never into it.
TEST_F(RealWorld, DataDescriptorsAreSpannedWithoutOverlap) {
  for (const char* name : {"zip_stream.zip", "python_stream.zip", "python_stream64.zip",
                           "bsdtar.zip", "bsdtar_zip64.zip"}) {
    SCOPED_TRACE(name);
    auto archive = Open(name);
    for (int32_t i = 0; i < archive->ItemCount(); ++i) {
      TAbZipItem& item = archive->Item(i);
      const auto span = ReadMemberSpan(archive->Stream(), PlaceOf(item));
      ASSERT_TRUE(span.has_value());
      const uint64_t next = i + 1 < archive->ItemCount()
                                ? archive->Item(i + 1).LocalHeaderOffset64()
                                : archive->DirectoryOffset64();
      EXPECT_EQ(span->end, next) << item.UnicodeName();
      EXPECT_NO_THROW(Decode(*archive, item));
      EXPECT_FALSE(item.SpanOverlaps());
    }
  }
}

TEST_F(RealWorld, SeventyThousandMembersThroughTheZip64Records) {
  auto archive = Open("many_members.zip");
  ASSERT_EQ(archive->ItemCount(), 70'000);
  EXPECT_TRUE(archive->IsZip64());
  EXPECT_EQ(archive->TotalEntries64(), 70'000u);
  EXPECT_EQ(archive->EndRecord().TotalEntries(), 0xFFFF);
  for (int32_t i : {0, 65'535, 65'536, 69'999}) {
    TAbZipItem& item = archive->Item(i);
    EXPECT_EQ(item.UnicodeName(),
              "m/" + std::string(5 - std::to_string(i).size(), '0') + std::to_string(i));
    EXPECT_EQ(Decode(*archive, item), std::to_string(i));
  }
  EXPECT_FALSE(archive->Item(69'999).SpanOverlaps());
}

// Both forms of the overlapping-member bomb: listed, never decoded, nothing
// written; the members of a sound archive opened beside them still extract.
TEST_F(RealWorld, OverlappingMembersAreRefusedButListed) {
  testing_support::ScratchFolder scratch;
  for (const auto& [name, count] :
       std::map<std::string, int32_t>{{"overlap_full.zip", 50}, {"overlap_quoted.zip", 10}}) {
    SCOPED_TRACE(name);
    auto archive = Open(name);
    ASSERT_EQ(archive->ItemCount(), count);
    archive->SetBaseFolder(scratch.Program());
    archive->ExtractHook = [](TAbZipArchive& sender, TAbZipItem& item, const std::string& target) {
      ExtractMember(sender, item, target);
    };
    std::vector<int32_t> failures;
    archive->OnItemFailure = [&](TAbArchive&, TAbArchiveItem&, TAbItemOperation,
                                 TAbFailureKind kind, int32_t number) {
      EXPECT_EQ(kind, fkArchive);
      failures.push_back(number);
    };
    archive->ExtractMatching("*");
    EXPECT_EQ(failures, std::vector<int32_t>(static_cast<size_t>(count), AbZipOverlap));
    EXPECT_TRUE(fs::is_empty(scratch.Native()));
    rtl::TMemoryStream output;
    EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(0), &output), EAbZipOverlap);
    EXPECT_EQ(output.Size(), 0);
  }
}

// Data that decodes only by running on past its member's declared span,
// through the next member's header: refused, with nothing written, while the
// member it runs into still decodes from its own span.
TEST_F(RealWorld, NoMemberReadsPastItsCompressedSize) {
  for (const char* name : {"quoted_short.zip", "quoted_short64.zip", "stored_short.zip"}) {
    SCOPED_TRACE(name);
    auto archive = Open(name);
    const int32_t last = archive->ItemCount() - 1;
    for (int32_t i = 0; i < last; ++i) {
      rtl::TMemoryStream output;
      EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(i), &output),
                   EAbZipPastCompressedSize);
      EXPECT_EQ(output.Size(), 0);
      TAbBitBucketStream bucket;
      EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(i), &bucket),
                   EAbZipPastCompressedSize);
    }
    EXPECT_EQ(Decode(*archive, archive->Item(last)).size(),
              archive->Item(last).UncompressedSize64());
  }
}

TEST_F(RealWorld, ALyingSizeStopsAtTheSizeDeclared) {
  auto archive = Open("lying_size.zip");
  TAbZipItem& liar = archive->Item(0);
  EXPECT_EQ(liar.UncompressedSize64(), 1000u);
  rtl::TMemoryStream output;
  EXPECT_THROW(DecodeMemberToStream(*archive, liar, &output), EAbZipSizeExceeded);
  EXPECT_LE(output.Size(), 1000);
  // Testing hands nothing on, and still counts what the member produces.
  TAbBitBucketStream bucket;
  EXPECT_THROW(DecodeMemberToStream(*archive, liar, &bucket), EAbZipSizeExceeded);

  testing_support::ScratchFolder scratch;
  archive->SetBaseFolder(scratch.Program());
  EXPECT_THROW(ExtractMember(*archive, liar, "liar.bin"), EAbZipSizeExceeded);
  EXPECT_TRUE(fs::is_empty(scratch.Native()));
}

}  // namespace
