// A large member through the member path on several threads: the same bytes
// as on one thread, and the same failure, class and text, for a member that
// is corrupt or holds more than it declares.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "archive/AbUnzMember.h"
#include "os/fs.h"
#include "os/os.h"
#include "support/AbDfTestSupport.h"
#include "support/Corpus.h"
#include "support/ZipBuilder.h"
#include "zip/Archive.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUnzParallel.h"

using namespace ab;
using testing_support::ZipBuilder;
using testing_support::ZipMember;

#if TESSALINE_HAVE_ZLIB

namespace {

// What decoding an entry gave: its bytes, or the failure's category and rule.
struct Outcome {
  std::vector<uint8_t> bytes;
  std::string failure;
  bool operator==(const Outcome&) const = default;
};

Outcome Decode(const zip::Archive& archive, const zip::Entry& entry, unsigned threads, bool test) {
  Outcome outcome;
  zip::MemorySink memory;
  zip::ReadOptions options;
  options.threads = threads;
  try {
    zip::Reader reader(archive);
    if (test) {
      reader.Test(entry, options);
    } else {
      reader.Extract(entry, memory, options);
    }
  } catch (const zip::Error& error) {
    outcome.failure = std::to_string(static_cast<int>(error.Category())) + ": " + error.Rule();
  }
  outcome.bytes = memory.Bytes();
  return outcome;
}

// Maps the test's archive file as the library maps a file source.
class FileMapper final : public TAbSpanMapper {
 public:
  explicit FileMapper(const std::string& path) : file_(os::fs::OpenRead(path)) {}
  ~FileMapper() override { os::CloseFile(file_); }
  std::unique_ptr<os::FileMapping> Map(uint64_t offset, uint64_t size) const override {
    return os::FileMapping::Open(file_, offset, size);
  }

 private:
  os::FileHandle file_;
};

}  // namespace

TEST(MemberInParallel, LargeMembersDecodeAndFailAsOnOneThread) {
  // Text of a small alphabet: enough of it to pass the threshold compressed.
  std::mt19937 random(11);
  std::string text(12 << 20, ' ');
  for (char& c : text) c = static_cast<char>('0' + random() % 40);
  const dftest::Bytes packed = dftest::ZlibDeflate(dftest::Bytes(text.begin(), text.end()), 1);
  ASSERT_GE(packed.size(), kParallelInflateFrom);
  auto member = [&](const std::string& name, std::string payload, size_t declared) {
    ZipMember m;
    m.name = name;
    m.method = 8;
    m.data = text.substr(0, declared);
    m.crc = Crc32(text.data(), text.size());
    m.payload = std::move(payload);
    m.hasPayload = true;
    return m;
  };
  const std::string stream(packed.begin(), packed.end());
  std::string corrupt = stream;
  corrupt[corrupt.size() * 3 / 4] ^= 0x10;
  ZipBuilder builder;
  builder.Add(member("whole.txt", stream, text.size()))
      .Add(member("corrupt.txt", corrupt, text.size()))
      .Add(member("lying.txt", stream, text.size() - 1000))
      .Add(member("cut.txt", stream.substr(0, stream.size() - 20), text.size()));
  testing_support::ScratchFolder folder;
  const std::string path = folder.Native() + "/large.zip";
  const std::vector<uint8_t> zip = builder.Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));

  // The parallel path takes such a member at all: straight at its data.
  {
    TAbZipArchive installer(os::ExpandFileName(testing_support::ProgramPath(path)),
                            rtl::fmOpenRead | rtl::fmShareDenyNone);
    installer.LoadCatalogue();
    TAbZipItem& whole = installer.Item(0);
    const FileMapper mapper(path);
    class NoPasswords final : public TAbPasswordKeeper {
      std::string none_;
      const std::string& Password() const override { return none_; }
      void SetPassword(std::string) override {}
      uint8_t TryLimit() const override { return 0; }
      bool CanAsk() const override { return false; }
      std::string Ask(void*) override { return {}; }
    } passwords;
    const TAbMemberJob job{MemberHeaderOf(whole.CentralHeader()), whole.Facts(), nullptr, true,
                           true, passwords};
    installer.Stream().Seek(30 + 9, rtl::soBeginning);
    TAbBitBucketStream bucket;
    EXPECT_EQ(InflateMemberInParallel(job, {installer.Stream(), nullptr, 2, &mapper}, bucket),
              std::optional<uint32_t>(whole.Crc32()));
    EXPECT_EQ(InflateMemberInParallel(job, {installer.Stream(), nullptr, 1, &mapper}, bucket),
              std::nullopt);
  }

  const zip::Archive archive = zip::Archive::Open(zip::OpenFile(path));
  ASSERT_EQ(archive.Count(), 4u);
  for (const zip::Entry& entry : archive.Entries()) {
    for (const bool test : {false, true}) {
      const Outcome one = Decode(archive, entry, 1, test);
      const Outcome two = Decode(archive, entry, 2, test);
      EXPECT_EQ(one.failure, two.failure) << entry.Name() << " " << test;
      EXPECT_EQ(one.failure.empty(), entry.Index() == 0) << entry.Name() << " " << one.failure;
      // What a failing member wrote before its failure is cut at another
      // piece than on one thread, but is what that thread decodes.
      const size_t common = std::min(one.bytes.size(), two.bytes.size());
      EXPECT_LE(two.bytes.size(), entry.Size());
      EXPECT_TRUE(std::equal(two.bytes.begin(), two.bytes.begin() + common, one.bytes.begin()))
          << entry.Name() << " " << test;
      if (one.failure.empty()) {
        EXPECT_EQ(one.bytes.size(), two.bytes.size());
      }
    }
  }
}

#endif  // TESSALINE_HAVE_ZLIB
