// The ZIP records as read from a stream, and how an item takes its name.
#include <gtest/gtest.h>

#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"
#include "support/ZipBuilder.h"

namespace {

using namespace ab;
using testing_support::ZipBuilder;

std::string CentralHeader(const std::string& name, const std::string& extra,
                          const std::string& comment, uint16_t flags = 0,
                          uint32_t signature = 0x02014B50) {
  std::string out;
  ZipBuilder::U32(out, signature);
  ZipBuilder::U16(out, 0x0314);  // made by
  ZipBuilder::U16(out, 0x0014);  // needed
  ZipBuilder::U16(out, flags);
  ZipBuilder::U16(out, 0x0106);  // method 6 in the low byte
  ZipBuilder::U16(out, 0x1234);
  ZipBuilder::U16(out, 0x5678);
  ZipBuilder::U32(out, 0xCAFEF00D);
  ZipBuilder::U32(out, 111);
  ZipBuilder::U32(out, 222);
  ZipBuilder::U16(out, static_cast<uint16_t>(name.size()));
  ZipBuilder::U16(out, static_cast<uint16_t>(extra.size()));
  ZipBuilder::U16(out, static_cast<uint16_t>(comment.size()));
  ZipBuilder::U16(out, 7);
  ZipBuilder::U16(out, 1);
  ZipBuilder::U32(out, 0x81A40020);
  ZipBuilder::U32(out, 0x01020304);
  return out + name + extra + comment;
}

rtl::TMemoryStream StreamOf(const std::string& bytes) {
  return rtl::TMemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

TEST(ZipRecords, CentralHeaderFieldsInFileOrder) {
  rtl::TMemoryStream stream = StreamOf(CentralHeader("a.txt", "", "", 0x0006) + "tail");
  TAbZipDirectoryFileHeader h;
  h.ReadFrom(stream);
  EXPECT_EQ(stream.Position(), 46 + 5);
  EXPECT_EQ(h.VersionMadeBy(), 0x0314);
  EXPECT_EQ(h.VersionNeededToExtract(), 0x0014);
  EXPECT_EQ(h.RawCompressionMethod(), 0x0106);
  EXPECT_EQ(h.CompressionMethod(), 6);
  EXPECT_EQ(h.LastModFileTime(), 0x1234);
  EXPECT_EQ(h.LastModFileDate(), 0x5678);
  EXPECT_EQ(h.Crc32(), 0xCAFEF00Du);
  EXPECT_EQ(h.CompressedSize(), 111u);
  EXPECT_EQ(h.UncompressedSize(), 222u);
  EXPECT_EQ(h.DiskNumberStart(), 7);
  EXPECT_EQ(h.InternalFileAttributes(), 1);
  EXPECT_EQ(h.ExternalFileAttributes(), 0x81A40020u);
  EXPECT_EQ(h.RelativeOffset(), 0x01020304u);
  EXPECT_EQ(h.FileName(), "a.txt");
  EXPECT_EQ(h.DictionarySize(), ds8K);
  EXPECT_EQ(h.ShannonFanoTreeCount(), 3);
}

TEST(ZipRecords, EmptyLengthsReadExactly46Bytes) {
  rtl::TMemoryStream stream = StreamOf(CentralHeader("", "", "") + "PK\1\2");
  TAbZipDirectoryFileHeader h;
  h.ReadFrom(stream);
  EXPECT_EQ(stream.Position(), 46);
  EXPECT_EQ(h.FileName(), "");
  EXPECT_EQ(h.ExtraField(), "");
}

TEST(ZipRecords, ZerosInsideVariablePartsAreKept) {
  const std::string extra("\x01\x00\x02\x00\xAB\x00", 6);
  const std::string comment("x\0y", 3);
  rtl::TMemoryStream stream = StreamOf(CentralHeader("n", extra, comment));
  TAbZipItem item;
  item.LoadFromStream(stream);
  EXPECT_EQ(item.CentralHeader().ExtraField(), extra);
  EXPECT_EQ(item.CentralHeader().FileComment(), comment);
  EXPECT_EQ(item.ExtraField(), "\x01");  // as text: up to the first zero
}

TEST(ZipRecords, WrongSignatureFailsAfterConsumingTheVariableParts) {
  rtl::TMemoryStream stream =
      StreamOf(CentralHeader("name", "ex", "comment", 0, 0x04034B50) + "rest");
  TAbZipDirectoryFileHeader h;
  EXPECT_THROW(h.ReadFrom(stream), EAbZipInvalid);
  EXPECT_EQ(stream.Position(), 46 + 4 + 2 + 7);
}

TEST(ZipRecords, ShortReadKeepsUnreadFieldsAndFailsOnTheSignature) {
  rtl::TMemoryStream stream = StreamOf(std::string("PK\1", 3));
  TAbZipDirectoryFileHeader h;
  EXPECT_THROW(h.ReadFrom(stream), EAbZipInvalid);
  EXPECT_EQ(h.Signature(), 0u);
  EXPECT_EQ(h.CompressedSize(), 0u);
}

TEST(ZipRecords, LocalHeaderAndImplodeOptions) {
  std::string bytes;
  ZipBuilder::U32(bytes, 0x04034B50);
  ZipBuilder::U16(bytes, 10);
  ZipBuilder::U16(bytes, 0x0008);  // data descriptor follows; 4K, 2 trees
  ZipBuilder::U16(bytes, 6);
  for (int i = 0; i < 2; ++i) ZipBuilder::U16(bytes, 0);
  for (int i = 0; i < 3; ++i) ZipBuilder::U32(bytes, 0);
  ZipBuilder::U16(bytes, 3);
  ZipBuilder::U16(bytes, 0);
  bytes += "abcDATA";
  rtl::TMemoryStream stream = StreamOf(bytes);
  TAbZipLocalFileHeader h;
  h.ReadFrom(stream);
  EXPECT_EQ(stream.Position(), 33);  // the data begins here
  EXPECT_EQ(h.FileName(), "abc");
  EXPECT_EQ(h.DictionarySize(), ds4K);
  EXPECT_EQ(h.ShannonFanoTreeCount(), 2);
  EXPECT_FALSE(h.IsEncrypted());
}

TEST(ZipRecords, OtherMethodsHaveNoImplodeOptions) {
  rtl::TMemoryStream stream = StreamOf(CentralHeader("n", "", "", 0x0007));
  TAbZipDirectoryFileHeader h;
  h.ReadFrom(stream);
  EXPECT_TRUE(h.IsEncrypted());
  ZipBuilder b;
  testing_support::ZipMember m;
  m.name = "x";
  m.method = 8;
  m.flags = 0x0006;
  b.Add(m);
  auto archive = b.Open();
  archive->LoadCatalogue();
  EXPECT_EQ(archive->Item(0).DictionarySize(), dsInvalid);
  EXPECT_EQ(archive->Item(0).ShannonFanoTreeCount(), 0);
}

TEST(ZipRecords, EndRecordWithComment) {
  std::string bytes;
  ZipBuilder::U32(bytes, 0x06054B50);
  ZipBuilder::U16(bytes, 0);
  ZipBuilder::U16(bytes, 0);
  ZipBuilder::U16(bytes, 3);
  ZipBuilder::U16(bytes, 4);
  ZipBuilder::U32(bytes, 500);
  ZipBuilder::U32(bytes, 600);
  ZipBuilder::U16(bytes, 5);
  bytes += "hello";
  rtl::TMemoryStream stream = StreamOf(bytes);
  TAbZipDirectoryFileFooter f;
  f.ReadFrom(stream);
  EXPECT_EQ(f.EntriesOnDisk(), 3);
  EXPECT_EQ(f.TotalEntries(), 4);
  EXPECT_EQ(f.DirectorySize(), 500u);
  EXPECT_EQ(f.DirectoryOffset(), 600u);
  EXPECT_EQ(f.ZipfileComment(), "hello");
  rtl::TMemoryStream wrong = StreamOf(CentralHeader("", "", ""));
  EXPECT_THROW(f.ReadFrom(wrong), EAbZipInvalid);
}

TEST(ZipItemNames, OemNamesAreConvertedToAnsi) {
  // 0x82 is e acute in code page 437, 0xE9 in Windows-1252.
  rtl::TMemoryStream stream = StreamOf(CentralHeader("caf\x82/x.txt", "", ""));
  TAbZipItem item;
  item.LoadFromStream(stream);
  EXPECT_EQ(item.ItemName(), "caf\xE9/x.txt");
  EXPECT_EQ(item.DiskName(), "caf\xE9\\x.txt");
}

TEST(ZipItemNames, Utf8NamesAreDecodedWhenFlagBit11IsSet) {
  // U+00E9 in UTF-8; through the OEM table it would become two wrong letters.
  rtl::TMemoryStream stream = StreamOf(CentralHeader("caf\xC3\xA9.txt", "", "", 0x0800));
  TAbZipItem item;
  item.LoadFromStream(stream);
  EXPECT_EQ(item.ItemName(), "caf\xE9.txt");
}

TEST(ZipItemNames, NamesOfAnyLengthAreKeptWhole) {
  std::string name;
  while (name.size() < 1000) name += "folder\x82/";
  name += "end.txt";
  rtl::TMemoryStream stream = StreamOf(CentralHeader(name, "", ""));
  TAbZipItem item;
  item.LoadFromStream(stream);
  ASSERT_EQ(item.ItemName().size(), name.size());
  EXPECT_EQ(item.ItemName().substr(0, 7), "folder\xE9");
  EXPECT_EQ(item.ItemName().substr(name.size() - 7), "end.txt");
}

TEST(ZipItemNames, NameEndsAtTheFirstZero) {
  rtl::TMemoryStream stream = StreamOf(CentralHeader(std::string("ab\0cd", 5), "", ""));
  TAbZipItem item;
  item.LoadFromStream(stream);
  EXPECT_EQ(item.ItemName(), "ab");
  EXPECT_EQ(item.CentralHeader().FileName().size(), 5u);
}

}  // namespace
