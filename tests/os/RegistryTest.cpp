// The stand-in's current user hive: Wine's user.reg text format, every value
// kind and escape, key lookup rules and damaged files. The Win32 build reads
// the real registry, so these cases run on the native build only.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/os.h"
#include "support/TestRegistry.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

const char kHeader[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win32\n"
    "\n";

class RegistryHive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing_support::UnderWindows()) GTEST_SKIP() << "the Win32 build reads the real registry";
    hive_.emplace();
  }
  std::optional<os::RegistryValue> Value(const std::string& key, const std::string& name) {
    const os::RegistryKey opened = os::OpenCurrentUserKey(key, os::kKeyRead);
    if (!opened.IsOpen()) return std::nullopt;
    return opened.Query(name);
  }
  std::optional<testing_support::TestRegistry> hive_;
};

TEST_F(RegistryHive, ReadsEveryValueKind) {
  hive_->WriteHive(std::string(kHeader) +
                   "[Software\\\\Kinds] 1733648000\n"
                   "#time=1db4ac1d7e2a5b0\n"
                   "@=\"the default\"\n"
                   "\"Text\"=\"plain\"\n"
                   "\"Empty\"=\"\"\n"
                   "\"Expand\"=str(2):\"%APPDATA%\\\\Medisoft\"\n"
                   "\"Multi\"=str(7):\"one\\0two\\0\"\n"
                   "\"Number\"=dword:0000000a\n"
                   "\"Big\"=dword:fffffffe\n"
                   "\"Blob\"=hex:01,02,ff,\\\n"
                   "  7f\n"
                   "\"NoBytes\"=hex:\n"
                   "\"Wide\"=hex(2):25,00,41,00,\\\n"
                   "  25,00,e9,00,00,00\n"
                   "\"Quad\"=hex(b):01,00,00,00,00,00,00,80\n");
  EXPECT_EQ(Value("Software\\Kinds", "")->data, Text("the default"));
  const auto text = Value("Software\\Kinds", "Text");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->type, os::kRegSz);
  EXPECT_EQ(text->data, Text("plain"));
  EXPECT_EQ(Value("Software\\Kinds", "Empty")->data, Text(""));
  const auto expand = Value("Software\\Kinds", "Expand");
  EXPECT_EQ(expand->type, os::kRegExpandSz);
  EXPECT_EQ(expand->data, Text("%APPDATA%\\Medisoft"));
  const auto multi = Value("Software\\Kinds", "Multi");
  EXPECT_EQ(multi->type, os::kRegMultiSz);
  EXPECT_EQ(multi->data, (Bytes{'o', 'n', 'e', 0, 't', 'w', 'o', 0}));
  const auto number = Value("Software\\Kinds", "Number");
  EXPECT_EQ(number->type, os::kRegDword);
  EXPECT_EQ(number->data, (Bytes{10, 0, 0, 0}));
  EXPECT_EQ(Value("Software\\Kinds", "Big")->data, (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  const auto blob = Value("Software\\Kinds", "Blob");
  EXPECT_EQ(blob->type, os::kRegBinary);
  EXPECT_EQ(blob->data, (Bytes{1, 2, 0xFF, 0x7F}));
  EXPECT_TRUE(Value("Software\\Kinds", "NoBytes")->data.empty());
  const auto wide = Value("Software\\Kinds", "Wide");
  EXPECT_EQ(wide->type, os::kRegExpandSz);
  EXPECT_EQ(wide->data, Text("%A%\xE9"));
  const auto quad = Value("Software\\Kinds", "Quad");
  EXPECT_EQ(quad->type, 11u);
  EXPECT_EQ(quad->data, (Bytes{1, 0, 0, 0, 0, 0, 0, 0x80}));
}

TEST_F(RegistryHive, DecodesWineEscapesIntoWindows1252) {
  hive_->WriteHive(std::string(kHeader) +
                   "[Software\\\\Escapes] 1733648000\n"
                   "\"Slash\"=\"C:\\\\Program Files\\\\Medisoft\\\\\"\n"
                   "\"Quote\"=\"say \\\"hi\\\"\"\n"
                   "\"Lines\"=\"a\\nb\\tc\"\n"
                   "\"Hex\"=\"caf\\x00e9 \\x20ac \\xe9t\\xe9\"\n"
                   "\"Utf8\"=\"donn\xC3\xA9"
                   "es \xE2\x82\xAC\"\n"
                   "\"Octal\"=\"\\101\\0102\"\n"
                   "\"Outside\"=\"\\x4e2d\xE4\xB8\xAD\"\n"
                   "\"Astral\"=\"\\xd83d\\xde00\"\n"
                   "\"Caf\\x00e9 name\"=\"keyed\"\n");
  EXPECT_EQ(Value("Software\\Escapes", "Slash")->data, Text("C:\\Program Files\\Medisoft\\"));
  EXPECT_EQ(Value("Software\\Escapes", "Quote")->data, Text("say \"hi\""));
  EXPECT_EQ(Value("Software\\Escapes", "Lines")->data, Text("a\nb\tc"));
  // \xe9t: hex digits end where a non-digit starts; \x20ac is the euro sign.
  EXPECT_EQ(Value("Software\\Escapes", "Hex")->data, Text("caf\xE9 \x80 \xE9t\xE9"));
  EXPECT_EQ(Value("Software\\Escapes", "Utf8")->data, Text("donn\xE9"
                                                           "es \x80"));
  EXPECT_EQ(Value("Software\\Escapes", "Octal")->data, Text("A\x08"
                                                            "2"));
  EXPECT_EQ(Value("Software\\Escapes", "Outside")->data, Text("??"));
  EXPECT_EQ(Value("Software\\Escapes", "Astral")->data, Text("?"));
  EXPECT_EQ(Value("Software\\Escapes", "Caf\xE9 name")->data, Text("keyed"));
}

TEST_F(RegistryHive, FindsKeysAndValuesAsWindowsDoes) {
  hive_->WriteHive(std::string(kHeader) +
                   "[Software\\\\Medisoft\\\\Patient Accounting] 1733648000\n"
                   "#time=1db4ac1d7e2a5b0\n"
                   "\"Program Path\"=\"D:\\\\Medisoft\"\n"
                   "\n"
                   "[Software\\\\Caf\\x00e9] 1733648000\n"
                   "\"v\"=\"1\"\n"
                   "[Software\\\\Medisoft\\\\Patient] 1733648000\n"
                   "\"Other\"=\"not this one\"\n");
  // Key and value names compare without regard to case.
  EXPECT_EQ(Value("SOFTWARE\\medisoft\\patient accounting", "PROGRAM PATH")->data,
            Text("D:\\Medisoft"));
  // A key that holds only sub-keys exists but has no values of theirs.
  const os::RegistryKey parent = os::OpenCurrentUserKey("Software\\Medisoft", os::kKeyRead);
  EXPECT_TRUE(parent.IsOpen());
  EXPECT_FALSE(parent.Query("Program Path"));
  EXPECT_TRUE(os::OpenCurrentUserKey("Software", os::kKeyRead).IsOpen());
  EXPECT_FALSE(os::OpenCurrentUserKey("Software\\Medi", os::kKeyRead).IsOpen());
  EXPECT_FALSE(os::OpenCurrentUserKey("Software\\Medisoft\\Patient Accounting\\More", os::kKeyRead)
                   .IsOpen());
  EXPECT_FALSE(Value("Software\\Medisoft\\Patient Accounting", "Other"));
  EXPECT_EQ(Value("Software\\Caf\xE9", "v")->data, Text("1"));
  // Moving a key hands over its handle.
  os::RegistryKey moved = os::OpenCurrentUserKey("Software\\Medisoft\\Patient", os::kKeyRead);
  os::RegistryKey target = std::move(moved);
  EXPECT_FALSE(moved.IsOpen());
  EXPECT_EQ(target.Query("Other")->data, Text("not this one"));
}

TEST_F(RegistryHive, SkipsDamagedLinesAndKeepsTheRest) {
  hive_->WriteHive(std::string(kHeader) +
                   "[Software\\\\Damaged] 1733648000\n"
                   "\"Unterminated\"=\"no end\n"
                   "\"BadHex\"=hex:0g,01\n"
                   "\"OddHex\"=hex:012\n"
                   "\"BadDword\"=dword:123456789\n"
                   "\"Unknown\"=qword:5\n"
                   "\"NoEquals\" \"x\"\n"
                   "\"Good\"=\"kept\"\r\n"
                   "\"Dangling\"=hex:01,\\\n");
  for (const char* name : {"Unterminated", "BadHex", "OddHex", "BadDword", "Unknown", "NoEquals"})
    EXPECT_FALSE(Value("Software\\Damaged", name)) << name;
  EXPECT_EQ(Value("Software\\Damaged", "Good")->data, Text("kept"));
  EXPECT_EQ(Value("Software\\Damaged", "Dangling")->data, (Bytes{1}));
}

TEST_F(RegistryHive, NoHiveFileMeansNoKeys) {
  ASSERT_TRUE(std::filesystem::remove(hive_->HivePath()));
  EXPECT_FALSE(os::OpenCurrentUserKey("Software", os::kKeyRead).IsOpen());
  hive_->WriteHive("[Software\\\\Unclosed 1733648000\n\"a\"=\"b\"\n");
  EXPECT_FALSE(os::OpenCurrentUserKey("Software\\Unclosed", os::kKeyRead).IsOpen());
}

TEST_F(RegistryHive, AHiveNobodyMayWriteIsOpenForReadingOnly) {
  hive_->WriteHive(std::string(kHeader) + "[Software\\\\Medisoft] 1733648000\n\"a\"=\"b\"\n");
  ASSERT_EQ(::chmod(hive_->HivePath().c_str(), 0444), 0);
  EXPECT_TRUE(os::OpenCurrentUserKey("Software\\Medisoft", os::kKeyRead).IsOpen());
  EXPECT_FALSE(os::OpenCurrentUserKey("Software\\Medisoft", os::kKeyAllAccess).IsOpen());
  ASSERT_EQ(::chmod(hive_->HivePath().c_str(), 0644), 0);
  EXPECT_TRUE(os::OpenCurrentUserKey("Software\\Medisoft", os::kKeyAllAccess).IsOpen());
}

}  // namespace
