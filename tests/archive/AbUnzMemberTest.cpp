// The member decoder end to end: archives built in memory are extracted into
// scratch folders, and what lands on disk (or does not) is checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "archive/AbUnzMember.h"
#include "support/AbDfTestSupport.h"
#include "support/Corpus.h"
#include "support/ZipBuilder.h"

using namespace ab;
using testing_support::ScratchFolder;
using testing_support::ZipBuilder;
using testing_support::ZipMember;

namespace {

namespace fs = std::filesystem;

// A raw Deflate stream of stored blocks: decodable by any inflater and
// needing no encoder.
std::string StoredDeflate(const std::string& data) {
  std::string out;
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(data.size() - at, 65535);
    const bool last = at + n == data.size();
    out += static_cast<char>(last ? 1 : 0);
    ZipBuilder::U16(out, static_cast<uint16_t>(n));
    ZipBuilder::U16(out, static_cast<uint16_t>(~n));
    out += data.substr(at, n);
    at += n;
  } while (at < data.size());
  return out;
}

ZipMember Deflated(const std::string& name, const std::string& data) {
  ZipMember m;
  m.name = name;
  m.data = data;
  m.method = 8;
  m.payload = StoredDeflate(data);
  m.hasPayload = true;
  return m;
}

ZipMember Encrypted(ZipMember m, const std::string& password) {
  const std::string plain = m.hasPayload ? m.payload : m.data;
  const dftest::Bytes cipher =
      dftest::Encrypt(dftest::Bytes(plain.begin(), plain.end()), password,
                      static_cast<uint8_t>(Crc32(m.data.data(), m.data.size()) >> 24));
  m.payload.assign(cipher.begin(), cipher.end());
  m.hasPayload = true;
  m.flags |= 1;
  return m;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An archive on a built image with the member decoder as its hook and the
// scratch folder as its base.
struct Extraction {
  ScratchFolder folder;
  std::unique_ptr<TAbZipArchive> archive;
  std::vector<std::string> failures;  // "name kind number"

  explicit Extraction(const ZipBuilder& builder, bool reportFailures = true) {
    archive = builder.Open();
    archive->LoadCatalogue();
    archive->ExtractHook = [](TAbZipArchive& sender, TAbZipItem& item, const std::string& name) {
      ExtractMember(sender, item, name);
    };
    archive->SetBaseFolder(folder.Program());
    if (reportFailures) {
      archive->OnItemFailure = [this](TAbArchive&, TAbArchiveItem& item, TAbItemOperation,
                                      TAbFailureKind kind, int32_t number) {
        failures.push_back(item.ItemName() + " " + std::to_string(kind) + " " +
                           std::to_string(number));
      };
    }
  }
  std::string Path(const std::string& relative) const { return folder.Native() + "/" + relative; }
  bool Has(const std::string& relative) const { return fs::exists(Path(relative)); }
};

}  // namespace

TEST(MemberDecoding, StoredAndDeflatedMembersAreWrittenAndStamped) {
  ZipBuilder b;
  ZipMember stored;
  stored.name = "plain.txt";
  stored.data = "stored bytes";
  stored.date = 0x5A8E;  // 2025-04-14
  stored.time = 0x6000;  // 12:00:00
  b.Add(stored).Add(Deflated("packed.txt", std::string(200000, 'x') + "end"));
  Extraction x(b);
  x.archive->ExtractMatching("*.*");
  EXPECT_TRUE(x.failures.empty()) << x.failures[0];
  EXPECT_EQ(ReadText(x.Path("plain.txt")), "stored bytes");
  EXPECT_EQ(ReadText(x.Path("packed.txt")), std::string(200000, 'x') + "end");

  std::tm local{};
  local.tm_year = 125;
  local.tm_mon = 3;
  local.tm_mday = 14;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const auto when = os::LastWriteTime(x.folder.Program() + "\\plain.txt");
  ASSERT_TRUE(when.has_value());
  EXPECT_EQ(*when, static_cast<int64_t>(std::mktime(&local)));
  const uint32_t attributes = os::FileAttributes(x.folder.Program() + "\\plain.txt");
  EXPECT_EQ(attributes & ~os::faNormal, os::faArchive);
}

TEST(MemberDecoding, EmptyStoredMemberReportsOnceWithHundred) {
  ZipBuilder b;
  b.Add("empty.dat", "");
  Extraction x(b);
  std::vector<int> reports;
  x.archive->OnItemProgress = [&](TAbArchive&, TAbArchiveItem&, uint8_t percent, bool&) {
    reports.push_back(percent);
  };
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(reports, std::vector<int>{100});
  EXPECT_TRUE(x.Has("empty.dat"));
  EXPECT_EQ(fs::file_size(x.Path("empty.dat")), 0u);
}

TEST(MemberDecoding, StoredFoldersFollowTheUnpackFlags) {
  ZipBuilder b;
  b.Add("docs/readme.txt", "read me");
  {
    Extraction x(b);  // defaults: the bare name straight into the base folder
    x.archive->ExtractMatching("*.*");
    EXPECT_EQ(ReadText(x.Path("readme.txt")), "read me");
  }
  {
    Extraction x(b);
    x.archive->SetUnpackFlags(ufRestorePath);
    x.archive->ExtractMatching("*.*");
    EXPECT_EQ(x.failures, std::vector<std::string>{"docs/readme.txt 0 19"});
    EXPECT_FALSE(x.Has("docs"));
  }
  {
    Extraction x(b);
    x.archive->SetUnpackFlags(ufRestorePath | ufCreateFolders);
    x.archive->SetBaseFolder(x.folder.Program() + "\\");  // a trailing `\` changes nothing
    x.archive->ExtractMatching("*.*");
    EXPECT_EQ(ReadText(x.Path("docs/readme.txt")), "read me");
  }
}

TEST(MemberDecoding, NamesThatClimbOutOfTheBaseFolderAreRefused) {
  ZipBuilder b;
  b.Add("../escaped.txt", "x").Add("\\rooted.txt", "x").Add("C:evil.txt", "x");
  b.Add("a/../../deep.txt", "x").Add("fine/ok.txt", "ok");
  Extraction x(b);
  x.archive->SetUnpackFlags(ufRestorePath | ufCreateFolders);
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(x.failures.size(), 4u);
  for (const std::string& f : x.failures) EXPECT_NE(f.find(" 0 0"), std::string::npos) << f;
  EXPECT_FALSE(fs::exists(fs::path(x.folder.Native()).parent_path() / "escaped.txt"));
  EXPECT_FALSE(fs::exists(fs::path(x.folder.Native()).parent_path() / "deep.txt"));
  EXPECT_EQ(ReadText(x.Path("fine/ok.txt")), "ok");
}

// A member named as a device would send its bytes to the port or the
// console: it fails and is skipped, in the base folder and below it, and the
// names that only resemble a device are files as ever.
TEST(MemberDecoding, DeviceNamesAreNeverOpened) {
  ZipBuilder b;
  // \xFD is the superscript two of code page 437.
  b.Add("COM1", "port").Add("aux.txt", "aux").Add("Nul ", "nul").Add("lpt\xFD", "lpt");
  b.Add("docs/con/x.txt", "con").Add("CONSOLE.txt", "file").Add("COM10", "file");
  Extraction x(b);
  x.archive->SetUnpackFlags(ufRestorePath | ufCreateFolders);
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(x.failures.size(), 5u);
  for (const std::string& f : x.failures) EXPECT_NE(f.find(" 0 0"), std::string::npos) << f;
  std::set<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(x.folder.Native()))
    written.insert(fs::relative(entry.path(), x.folder.Native()).generic_string());
  EXPECT_EQ(written, (std::set<std::string>{"CONSOLE.txt", "COM10"}));
}

TEST(MemberDecoding, OverwriteQueryMayDeclineOrRename) {
  ZipBuilder b;
  b.Add("a.txt", "new");
  Extraction x(b);
  std::ofstream(x.Path("a.txt")) << "old";
  x.archive->OnOverwriteQuery = [](std::string&, bool& confirm) { confirm = false; };
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(ReadText(x.Path("a.txt")), "old");
  x.archive->OnOverwriteQuery = [](std::string& name, bool&) { name += ".renamed"; };
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(ReadText(x.Path("a.txt")), "old");
  EXPECT_EQ(ReadText(x.Path("a.txt.renamed")), "new");
  x.archive->OnOverwriteQuery = nullptr;
  x.archive->ExtractMatching("*.*");
  EXPECT_EQ(ReadText(x.Path("a.txt")), "new");
  EXPECT_TRUE(x.failures.empty());
}

TEST(MemberDecoding, VersionNeededIsCheckedBeforeTheMethod) {
  ZipBuilder b;
  ZipMember lzma;
  lzma.name = "lzma.bin";
  lzma.data = "data";
  lzma.method = 14;
  lzma.version = 21;
  b.Add(lzma);
  ZipMember seven = lzma;
  seven.name = "seven.bin";
  seven.method = 7;
  seven.version = 20;
  b.Add(seven);
  ZipMember highByte;
  highByte.name = "unix.txt";
  highByte.data = "made elsewhere";
  highByte.version = 0x0314;  // the high byte names the maker only
  b.Add(highByte);
  ZipMember newer = highByte;
  newer.name = "newer.txt";
  newer.version = 51;  // but nothing here needs more than this reader has
  b.Add(newer);
  // Refused by default, as the installer wants; decoded where the reader is
  // told to take what it can read.
  for (const bool accept : {false, true}) {
    Extraction x(b);
    x.archive->SetAcceptsNewerVersions(accept);
    x.archive->ExtractMatching("*.*");
    // The lenient reader names the methods it lacks (60) instead of asking
    // for a newer version of itself (1) or calling the method invalid (2).
    std::vector<std::string> failures{"lzma.bin 0 1", "seven.bin 0 2", "newer.txt 0 1"};
    if (accept) failures = {"lzma.bin 0 60", "seven.bin 0 60"};
    EXPECT_EQ(x.failures, failures);
    EXPECT_FALSE(x.Has("lzma.bin"));
    EXPECT_FALSE(x.Has("seven.bin"));
    EXPECT_EQ(ReadText(x.Path("unix.txt")), "made elsewhere");
    EXPECT_EQ(x.Has("newer.txt"), accept);
  }
}

// What the installer's road refuses or converts before any data is read: a
// damaged extra field, central or local, skips the member; a name flagged as
// UTF-8 is written under its Windows-1252 spelling, not taken for OEM bytes.
TEST(MemberDecoding, DamagedExtraFieldsAreRefusedAndUtf8NamesConverted) {
  const std::string damaged =
      ZipBuilder::ExtraBlock(0x5455, "\x01") + std::string("\x99\x99\x10\x00", 4) + "ab";
  ZipBuilder b;
  ZipMember central;
  central.name = "central.txt";
  central.data = "c";
  central.extra = damaged;
  central.localExtra = "";
  ZipMember local = central;
  local.name = "local.txt";
  local.extra = "";
  local.localExtra = damaged;
  // A time field cut short loses its times, not the member.
  ZipMember times = central;
  times.name = "times.txt";
  times.extra =
      ZipBuilder::ExtraBlock(0x000A, std::string(4, '\0')) + std::string("UT\x09\x00\x01", 5);
  ZipMember utf8;
  utf8.name = "caf\xC3\xA9.txt";
  utf8.data = "u";
  utf8.flags = 0x0800;
  b.Add(central).Add(local).Add(times).Add(utf8);
  Extraction x(b);
  x.archive->ExtractMatching("*.*");
  const std::string badExtra = " 0 " + std::to_string(AbZipBadExtraField);
  EXPECT_EQ(x.failures,
            (std::vector<std::string>{"central.txt" + badExtra, "local.txt" + badExtra}));
  EXPECT_FALSE(x.Has("central.txt"));
  EXPECT_FALSE(x.Has("local.txt"));
  EXPECT_TRUE(x.archive->Item(2).ExtraFieldPartLost());
  EXPECT_EQ(ReadText(x.Path("times.txt")), "c");
  EXPECT_EQ(x.archive->Item(3).ItemName(), "caf\xE9.txt");
  EXPECT_TRUE(os::FileExists(x.folder.Program() + "\\caf\xE9.txt"));
}

// WinZip AES is named as what it is, by its method or by its field, even
// where the writer put version 2.0: never tried as the traditional cipher,
// whose check byte would fail and call the right password wrong.
TEST(MemberDecoding, WinZipAesIsKnownByItsMethodAndFieldNotItsVersion) {
  ZipMember aes;
  aes.name = "aes.txt";
  aes.data = "secret";
  aes.payload = std::string(12, 'x') + "secret" + std::string(10, 'm');
  aes.hasPayload = true;
  aes.flags = 1;
  aes.method = 99;
  aes.extra = ZipBuilder::ExtraBlock(0x9901, std::string("\x02\x00"
                                                         "AE\x03\x08\x00",
                                                         7));
  ZipMember fieldOnly = aes;  // a writer that left the real method in the header
  fieldOnly.name = "field.txt";
  fieldOnly.method = 8;
  ZipBuilder b;
  b.Add(aes).Add(fieldOnly);
  auto archive = b.Open();
  archive->LoadCatalogue();
  archive->SetArchivePassword("right");
  for (int32_t i = 0; i < 2; ++i) {
    rtl::TMemoryStream output;
    EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(i), &output), EAbZipWinZipAes);
  }
}

TEST(MemberDecoding, LocalMethodChoosesTheDecoder) {
  ZipBuilder b;
  ZipMember localStored;  // central says Deflate, local says stored: copied
  localStored.name = "copied.txt";
  localStored.data = "raw bytes";
  localStored.method = 8;
  localStored.localMethod = 0;
  b.Add(localStored);
  ZipMember localDeflate = Deflated("inflated.txt", "deflated bytes");
  localDeflate.method = 0;  // central says stored, local says Deflate: inflated
  localDeflate.localMethod = 8;
  b.Add(localDeflate);
  Extraction x(b);
  x.archive->ExtractMatching("*.*");
  EXPECT_TRUE(x.failures.empty());
  EXPECT_EQ(ReadText(x.Path("copied.txt")), "raw bytes");
  EXPECT_EQ(ReadText(x.Path("inflated.txt")), "deflated bytes");
}

TEST(MemberDecoding, BadCrcRemovesTheFileUnlessAHandlerTakesIt) {
  ZipBuilder b;
  ZipMember bad;
  bad.name = "bad.txt";
  bad.data = "contents";
  bad.crc = 0x12345678;
  b.Add(bad).Add("after.txt", "still written");
  {
    Extraction x(b, false);
    x.archive->ExtractMatching("*.*");  // no handler: silent, file gone
    EXPECT_FALSE(x.Has("bad.txt"));
    EXPECT_EQ(ReadText(x.Path("after.txt")), "still written");
  }
  {
    Extraction x(b);
    x.archive->ExtractMatching("*.*");
    EXPECT_EQ(x.failures, std::vector<std::string>{"bad.txt 0 23"});
    EXPECT_EQ(ReadText(x.Path("bad.txt")), "contents");
  }
}

TEST(MemberDecoding, DataDescriptorFlagChecksAgainstTheDirectory) {
  ZipBuilder b;
  ZipMember m = Deflated("described.txt", "sizes come later");
  m.flags = 0x0008;
  b.Add(m);
  Extraction x(b);
  x.archive->ExtractMatching("*.*");
  EXPECT_TRUE(x.failures.empty());
  EXPECT_EQ(ReadText(x.Path("described.txt")), "sizes come later");
}

TEST(MemberDecoding, PasswordsForStoredAndDeflatedMembers) {
  for (const bool deflated : {false, true}) {
    SCOPED_TRACE(deflated ? "deflated" : "stored");
    ZipMember plain = deflated ? Deflated("secret.txt", "top secret") : ZipMember{};
    if (!deflated) {
      plain.name = "secret.txt";
      plain.data = "top secret";
    }
    ZipBuilder b;
    b.Add(Encrypted(plain, "12345678"));

    {  // the right password: no question asked
      Extraction x(b);
      x.archive->SetArchivePassword("12345678");
      int asked = 0;
      x.archive->OnPasswordRequest = [&](void*, std::string&) { ++asked; };
      x.archive->ExtractMatching("*.*");
      EXPECT_EQ(asked, 0);
      EXPECT_EQ(ReadText(x.Path("secret.txt")), "top secret");
    }
    {  // no password and nobody to ask
      Extraction x(b);
      x.archive->ExtractMatching("*.*");
      EXPECT_EQ(x.failures, std::vector<std::string>{"secret.txt 0 4"});
      EXPECT_FALSE(x.Has("secret.txt"));
    }
    {  // always wrong: asked PasswordTryLimit times
      Extraction x(b);
      int asked = 0;
      x.archive->OnPasswordRequest = [&](void*, std::string& p) {
        ++asked;
        p = "wrong" + std::to_string(asked);
      };
      x.archive->ExtractMatching("*.*");
      EXPECT_EQ(asked, 3);
      EXPECT_EQ(x.failures, std::vector<std::string>{"secret.txt 0 4"});
      EXPECT_FALSE(x.Has("secret.txt"));
    }
    {  // wrong twice, then right: the last answer allowed is tried too
      Extraction x(b);
      std::vector<std::string> answers = {"nope", "no", "12345678"};
      x.archive->OnPasswordRequest = [&](void*, std::string& p) {
        p = answers.front();
        answers.erase(answers.begin());
      };
      x.archive->ExtractMatching("*.*");
      EXPECT_TRUE(x.failures.empty());
      EXPECT_EQ(ReadText(x.Path("secret.txt")), "top secret");
      EXPECT_EQ(x.archive->ArchivePassword(), "12345678");
    }
    {  // an empty first answer is no password
      Extraction x(b);
      x.archive->OnPasswordRequest = [](void*, std::string&) {};
      x.archive->ExtractMatching("*.*");
      EXPECT_EQ(x.failures, std::vector<std::string>{"secret.txt 0 4"});
    }
    {  // an empty answer after a wrong password is an abort
      Extraction x(b);
      x.archive->SetArchivePassword("not it");
      x.archive->OnPasswordRequest = [](void*, std::string&) {};
      x.archive->ExtractMatching("*.*");
      EXPECT_EQ(x.failures, std::vector<std::string>{"secret.txt 0 9"});
      EXPECT_FALSE(x.Has("secret.txt"));
      EXPECT_EQ(x.archive->State(), stInvalid);
    }
  }
}

TEST(MemberDecoding, TestingIntoTheBitBucketWritesNothing) {
  // Counts every byte handed to it before discarding it.
  class TCountingBucket : public TAbBitBucketStream {
   public:
    int32_t Write(const void* buffer, int32_t count) override {
      handed += count;
      return TAbBitBucketStream::Write(buffer, count);
    }
    int64_t handed = 0;
  };
  const std::string text = "decoded but dropped " + std::string(100000, 'd');
  ZipMember damaged = Deflated("damaged.txt", text);
  damaged.payload[damaged.payload.size() - 1] ^= 1;  // the last byte of the stored data
  ZipBuilder b;
  b.Add(Deflated("a.txt", text)).Add(damaged);
  auto archive = b.Open();
  archive->LoadCatalogue();
  // A Deflate member is decoded and checked, and its bytes are only counted.
  TCountingBucket bucket;
  DecodeMemberToStream(*archive, archive->Item(0), &bucket);
  EXPECT_EQ(bucket.handed, 0);
  uint8_t byte = 0;
  EXPECT_EQ(bucket.Read(&byte, 1), 0);
  // The decode is real: a damaged member still fails its check.
  TCountingBucket other;
  EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(1), &other), EAbZipBadCRC);
  EXPECT_EQ(other.handed, 0);
  EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(0), nullptr), EAbBadStream);
}

TEST(MemberDecoding, ThreadsDecodeFromSourcesOfTheirOwn) {
  ZipBuilder b;
  std::vector<std::string> texts;
  for (int i = 0; i < 24; ++i) {
    texts.push_back(std::string(static_cast<size_t>(1000 * i + 1), static_cast<char>('a' + i)) +
                    std::to_string(i));
    ZipMember m = i % 2 == 0 ? Deflated("m" + std::to_string(i), texts.back()) : ZipMember{};
    if (i % 2 != 0) {
      m.name = "m" + std::to_string(i);
      m.data = texts.back();
    }
    b.Add(m);
  }
  ZipMember damaged = Deflated("damaged", std::string(5000, 'x'));
  damaged.payload[damaged.payload.size() - 1] ^= 1;
  b.Add(damaged);
  const std::vector<uint8_t> bytes = b.Build();
  auto archive = b.Open();
  archive->LoadCatalogue();
  int archiveProgress = 0;
  archive->OnItemProgress = [&](TAbArchive&, TAbArchiveItem&, uint8_t, bool&) {
    ++archiveProgress;
  };
  archive->CheckMemberSpans();
  archive->Stream().Seek(7, rtl::soBeginning);

  constexpr int kThreads = 3;
  std::vector<std::vector<std::string>> decoded(kThreads);
  std::vector<int> progressCalls(kThreads, 0);
  std::vector<int> crcFailures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      rtl::TMemoryStream stream{std::vector<uint8_t>(bytes)};
      const TAbMemberSource source{stream, [&, t](uint8_t, bool& abort) {
                                     abort = false;
                                     ++progressCalls[t];
                                   }};
      for (int32_t i = t; i < archive->ItemCount(); i += kThreads) {
        rtl::TMemoryStream out;
        try {
          DecodeMemberToStream(*archive, archive->Item(i), &out, source);
        } catch (const EAbZipBadCRC&) {
          ++crcFailures[t];
        }
        decoded[t].emplace_back(out.Bytes().begin(), out.Bytes().end());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int32_t i = 0; i < static_cast<int32_t>(texts.size()); ++i)
    EXPECT_EQ(decoded[i % kThreads][i / kThreads], texts[i]) << "member " << i;
  EXPECT_EQ(crcFailures[texts.size() % kThreads], 1);
  EXPECT_EQ(crcFailures[0] + crcFailures[1] + crcFailures[2], 1);
  // Progress went to each thread's own forwarder; the archive's stream and
  // its handler were left alone.
  for (int t = 0; t < kThreads; ++t) EXPECT_GT(progressCalls[t], 0) << "thread " << t;
  EXPECT_EQ(archiveProgress, 0);
  EXPECT_EQ(archive->Stream().Position(), 7);
}

TEST(MemberDecoding, EveryCorpusMemberDecodesToItsCrc) {
  REQUIRE_CORPUS();
  // Offsets that count from the start of the ZIP part: read only when the
  // caller allows the shift. Others hold members whose password is not
  // published, or AES.
  const std::map<std::string, uint64_t> shifted = {{"la_zip_sfx.exe", 1024},
                                                   {"la_zip_padded1.zip", 89}};
  const std::vector<std::string> noPassword = {"encrypted_entries_weak.zip",
                                               "PasswordProtected_MixedEncryptions.zip"};
  int decoded = 0;
  for (const char* dir : {"compat", "deflate64", "legacy"}) {
    for (const auto& entry : fs::directory_iterator(testing_support::CorpusFile(dir))) {
      const std::string name = entry.path().filename().string();
      if (name.find(".zip") == std::string::npos && name.find(".ZIP") == std::string::npos &&
          name.find(".exe") == std::string::npos)
        continue;
      SCOPED_TRACE(name);
      TAbZipArchive archive(os::ExpandFileName(testing_support::ProgramPath(entry.path().string())),
                            rtl::fmOpenRead | rtl::fmShareDenyNone);
      const auto shift = shifted.find(name);
      if (shift != shifted.end()) {
        EXPECT_THROW(archive.LoadCatalogue(), EAbZipInvalid);
      }
      archive.SetAllowOffsetShift(true);
      archive.SetAcceptsNewerVersions(true);
      archive.LoadCatalogue();
      // Data in front of an archive whose offsets count it (prepended.zip)
      // is no shift.
      EXPECT_EQ(archive.OffsetShift(), shift == shifted.end() ? 0 : shift->second);
      archive.SetArchivePassword("12345678");
      const bool passwordKnown =
          std::find(noPassword.begin(), noPassword.end(), name) == noPassword.end();
      for (int32_t i = 0; i < archive.ItemCount(); ++i) {
        TAbZipItem& item = archive.Item(i);
        if (!item.ItemName().empty() && item.ItemName().back() == '/') continue;
        rtl::TMemoryStream output;
        if ((item.GeneralPurposeBitFlag() & 0x0040) != 0) {
          // Strong encryption (version 5.x): refused as needing a newer reader.
          EXPECT_THROW(DecodeMemberToStream(archive, item, &output), EAbZipVersion);
        } else if (passwordKnown) {
          EXPECT_NO_THROW(DecodeMemberToStream(archive, item, &output)) << item.ItemName();
          EXPECT_EQ(static_cast<uint64_t>(output.Size()), item.UncompressedSize64())
              << item.ItemName();
          ++decoded;
        } else if (item.IsEncrypted()) {
          EXPECT_ANY_THROW(DecodeMemberToStream(archive, item, &output)) << item.ItemName();
        }
      }
    }
  }
  EXPECT_GT(decoded, 60);
}
