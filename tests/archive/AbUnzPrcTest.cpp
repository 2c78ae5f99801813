// TAbUnzipHelper as the member decoder uses it: method refusal, encrypted
// members, read and write failures, abort, and decoding into a real file.
#include <gtest/gtest.h>

#include "support/AbUnzTestSupport.h"
#include "support/AbZipCryTestSupport.h"
#include "support/Corpus.h"
#include "zip/engine/AbUnzPrc.h"
#include "zip/engine/AbUtils.h"

namespace {

using namespace legacy_test;
using testing_support::CorpusFile;
using testing_support::ReadWholeFile;

// The member of a legacy corpus archive with the given method, and its data.
std::pair<ZipMember, std::vector<uint8_t>> Member(const char* archive, int method,
                                                  uint32_t atLeast = 0) {
  const auto zip = ReadWholeFile(CorpusFile(std::string("legacy/") + archive));
  for (const ZipMember& m : ReadZipDirectory(zip))
    if (m.method == method && m.uncompressedSize >= atLeast)
      return {m, std::vector<uint8_t>(zip.begin() + m.dataOffset,
                                      zip.begin() + m.dataOffset + m.compressedSize)};
  return {};
}

TEST(AbUnzPrc, OnlyMethodsOneToSixAreDecoded) {
  for (uint8_t method : {0, 7, 8, 9, 255}) {
    DecodeSettings s;
    s.method = method;
    s.uncompressedSize = 4;
    try {
      Decode(Bytes("abcd"), s);
      ADD_FAILURE() << int{method};
    } catch (const ab::EAbZipInvalidMethod& e) {
      EXPECT_EQ(e.Message(), "Cannot extract file - unsupported compression method");
    }
  }
}

TEST(AbUnzPrc, EncryptedMembersLoseTheirHeaderAndDecrypt) {
  REQUIRE_CORPUS();
  for (auto [archive, method] :
       {std::pair{"HWSHRINK.ZIP", 1}, {"HWREDUCE.ZIP", 5}, {"HWIMPODE.ZIP", 6}}) {
    SCOPED_TRACE(archive);
    auto [m, data] = Member(archive, method);
    ASSERT_FALSE(data.empty());
    auto sealed = Encrypt(data, "pass", m.crc);
    const int32_t stored = static_cast<int32_t>(sealed.size());
    // What follows the member is not its data: Shrink, which decodes until
    // its bytes run out, would otherwise decode it too.
    sealed.insert(sealed.end(), {0xFF, 0x13, 0x77, 0x00, 0x42, 0x99});
    rtl::TMemoryStream source(sealed);
    ab::TAbZDecoder decoder("wrong", true, m.crc, source);
    int asked = 0;
    decoder.OnPasswordRequest = [&](ab::TAbZDecoder&, std::string& p) {
      ++asked;
      p = "pass";
    };
    DecodeSettings s = SettingsFor(m);
    s.compressedSize = stored;
    s.offset = 0;
    rtl::TMemoryStream output;
    ab::TAbUnzipHelper helper(source, output, &decoder);
    Configure(helper, s, stored);
    EXPECT_EQ(helper.Run(), m.crc);
    EXPECT_EQ(output.Size(), m.uncompressedSize);
    EXPECT_EQ(asked, 1);
  }
}

TEST(AbUnzPrc, WrongPasswordWithoutHandlerIsRefused) {
  REQUIRE_CORPUS();
  auto [m, data] = Member("HWSHRINK.ZIP", 1);
  const auto sealed = Encrypt(data, "pass", m.crc);
  rtl::TMemoryStream source(sealed);
  ab::TAbZDecoder decoder("nope", false, m.crc, source);
  DecodeSettings s = SettingsFor(m);
  s.offset = 0;
  s.compressedSize = static_cast<int32_t>(sealed.size());
  EXPECT_THROW(Decode(sealed, s, &decoder), ab::EAbZipInvalidPassword);
}

TEST(AbUnzPrc, MissingCompressedBytesAreAReadError) {
  REQUIRE_CORPUS();
  auto [m, data] = Member("HWSHRINK.ZIP", 1);
  DecodeSettings s = SettingsFor(m);
  s.offset = 0;
  s.compressedSize = static_cast<int32_t>(data.size()) + 1;  // one byte more than there is
  try {
    Decode(data, s);
    ADD_FAILURE();
  } catch (const ab::EAbReadError& e) {
    EXPECT_EQ(e.Message(), "Error reading archive");
  }
  // Reduce and Implode stop at their size and never ask for the missing bytes.
  auto [r, reduced] = Member("HWREDUCE.ZIP", 5);
  DecodeSettings sr = SettingsFor(r);
  sr.offset = 0;
  sr.compressedSize = static_cast<int32_t>(reduced.size()) + 100;
  EXPECT_EQ(Decode(reduced, sr).crc, r.crc);
}

TEST(AbUnzPrc, AbortStopsWithTheBytesSoFarWritten) {
  REQUIRE_CORPUS();
  for (auto [archive, method] : {std::pair{"HWSHRINK.ZIP", 1}, {"HWIMPODE.ZIP", 6}}) {
    SCOPED_TRACE(archive);
    auto [m, data] = Member(archive, method, 65536);
    rtl::TMemoryStream source(data), output;
    ab::TAbUnzipHelper helper(source, output, nullptr);
    DecodeSettings s = SettingsFor(m);
    s.offset = 0;
    Configure(helper, s, static_cast<int64_t>(data.size()));
    int calls = 0;
    helper.OnProgress = [&](uint8_t percent, bool& abort) {
      ++calls;
      abort = percent >= 40;
    };
    try {
      helper.Run();
      ADD_FAILURE();
    } catch (const ab::EAbUserAbort& e) {
      EXPECT_EQ(e.Message(), "Process aborted by user");
    }
    EXPECT_GE(calls, 1);
    // Everything decoded before the abort reached the output.
    const auto plain = ReadWholeFile(CorpusFile("legacy/" + m.name));
    ASSERT_GE(output.Size(), static_cast<int64_t>(plain.size() * 40 / 100));
    ASSERT_LT(output.Size(), static_cast<int64_t>(plain.size()));
    EXPECT_TRUE(std::equal(output.Bytes().begin(), output.Bytes().end(), plain.begin()));
  }
}

// Accepts nothing: every write comes back short.
class FullDisk : public rtl::TMemoryStream {
 public:
  int32_t Write(const void*, int32_t count) override { return count > 0 ? count - 1 : 0; }
  TMemoryStream* AppendInPlace() override { return nullptr; }
};

TEST(AbUnzPrc, OutputWriteFailuresAreReported) {
  REQUIRE_CORPUS();
  {
    auto [m, data] = Member("HWSHRINK.ZIP", 1);
    rtl::TMemoryStream source(data);
    FullDisk disk;
    ab::TAbUnzipHelper helper(source, disk, nullptr);
    DecodeSettings s = SettingsFor(m);
    s.offset = 0;
    Configure(helper, s, static_cast<int64_t>(data.size()));
    EXPECT_THROW(helper.Run(), rtl::EWriteError);
  }
  auto [m, data] = Member("HWIMPODE.ZIP", 6);
  rtl::TMemoryStream source(data);
  FullDisk disk;
  ab::TAbUnzipHelper helper(source, disk, nullptr);
  DecodeSettings s = SettingsFor(m);
  s.offset = 0;
  Configure(helper, s, static_cast<int64_t>(data.size()));
  try {
    helper.Run();
    ADD_FAILURE();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "TabSlidingWindowStream.bsWriteChunk: write failed");
  }
}

TEST(AbUnzPrc, DecodesIntoAFile) {
  REQUIRE_CORPUS();
  testing_support::ScratchFolder folder;
  for (auto [archive, method] :
       {std::pair{"HWREDUCE.ZIP", 5}, {"HWIMPODE.ZIP", 6}, {"HWSHRINK.ZIP", 1}}) {
    SCOPED_TRACE(archive);
    auto [m, data] = Member(archive, method, 65536);
    const std::string path = folder.Native() + "/" + m.name;
    {
      rtl::TMemoryStream source(data);
      rtl::TFileStream file(testing_support::ProgramPath(path), rtl::fmCreate);
      ab::TAbUnzipHelper helper(source, file, nullptr);
      DecodeSettings s = SettingsFor(m);
      s.offset = 0;
      Configure(helper, s, static_cast<int64_t>(data.size()));
      EXPECT_EQ(helper.Run(), m.crc);
    }
    EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(CorpusFile("legacy/" + m.name)));
  }
}

}  // namespace
