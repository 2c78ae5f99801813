// TAbUnzipHelper against the plain reference decoder: on the corpus members,
// cut short at many points and with damaged bytes, and on random streams,
// both must write the same bytes, report the same progress and refuse the
// same inputs.
#include <gtest/gtest.h>

#include <random>

#include "support/AbUnzReference.h"
#include "support/AbUnzTestSupport.h"
#include "support/Corpus.h"
#include "zip/engine/AbUnzPrc.h"

namespace {

using namespace legacy_test;

struct Outcome {
  std::vector<uint8_t> output;
  std::vector<int> progress;
  uint32_t crc = 0;
  bool failed = false;
};

Outcome RunHelper(const std::vector<uint8_t>& data, const DecodeSettings& s) {
  Outcome o;
  rtl::TMemoryStream input(data);
  input.Seek(s.offset, rtl::soBeginning);
  rtl::TMemoryStream output;
  {
    ab::TAbUnzipHelper helper(input, output, nullptr);
    Configure(helper, s, static_cast<int64_t>(data.size()));
    helper.OnProgress = [&](uint8_t percent, bool&) { o.progress.push_back(percent); };
    try {
      o.crc = helper.Run();
    } catch (const ab::EAbException&) {
      o.failed = true;
    }
  }
  o.output = output.Bytes();
  return o;
}

Outcome RunReference(const std::vector<uint8_t>& data, const DecodeSettings& s) {
  Outcome o;
  const int32_t compressed =
      s.compressedSize >= 0 ? s.compressedSize : static_cast<int32_t>(data.size() - s.offset);
  ReferenceDecoder ref(data, s.offset, compressed, s.uncompressedSize);
  ref.recordProgress = true;
  try {
    ref.Run(s.method, s.dictionarySize, s.treeCount);
    o.crc = ~ref.crc;
  } catch (const ReferenceFailure&) {
    o.failed = true;
  }
  o.output = ref.output;
  o.progress = ref.progress;
  return o;
}

void ExpectSame(const std::vector<uint8_t>& data, const DecodeSettings& s) {
  const Outcome a = RunHelper(data, s);
  const Outcome b = RunReference(data, s);
  ASSERT_EQ(a.failed, b.failed);
  ASSERT_EQ(a.output.size(), b.output.size());
  ASSERT_TRUE(a.output == b.output);
  ASSERT_EQ(a.progress, b.progress);
  if (!a.failed) {
    ASSERT_EQ(a.crc, b.crc);
  }
}

std::vector<std::pair<std::vector<uint8_t>, ZipMember>> CorpusMembers() {
  std::vector<std::pair<std::vector<uint8_t>, ZipMember>> all;
  for (const char* name : {"HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP", "example-s.zip",
                           "example-r.zip", "example-i.zip", "shrink.zip", "reduce.zip",
                           "implode.zip", "implode_small.zip", "implode_realloc.zip"}) {
    const auto zip =
        testing_support::ReadWholeFile(testing_support::CorpusFile(std::string("legacy/") + name));
    for (const ZipMember& m : ReadZipDirectory(zip))
      if (m.method >= 1 && m.method <= 6) all.emplace_back(zip, m);
  }
  return all;
}

TEST(AbUnzDifferential, CorpusMembersWholeAndCutShort) {
  REQUIRE_CORPUS();
  const auto members = CorpusMembers();
  ASSERT_GE(members.size(), 17u);
  for (const auto& [zip, m] : members) {
    SCOPED_TRACE(m.name);
    DecodeSettings s = SettingsFor(m);
    ExpectSame(zip, s);
    // Cut at every early point (tree and follower-set loading) and at
    // spread-out later ones.
    for (int32_t cut = 0; cut < static_cast<int32_t>(m.compressedSize); ++cut) {
      if (cut > 300 && cut % 97 != 0 && cut < static_cast<int32_t>(m.compressedSize) - 5) continue;
      s.compressedSize = cut;
      SCOPED_TRACE(cut);
      ExpectSame(zip, s);
    }
  }
}

TEST(AbUnzDifferential, CorpusMembersWithDamagedBytes) {
  REQUIRE_CORPUS();
  std::mt19937 random(20261208);
  for (const auto& [original, m] : CorpusMembers()) {
    SCOPED_TRACE(m.name);
    for (int round = 0; round < 40; ++round) {
      auto zip = original;
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int f = 0; f < flips; ++f) {
        const size_t at = m.dataOffset + random() % m.compressedSize;
        zip[at] = static_cast<uint8_t>(zip[at] ^ (1u << (random() % 8)));
      }
      SCOPED_TRACE(round);
      ExpectSame(zip, SettingsFor(m));
    }
  }
}

TEST(AbUnzDifferential, RandomStreams) {
  std::mt19937 random(7);
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> data(1 + random() % 700);
    // Mostly small byte values make long Shrink chains and short Implode
    // codes; some rounds use every value.
    const uint32_t range = round % 3 == 0 ? 256 : 1 + random() % 16;
    for (auto& b : data) b = static_cast<uint8_t>(random() % range);
    DecodeSettings s;
    s.method = static_cast<uint8_t>(1 + round % 6);
    s.uncompressedSize = static_cast<int32_t>(random() % 70000);
    s.dictionarySize = static_cast<uint8_t>(1 + random() % 2);
    s.treeCount = static_cast<uint8_t>(2 + random() % 2);
    SCOPED_TRACE(round);
    ExpectSame(data, s);
  }
}

}  // namespace
