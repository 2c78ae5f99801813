// What a catalogue item makes of its central header: the name rules, `\` as
// a separator or a character, folders, links, modes, attributes, times and
// the ZIP64 values, while the installer's accessors read the record as ever.
#include <gtest/gtest.h>

#include <string>

#include "archive/AbZipTyp.h"
#include "os/os.h"
#include "support/ZipBuilder.h"
#include "zip/engine/AbUtils.h"

namespace {

using namespace ab;
using testing_support::ZipBuilder;

constexpr auto Block = ZipBuilder::ExtraBlock;
constexpr auto U32 = ZipBuilder::Le32;
constexpr auto U64 = ZipBuilder::Le64;

struct Central {
  uint8_t host = 0;
  uint16_t flags = 0;
  std::string name = "a.txt";
  std::string extra;
  uint32_t attributes = 0x20;
  uint32_t compressedSize = 10;
  uint32_t uncompressedSize = 20;
  uint32_t offset = 30;
  uint16_t disk = 0;
};

std::string Bytes(const Central& c) {
  std::string out;
  ZipBuilder::U32(out, 0x02014B50);
  ZipBuilder::U16(out, static_cast<uint16_t>((c.host << 8) | 30));
  ZipBuilder::U16(out, 20);
  ZipBuilder::U16(out, c.flags);
  ZipBuilder::U16(out, 8);
  ZipBuilder::U16(out, 0x6000);
  ZipBuilder::U16(out, 0x5A8E);
  ZipBuilder::U32(out, 0x12345678);
  ZipBuilder::U32(out, c.compressedSize);
  ZipBuilder::U32(out, c.uncompressedSize);
  ZipBuilder::U16(out, static_cast<uint16_t>(c.name.size()));
  ZipBuilder::U16(out, static_cast<uint16_t>(c.extra.size()));
  ZipBuilder::U16(out, 0);
  ZipBuilder::U16(out, c.disk);
  ZipBuilder::U16(out, 0);
  ZipBuilder::U32(out, c.attributes);
  ZipBuilder::U32(out, c.offset);
  return out + c.name + c.extra;
}

std::unique_ptr<TAbZipItem> Load(const Central& c, const TAbZipItemContext& context = {}) {
  const std::string bytes = Bytes(c);
  rtl::TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  auto item = std::make_unique<TAbZipItem>();
  item->LoadFromStream(stream, context);
  return item;
}

std::string UnicodePath(const std::string& stored, const std::string& utf8) {
  return Block(0x7075, "\x01" + U32(Crc32(stored.data(), stored.size())) + utf8);
}

TEST(ZipItemNames, EachRuleInItsOrder) {
  Central c;
  c.flags = 0x0800;  // 1: flag bit 11
  c.name = "中文/файл.txt";
  auto item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "中文/файл.txt");
  EXPECT_EQ(item->NameOrigin(), noUtf8Flag);

  c = Central{};  // 2: the Unicode Path field, whatever the host
  c.name = "f\x81le.txt";
  c.extra = UnicodePath(c.name, "fülé.txt");
  item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "fülé.txt");
  EXPECT_EQ(item->NameOrigin(), noUnicodePathField);

  c = Central{};  // 3: made on Unix, valid UTF-8 without the flag (zip -r on Linux)
  c.host = hsUnix;
  c.name = "ünï/fïle.txt";
  item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "ünï/fïle.txt");
  EXPECT_EQ(item->NameOrigin(), noUnixUtf8);
  c.host = hsMacOsX;
  EXPECT_EQ(Load(c)->NameOrigin(), noUnixUtf8);

  c.host = hsMsDos;  // 4: the same bytes from MS-DOS are code page 437
  item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "├╝n├»/f├»le.txt");
  EXPECT_EQ(item->NameOrigin(), noCodePage);
}

TEST(ZipItemNames, BrokenUtf8AndStaleFieldsFallThrough) {
  Central c;
  c.flags = 0x0800;
  c.host = hsUnix;
  c.name = "caf\x82";  // flagged, but no UTF-8: straight to the code page
  c.extra = UnicodePath(c.name, "café");
  auto item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "café");
  EXPECT_EQ(item->NameOrigin(), noCodePage);

  c.flags = 0;  // the field counts once the flag no longer claims the name
  EXPECT_EQ(Load(c)->NameOrigin(), noUnicodePathField);

  c.extra = UnicodePath("old name", "old name");  // renamed since: the field is stale
  c.name = "renamed.txt";
  item = Load(c);
  EXPECT_EQ(item->UnicodeName(), "renamed.txt");
  EXPECT_EQ(item->NameOrigin(), noUnixUtf8);
}

TEST(ZipItemNames, TheArchivesCharsetDecidesTheLastRule) {
  Central c;
  c.host = hsMsDos;
  c.name = "\x8F\xE0\xA8\xA2\xA5\xE2.txt";  // "Привет.txt" in code page 866
  EXPECT_EQ(Load(c, {"cp866", 0})->UnicodeName(), "Привет.txt");

  ZipBuilder b;
  testing_support::ZipMember m;
  m.name = c.name;
  m.data = "x";
  b.Add(m);
  auto archive = b.Open();
  archive->LoadCatalogue();
  EXPECT_EQ(archive->Item(0).UnicodeName(), "Åα¿óÑΓ.txt");  // code page 437
  archive->SetNameCharset("CP866");                         // the loaded items follow
  EXPECT_EQ(archive->Item(0).UnicodeName(), "Привет.txt");
  EXPECT_THROW(archive->SetNameCharset("no-such-charset"), EAbZipUnknownCharset);
  EXPECT_EQ(archive->NameCharset(), "CP866");
  EXPECT_EQ(archive->Item(0).UnicodeName(), "Привет.txt");
  // The installer's name is what it always was: OEM bytes to ANSI.
  EXPECT_EQ(archive->Item(0).ItemName(), os::OemToChar(c.name));
}

TEST(ZipItemNames, BackslashSeparatesOnlyInMsDosNamesWithoutSlashes) {
  Central c;
  c.name = "aa\\bb\\cc.txt";
  EXPECT_EQ(Load(c)->UnicodeName(), "aa/bb/cc.txt");
  c.name = "aa/bb\\cc.txt";  // a `/` says which character separates
  EXPECT_EQ(Load(c)->UnicodeName(), "aa/bb\\cc.txt");
  c.name = "aa\\bb\\cc.txt";
  for (uint8_t host : {hsUnix, hsNtfs, hsVfat, hsOs2Hpfs, hsMacOsX}) {
    c.host = host;
    EXPECT_EQ(Load(c)->UnicodeName(), "aa\\bb\\cc.txt") << int(host);
  }
  c.host = hsMsDos;
  c.name = "docs\\";
  EXPECT_TRUE(Load(c)->IsFolder());
}

TEST(ZipItemAttributes, FoldersLinksAndModesByHost) {
  Central c;
  c.name = "docs";
  c.attributes = 0x10;  // MS-DOS folder bit, no trailing slash
  EXPECT_TRUE(Load(c)->IsFolder());
  EXPECT_EQ(Load(c)->DosAttributes(), 0x10);
  EXPECT_EQ(Load(c)->UnixMode(), 0);
  c.host = 2;  // VMS keeps other things in that byte
  EXPECT_FALSE(Load(c)->IsFolder());
  EXPECT_EQ(Load(c)->DosAttributes(), 0);

  c.host = hsUnix;
  c.attributes = 0040755u << 16;
  EXPECT_TRUE(Load(c)->IsFolder());
  c.attributes = (0100755u << 16) | 0x01;  // run.sh, read-only kept beside the mode
  auto item = Load(c);
  EXPECT_FALSE(item->IsFolder());
  EXPECT_EQ(item->UnixMode(), 0100755);
  EXPECT_EQ(item->DosAttributes(), 0x01);
  c.attributes = 0120777u << 16;
  EXPECT_TRUE(Load(c)->IsSymbolicLink());
  c.name = "link/";
  EXPECT_FALSE(Load(c)->IsSymbolicLink());  // a folder is never a link

  // Windows tools that store a Unix mode beside MS-DOS attributes: the
  // host says how to read them.
  c.host = hsMsDos;
  c.name = "link";
  EXPECT_FALSE(Load(c)->IsSymbolicLink());
  EXPECT_EQ(Load(c)->UnixMode(), 0);
}

TEST(ZipItemTimes, ExtendedTimestampBeforeNtfsBeforeNothing) {
  const std::string ntfs =
      Block(0x000A, std::string(4, '\0') + std::string("\x01\x00\x18\x00", 4) +
                        U64((1'300'000'000ull + 11'644'473'600ull) * 10'000'000ull + 5) +
                        U64((1'300'000'001ull + 11'644'473'600ull) * 10'000'000ull) + U64(0));
  const std::string unix = Block(0x5455, "\x03" + U32(1'500'000'000));
  Central c;
  c.extra = ntfs + unix;
  auto item = Load(c);
  EXPECT_EQ(item->ModifiedTime(), (TAbZipTime{1'500'000'000, 0}));
  // The central extended timestamp holds no access time: NTFS gives it.
  EXPECT_EQ(item->AccessedTime(), (TAbZipTime{1'300'000'001, 0}));
  c.extra = ntfs;
  EXPECT_EQ(Load(c)->ModifiedTime(), (TAbZipTime{1'300'000'000, 500}));
  c.extra.clear();
  EXPECT_FALSE(Load(c)->ModifiedTime().has_value());
  EXPECT_FALSE(Load(c)->AccessedTime().has_value());
}

TEST(ZipItemSizes, Zip64ValuesAndTheOffsetShift) {
  Central c;
  c.compressedSize = 0xFFFFFFFF;
  c.offset = 0xFFFFFFFF;
  c.disk = 0xFFFF;
  c.extra = Block(0x5455, "\x01" + U32(1)) +
            Block(0x0001, U64(6'000'000'000) + U64(8'000'000'000) + U32(0));
  auto item = Load(c, {"", 1024});
  EXPECT_FALSE(item->ExtraFieldDamaged());
  EXPECT_EQ(item->UncompressedSize64(), 20u);
  EXPECT_EQ(item->CompressedSize64(), 6'000'000'000u);
  EXPECT_EQ(item->LocalHeaderOffset64(), 8'000'001'024u);
  EXPECT_EQ(item->DiskNumberStart32(), 0u);
  // The installer's 32-bit accessors read the record as it is.
  EXPECT_EQ(item->CompressedSize(), 0xFFFFFFFFu);
  EXPECT_EQ(item->RelativeOffset(), 0xFFFFFFFFu);

  c.extra = Block(0x0001, U64(6'000'000'000));  // the offset is missing
  item = Load(c);
  EXPECT_TRUE(item->ExtraFieldDamaged());
  c.extra.clear();
  EXPECT_TRUE(Load(c)->ExtraFieldDamaged());
  c = Central{};
  c.extra = Block(0x7777, "abc").substr(0, 6);  // runs past the field
  EXPECT_TRUE(Load(c)->ExtraFieldDamaged());
  EXPECT_EQ(Load(c)->UncompressedSize64(), 20u);
}

TEST(SplitMemberPath, ComponentsWithoutEmptyOrDotParts) {
  TAbMemberPath path = SplitMemberPath("a//./b/c.txt");
  EXPECT_EQ(path.components, (std::vector<std::string>{"a", "b", "c.txt"}));
  EXPECT_FALSE(path.isFolder);
  EXPECT_EQ(path.Leaf(), "c.txt");
  path = SplitMemberPath("docs/");
  EXPECT_EQ(path.components, std::vector<std::string>{"docs"});
  EXPECT_TRUE(path.isFolder);
  EXPECT_TRUE(SplitMemberPath("./").components.empty());
  // Characters some file systems cannot hold are the file system's business.
  EXPECT_EQ(SplitMemberPath("x/a:b/c\\..\\d").components,
            (std::vector<std::string>{"x", "a:b", "c\\..\\d"}));
  EXPECT_EQ(SplitMemberPath("..a/b..").components, (std::vector<std::string>{"..a", "b.."}));
}

TEST(SplitMemberPath, RefusalsSayWhatIsWrong) {
  auto refusal = [](const std::string& name) -> std::string {
    try {
      SplitMemberPath(name);
    } catch (const EAbZipUnsafeName& error) {
      return error.what();
    }
    return "accepted";
  };
  EXPECT_EQ(refusal("/etc/passwd"), "Cannot extract file - absolute path: /etc/passwd");
  EXPECT_EQ(refusal("C:/x.txt"), "Cannot extract file - drive in the name: C:/x.txt");
  EXPECT_EQ(refusal("c:x.txt"), "Cannot extract file - drive in the name: c:x.txt");
  EXPECT_EQ(refusal("a/../../x"),
            "Cannot extract file - parent folder (..) in the name: a/../../x");
  EXPECT_EQ(refusal(".."), "Cannot extract file - parent folder (..) in the name: ..");
  EXPECT_EQ(refusal("./."), "Cannot extract file - empty name: ./.");
  EXPECT_EQ(refusal(""), "Cannot extract file - empty name: ");
}

}  // namespace
