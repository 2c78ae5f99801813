// The legacy decoders on real PKZIP 1.x archives: every member matches its
// stored CRC-32 and size, and the HW*.ZIP members match the plain files.
#include <gtest/gtest.h>

#include <map>

#include "support/AbUnzTestSupport.h"
#include "support/Corpus.h"
#include "zip/engine/AbUnzPrc.h"
#include "zip/engine/AbUtils.h"

namespace {

using namespace legacy_test;
using testing_support::CorpusFile;
using testing_support::ReadWholeFile;

const char* const kArchives[] = {"HWSHRINK.ZIP",      "HWREDUCE.ZIP",       "HWIMPODE.ZIP",
                                 "example-s.zip",     "example-r.zip",      "example-i.zip",
                                 "shrink.zip",        "reduce.zip",         "implode.zip",
                                 "implode_small.zip", "implode_realloc.zip"};

TEST(AbUnzCorpus, EveryMemberMatchesItsCrcAndSize) {
  REQUIRE_CORPUS();
  std::map<int, int> decodedByMethod;
  for (const char* name : kArchives) {
    const auto zip = ReadWholeFile(CorpusFile(std::string("legacy/") + name));
    ASSERT_FALSE(zip.empty()) << name;
    const auto members = ReadZipDirectory(zip);
    ASSERT_FALSE(members.empty()) << name;
    for (const ZipMember& m : members) {
      if (m.method == 0) continue;
      SCOPED_TRACE(std::string(name) + ": " + m.name);
      const DecodeResult r = Decode(zip, SettingsFor(m));
      EXPECT_EQ(r.output.size(), m.uncompressedSize);
      EXPECT_EQ(r.crc, m.crc);
      EXPECT_EQ(ab::Crc32(r.output.data(), r.output.size()), m.crc);
      ++decodedByMethod[m.method];
    }
  }
  // Shrink, Reduce factor 4 and Implode are all represented.
  EXPECT_GE(decodedByMethod[1], 5);
  EXPECT_GE(decodedByMethod[5], 4);
  EXPECT_GE(decodedByMethod[6], 8);
}

TEST(AbUnzCorpus, HwArchivesDecodeToThePlainFiles) {
  REQUIRE_CORPUS();
  int compared = 0;
  for (const char* name : {"HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP"}) {
    const auto zip = ReadWholeFile(CorpusFile(std::string("legacy/") + name));
    for (const ZipMember& m : ReadZipDirectory(zip)) {
      if (m.method == 0) continue;
      SCOPED_TRACE(std::string(name) + ": " + m.name);
      const auto plain = ReadWholeFile(CorpusFile("legacy/" + m.name));
      ASSERT_FALSE(plain.empty());
      EXPECT_EQ(Decode(zip, SettingsFor(m)).output, plain);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 8);  // one Reduce member is stored
}

// Progress on a long Implode member: rising values, the last one 100, each
// value reported once.
TEST(AbUnzCorpus, ProgressRisesToOneHundredOnce) {
  REQUIRE_CORPUS();
  const auto zip = ReadWholeFile(CorpusFile("legacy/HWIMPODE.ZIP"));
  for (const ZipMember& m : ReadZipDirectory(zip)) {
    if (m.uncompressedSize < 65536) continue;
    DecodeSettings s = SettingsFor(m);
    s.recordProgress = true;
    const DecodeResult r = Decode(zip, s);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.back(), 100);
    for (size_t i = 1; i < r.progress.size(); ++i) EXPECT_LT(r.progress[i - 1], r.progress[i]);
    // Back-references report between buffer flushes, so an 80 KB member sees
    // far more than its three buffer-sized steps.
    EXPECT_GT(r.progress.size(), 50u);
  }
}

// Each decoder keeps its tree-walking state to itself: a second Implode
// member decoded from inside the first one's progress report leaves both
// intact.
TEST(AbUnzCorpus, ImplodeMembersCanBeDecodedInsideEachOther) {
  REQUIRE_CORPUS();
  const auto zip = ReadWholeFile(CorpusFile("legacy/HWIMPODE.ZIP"));
  const auto members = ReadZipDirectory(zip);
  ASSERT_EQ(members.size(), 3u);
  const ZipMember& outer =
      members[2].uncompressedSize > members[0].uncompressedSize ? members[2] : members[0];
  const ZipMember& inner = &outer == &members[0] ? members[1] : members[0];

  rtl::TMemoryStream input(zip);
  input.Seek(outer.dataOffset, rtl::soBeginning);
  rtl::TMemoryStream output;
  ab::TAbUnzipHelper helper(input, output, nullptr);
  Configure(helper, SettingsFor(outer), static_cast<int64_t>(zip.size()));
  int nested = 0;
  helper.OnProgress = [&](uint8_t, bool&) {
    if (nested >= 5) return;
    ++nested;
    EXPECT_EQ(Decode(zip, SettingsFor(inner)).crc, inner.crc);
  };
  EXPECT_EQ(helper.Run(), outer.crc);
  EXPECT_EQ(nested, 5);
}

}  // namespace
