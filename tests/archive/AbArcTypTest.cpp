// Finding the end record, loading the catalogue, the name index, the base
// folder and opening archive files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/AbArcTyp.h"
#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "os/os.h"
#include "rtl/Stream.h"
#include "support/Corpus.h"
#include "support/ZipBuilder.h"
#include "zip/engine/AbSpanSt.h"

namespace {

using namespace ab;
using testing_support::ScratchFolder;
using testing_support::ZipBuilder;

// A native path in the full Windows form the archive's constructor requires.
std::string FullPath(const std::string& native) {
  return os::ExpandFileName(testing_support::ProgramPath(native));
}

rtl::TMemoryStream StreamOf(const std::vector<uint8_t>& bytes) {
  return rtl::TMemoryStream(bytes);
}

int64_t EndOf(const std::vector<uint8_t>& bytes) {
  rtl::TMemoryStream stream = StreamOf(bytes);
  const int64_t at = FindEndRecord(stream);
  if (at >= 0) {
    EXPECT_EQ(stream.Position(), at);
  }
  return at;
}

TEST(FindEndRecord, QuickPathWhenThereIsNoComment) {
  ZipBuilder b;
  b.prefix = std::string(70000, 'x');
  b.Add("a", "1");
  const auto bytes = b.Build();
  EXPECT_EQ(EndOf(bytes), static_cast<int64_t>(bytes.size()) - 22);
}

TEST(FindEndRecord, CommentsUpToTheLargestLength) {
  for (size_t length : {1u, 100u, 489u, 490u, 491u, 2000u, 65535u}) {
    ZipBuilder b;
    b.Add("a", "1");
    b.archiveComment = std::string(length, 'c');
    const auto bytes = b.Build();
    EXPECT_EQ(EndOf(bytes), static_cast<int64_t>(bytes.size() - 22 - length)) << length;
  }
}

TEST(FindEndRecord, FalseSignatureInTheCommentIsPassedOver) {
  // The comment ends in the signature bytes with too short a tail; the true
  // record stands in the same first window, before it.
  ZipBuilder b;
  b.Add("a", "1");
  b.archiveComment = std::string(60, 'c') + "PK\5\6" + std::string(36, 'd');
  auto bytes = b.Build();
  const int64_t expected = static_cast<int64_t>(bytes.size()) - 22 - 100;
  EXPECT_EQ(EndOf(bytes), expected);
  // The same with the record several windows back.
  b.archiveComment = std::string(3000, 'c') + "PK\5\6" + std::string(16, 'd');
  bytes = b.Build();
  EXPECT_EQ(EndOf(bytes), static_cast<int64_t>(bytes.size()) - 22 - 3020);
}

TEST(FindEndRecord, NoRecordLeavesTheStreamWhereItWas) {
  std::vector<uint8_t> bytes(200000, 'z');
  rtl::TMemoryStream stream = StreamOf(bytes);
  stream.Seek(1234, rtl::soBeginning);
  EXPECT_EQ(FindEndRecord(stream), -1);
  EXPECT_EQ(stream.Position(), 1234);
}

TEST(FindEndRecord, FilesUnder22BytesFailWithAReadError) {
  for (size_t size : {1u, 21u}) {
    rtl::TMemoryStream stream = StreamOf(std::vector<uint8_t>(size, 'P'));
    EXPECT_THROW(FindEndRecord(stream), rtl::EReadError) << size;
  }
  ZipBuilder b;  // exactly 22 bytes: the empty archive
  EXPECT_EQ(EndOf(b.Build()), 0);
}

TEST(FindEndRecord, RecordAtTheVeryStartOfALargerFile) {
  ZipBuilder b;
  b.archiveComment = std::string(65000, 'c');
  EXPECT_EQ(EndOf(b.Build()), 0);
}

TEST(LoadCatalogue, ItemsInDirectoryOrderWithOffsetsFromTheFileStart) {
  ZipBuilder b;
  b.prefix = std::string(5000, '\x90');  // an executable in front
  b.Add("one.txt", "1").Add("two/three.txt", "333").Add("four", "");
  auto archive = b.Open();
  int loaded = 0;
  archive->OnCatalogueLoaded = [&](TAbArchive&) { ++loaded; };
  std::vector<int> progress;
  archive->OnOverallProgress = [&](TAbArchive&, uint8_t p, bool&) { progress.push_back(p); };
  archive->LoadCatalogue();
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(archive->State(), stIdle);
  ASSERT_EQ(archive->ItemCount(), 3);
  EXPECT_EQ(archive->Item(1).ItemName(), "two/three.txt");
  EXPECT_EQ(archive->Item(1).DiskName(), "two\\three.txt");
  EXPECT_EQ(archive->Item(0).RelativeOffset(), 5000u);
  EXPECT_EQ(archive->Item(1).UncompressedSize(), 3u);
  EXPECT_EQ(archive->Item(1).Crc32(), Crc32("333", 3));
  EXPECT_EQ(archive->EndRecord().TotalEntries(), 3);
  EXPECT_EQ(archive->CurrentPart(), 0);
  EXPECT_EQ(progress, (std::vector<int>{33, 66, 100, 100}));
}

// An entry count that is not the directory's: refused, or, where tolerated,
// read as far as the count allows. The progress is (i x 100) div the stated
// total while reading, kept to a byte: 0 for a total of 0, and past 100
// (wrapping) for a total below the count.
TEST(LoadCatalogue, ACountThatDisagreesIsRefusedUnlessTolerated) {
  for (const auto& [total, progressExpected] : std::vector<std::pair<int, std::vector<int>>>{
           {0, {0, 0, 0, 100}}, {1, {100, 200, 300 - 256, 100}}}) {
    SCOPED_TRACE(total);
    ZipBuilder b;
    b.Add("a", "1").Add("b", "2").Add("c", "3");
    b.totalEntriesOverride = total;
    auto strict = b.Open();
    EXPECT_THROW(strict->LoadCatalogue(), EAbZipDirectoryMismatch);
    EXPECT_EQ(strict->State(), stInvalid);

    auto tolerant = b.Open();
    tolerant->SetToleratesDirectoryMismatch(true);
    std::vector<int> progress;
    tolerant->OnOverallProgress = [&](TAbArchive&, uint8_t p, bool&) { progress.push_back(p); };
    tolerant->LoadCatalogue();
    EXPECT_TRUE(tolerant->DirectoryMismatch());
    EXPECT_EQ(tolerant->ItemCount(), total);
    EXPECT_EQ(progress, progressExpected);
  }
}

// Count and size that agree with each other but cover only the first of
// three entries: a scanner trusting them checks one member, so no more are
// read, and the entries past the declared size make the archive damaged.
TEST(LoadCatalogue, EntriesPastTheDeclaredSizeAreNotRead) {
  ZipBuilder whole;
  whole.Add("a", "1").Add("b", "2").Add("c", "3");
  ZipBuilder b = whole;
  b.totalEntriesOverride = 1;
  b.directorySizeOverride = 46 + 1;  // the first entry's fixed part and name
  EXPECT_THROW(b.Open()->LoadCatalogue(), EAbZipDirectoryMismatch);
  auto tolerant = b.Open();
  tolerant->SetToleratesDirectoryMismatch(true);
  tolerant->LoadCatalogue();
  EXPECT_TRUE(tolerant->DirectoryMismatch());
  ASSERT_EQ(tolerant->ItemCount(), 1);
  EXPECT_EQ(tolerant->Item(0).UnicodeName(), "a");
  auto sound = whole.Open();
  sound->LoadCatalogue();
  EXPECT_FALSE(sound->DirectoryMismatch());
}

TEST(LoadCatalogue, AbortMakesTheArchiveInvalid) {
  ZipBuilder b;
  b.Add("a", "1").Add("b", "2");
  auto archive = b.Open();
  archive->OnOverallProgress = [](TAbArchive&, uint8_t, bool& abort) { abort = true; };
  EXPECT_THROW(archive->LoadCatalogue(), EAbUserAbort);
  EXPECT_EQ(archive->State(), stInvalid);
}

TEST(LoadCatalogue, NoArchiveIsRefusedAndMarkedInvalid) {
  auto archive = std::make_unique<TAbZipArchive>(
      std::make_unique<rtl::TMemoryStream>(std::vector<uint8_t>(300, 'M')));
  int loaded = 0;
  archive->OnCatalogueLoaded = [&](TAbArchive&) { ++loaded; };
  EXPECT_THROW(archive->LoadCatalogue(), EAbZipInvalid);
  EXPECT_EQ(archive->State(), stInvalid);
  EXPECT_EQ(loaded, 1);
  EXPECT_THROW(archive->ExtractMatching("*.*"), EAbNoArchive);
}

TEST(LoadCatalogue, EmptyFileIsAnEmptyArchive) {
  auto archive = std::make_unique<TAbZipArchive>(std::make_unique<rtl::TMemoryStream>());
  archive->LoadCatalogue();
  EXPECT_EQ(archive->ItemCount(), 0);
  EXPECT_EQ(archive->State(), stIdle);
}

TEST(LoadCatalogue, DamagedDirectoryKeepsTheItemsBeforeIt) {
  ZipBuilder b;
  b.Add("a", "1").Add("b", "2");
  auto bytes = b.Build();
  // The second central header's signature: the directory starts after the
  // two local headers (31 + 1 bytes each) and the first header (46 + 1).
  bytes[32 * 2 + 47] = 'X';
  TAbZipArchive archive(std::make_unique<rtl::TMemoryStream>(bytes));
  EXPECT_THROW(archive.LoadCatalogue(), EAbZipInvalid);
  EXPECT_EQ(archive.ItemCount(), 1);
  EXPECT_EQ(archive.State(), stIdle);
}

TEST(LoadCatalogue, OffsetsCountedFromTheZipPartAreRefused) {
  ZipBuilder inner;
  inner.Add("a.txt", "hello");
  const auto zip = inner.Build();
  std::string text(3000, 'E');
  text.append(zip.begin(), zip.end());
  const std::vector<uint8_t> bytes(text.begin(), text.end());
  TAbZipArchive archive(std::make_unique<rtl::TMemoryStream>(bytes));
  EXPECT_THROW(archive.LoadCatalogue(), EAbZipInvalid);
}

TEST(LoadCatalogue, DirectoryBehindTheEndRecordIsRefused) {
  ZipBuilder b;
  b.Add("a", "1");
  b.directoryOffsetOverride = 0x7FFFFFFF;
  auto archive = b.Open();
  EXPECT_THROW(archive->LoadCatalogue(), EAbZipInvalid);
  EXPECT_EQ(archive->ItemCount(), 0);
}

TEST(LoadCatalogue, MultiPartSetsAreRefused) {
  ZipBuilder b;
  b.Add("a", "1");
  b.diskNumber = 1;
  auto archive = b.Open();
  EXPECT_THROW(archive->LoadCatalogue(), EAbZipInvalid);
  EXPECT_EQ(archive->State(), stInvalid);
  ZipBuilder spanned;
  spanned.prefix = "PK\7\x08";
  spanned.Add("a", "1");
  archive = spanned.Open();
  EXPECT_THROW(archive->LoadCatalogue(), EAbZipInvalid);
  std::vector<uint8_t> pkOnly(100, 0);
  pkOnly[0] = 'P';
  pkOnly[1] = 'K';
  TAbZipArchive noEnd(std::make_unique<rtl::TMemoryStream>(pkOnly));
  EXPECT_THROW(noEnd.LoadCatalogue(), EAbZipInvalid);
  // A split that needed one part is marked so, and is a whole archive.
  ZipBuilder onePart;
  onePart.prefix = "PK00";
  onePart.Add("a", "1");
  archive = onePart.Open();
  archive->LoadCatalogue();
  ASSERT_EQ(archive->ItemCount(), 1);
  rtl::TMemoryStream data;
  DecodeMemberToStream(*archive, archive->Item(0), &data);
  EXPECT_EQ(data.Size(), 1);
}

// The bytes of a ZIP64 locator that says "five disks" at the end of the last
// entry's name, just where a real locator would stand: no record behind it
// checks out, so the archive is read as the plain one it is.
TEST(LoadCatalogue, AZip64LocatorInANameIsNoLocator) {
  ZipBuilder b;
  b.Add("a", "1");
  std::string name = "x/PK\x06\x07";
  name += ZipBuilder::Le32(0) + ZipBuilder::Le64(0) + ZipBuilder::Le32(5);
  b.Add(name, "2");
  auto archive = b.Open();
  archive->LoadCatalogue();
  EXPECT_EQ(archive->ItemCount(), 2);
  EXPECT_FALSE(archive->IsZip64());
}

TEST(LoadCatalogue, LoadingTwiceReplacesTheCatalogue) {
  ZipBuilder b;
  b.Add("a", "1").Add("b", "2");
  auto archive = b.Open();
  archive->LoadCatalogue();
  archive->LoadCatalogue();
  EXPECT_EQ(archive->ItemCount(), 2);
  EXPECT_EQ(archive->Items().FindByName("a"), 0);
}

TEST(NameIndex, LookupsIgnoreAsciiCaseAndFindTheLaterDuplicate) {
  ZipBuilder b;
  b.Add("Docs/Read.me", "1").Add("x", "2").Add("DOCS/READ.ME", "3");
  auto archive = b.Open();
  archive->LoadCatalogue();
  TAbArchiveList& list = archive->Items();
  EXPECT_EQ(list.FindByName("docs/read.me"), 2);
  EXPECT_EQ(list.FindByName("X"), 1);
  EXPECT_EQ(list.FindByName("missing"), -1);
  list.Item(2).SetPendingAction(paDelete);
  list.Item(0).SetPendingAction(paDelete);
  EXPECT_FALSE(list.HasLiveName("docs/READ.me"));
  list.Item(0).SetPendingAction(paNone);
  EXPECT_TRUE(list.HasLiveName("docs/READ.me"));
  list.DeleteItem(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.FindByName("docs/read.me"), 0);
  list.DeleteItem(0);
  EXPECT_EQ(list.FindByName("x"), 0);  // indexes follow the removal
  EXPECT_THROW(list.Item(5), rtl::EListError);
}

TEST(NameIndex, ManyNamesAreAllFoundWhateverTheirCase) {
  ZipBuilder b;
  for (int i = 0; i < 3000; ++i) b.Add("file" + std::to_string(i) + ".dat", "");
  auto archive = b.Open();
  archive->LoadCatalogue();
  for (int i = 0; i < 3000; i += 7)
    ASSERT_EQ(archive->Items().FindByName("FILE" + std::to_string(i) + ".DAT"), i);
}

TEST(BaseFolder, TrailingBackslashRootsAndMissingFolders) {
#ifdef _WIN32
  GTEST_SKIP() << "builds its folders with names Windows does not allow ('?')";
#endif
  ScratchFolder scratch;
  auto archive = ZipBuilder().Open();
  const std::string folder = scratch.Program();
  archive->SetBaseFolder(folder + "\\");
  EXPECT_EQ(archive->BaseFolder(), folder);
  archive->SetBaseFolder("");
  EXPECT_EQ(archive->BaseFolder(), "");
  archive->SetBaseFolder(folder);
  EXPECT_THROW(archive->SetBaseFolder(folder + "\\missing"), EAbNoSuchDirectory);
  EXPECT_EQ(archive->BaseFolder(), folder);
  EXPECT_THROW(archive->SetBaseFolder(folder + "\\*"), EAbNoSuchDirectory);
  std::filesystem::create_directory(scratch.Native() + "/q?");
  EXPECT_FALSE(FolderExists(folder + "\\q?"));
  std::ofstream(scratch.Native() + "/file.txt") << "x";
  EXPECT_THROW(archive->SetBaseFolder(folder + "\\file.txt"), EAbNoSuchDirectory);
  archive->SetBaseFolder("Z:\\");  // the Unix root on the stand-in
  EXPECT_EQ(archive->BaseFolder(), "Z:\\");
  archive->SetBaseFolder("\\");
  EXPECT_EQ(archive->BaseFolder(), "\\");
}

TEST(FolderChain, CreatesEachMissingFolderOutermostFirst) {
  ScratchFolder scratch;
  const std::string deep = scratch.Program() + "\\one\\two\\three";
  EXPECT_TRUE(CreateFolderChain(deep));
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native() + "/one/two/three"));
  EXPECT_TRUE(CreateFolderChain(deep));  // there already
  // A file in the way ends the walk, with the system's reason.
  std::ofstream(scratch.Native() + "/one/file") << "x";
  EXPECT_FALSE(CreateFolderChain(scratch.Program() + "\\one\\file\\below\\deeper"));
  EXPECT_NE(os::LastError(), 0u);
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch.Native() + "/one/file"));
}

TEST(FolderChain, TheFirstFolderOfARelativePathIsNeverCreated) {
  EXPECT_FALSE(CreateFolderChain("no-such-folder-anywhere\\bin\\temp"));
  EXPECT_FALSE(std::filesystem::exists("no-such-folder-anywhere"));
  // A single folder has nothing above it: it is the one created.
  ScratchFolder scratch;
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(scratch.Native());
  const bool made = CreateFolderChain("alone");
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(made);
  EXPECT_TRUE(std::filesystem::is_directory(scratch.Native() + "/alone"));
}

TEST(BaseFolder, LongPathsAreHandled) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows' ANSI file calls stop at MAX_PATH, below this test's paths";
#endif
  ScratchFolder scratch;
  std::string native = scratch.Native();
  while (native.size() < 400) {
    native += "/a_rather_long_folder_name";
    std::filesystem::create_directory(native);
  }
  auto archive = ZipBuilder().Open();
  const std::string program = testing_support::ProgramPath(native);
  archive->SetBaseFolder(program + "\\");
  EXPECT_EQ(archive->BaseFolder(), program);
}

TEST(BaseFolder, StartsAsTheRunningProgramsFolder) {
  auto archive = ZipBuilder().Open();
  const std::string module = os::ModuleFileName();
  EXPECT_EQ(archive->BaseFolder(), module.substr(0, module.find_last_of('\\')));
  EXPECT_TRUE(FolderExists(archive->BaseFolder()));
}

TEST(ArchiveFile, OpensAFullPathAndRefusesOthers) {
  ScratchFolder scratch;
  ZipBuilder b;
  b.Add("a.txt", "hi");
  const auto bytes = b.Build();
  const std::string native = scratch.Native() + "/t.zip";
  std::ofstream(native, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  TAbZipArchive archive(FullPath(native), rtl::fmShareDenyNone);
  archive.LoadCatalogue();
  ASSERT_EQ(archive.ItemCount(), 1);
  EXPECT_EQ(archive.Item(0).ItemName(), "a.txt");
  EXPECT_EQ(archive.State(), stIdle);
  EXPECT_EQ(archive.OpenMode(), rtl::fmShareDenyNone);

  try {
    TAbZipArchive relative("t.zip", rtl::fmShareDenyNone);
    FAIL() << "a relative name was opened";
  } catch (const EAbException& e) {
    EXPECT_EQ(e.Message(), "Full Path Required");
    EXPECT_EQ(e.ErrorNumber(), 0);
  }
  const std::string missing = FullPath(scratch.Native() + "/none.zip");
  try {
    TAbZipArchive none(missing, rtl::fmShareDenyNone);
    FAIL() << "a missing file was opened";
  } catch (const rtl::EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + missing);
  }
  EXPECT_THROW(TAbZipArchive(FullPath(native), rtl::fmOpenReadWrite), EAbException);
  EXPECT_EQ(testing_support::ReadWholeFile(native).size(), bytes.size());
}

TEST(ArchiveFile, CorpusSelfExtractorWithOffsetsFromTheFileStart) {
  REQUIRE_CORPUS();
  TAbZipArchive archive(FullPath(testing_support::CorpusFile("compat/prepended.zip")),
                        rtl::fmShareDenyNone);
  archive.LoadCatalogue();
  EXPECT_GT(archive.ItemCount(), 0);
  EXPECT_GT(archive.Item(0).RelativeOffset(), 0u);
}

TEST(ArchiveFile, CorpusLegacyArchive) {
  REQUIRE_CORPUS();
  TAbZipArchive archive(FullPath(testing_support::CorpusFile("legacy/HWIMPODE.ZIP")),
                        rtl::fmShareDenyNone);
  archive.LoadCatalogue();
  ASSERT_EQ(archive.ItemCount(), 3);
  EXPECT_EQ(archive.Item(2).ItemName(), "TESTDAT3.TXT");
  EXPECT_EQ(archive.Item(2).CompressionMethod(), 6);
  EXPECT_EQ(archive.Item(2).Crc32(), 0xC065E9C4u);
  EXPECT_EQ(archive.Item(0).DictionarySize(), ds8K);
  EXPECT_EQ(archive.Item(0).ShannonFanoTreeCount(), 3);
}

}  // namespace
