// The library's face: entries as values, reading into a sink or testing,
// failures in their categories, one archive read from several threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/AbZipCryTestSupport.h"
#include "support/ZipBuilder.h"
#include "zip/Archive.h"
#include "zip/EntryStream.h"
#include "zip/ExtraField.h"
#include "zip/MemberPath.h"

namespace {

using testing_support::ZipBuilder;
using testing_support::ZipMember;

zip::Archive Open(const ZipBuilder& builder, const zip::OpenOptions& options = {}) {
  return zip::Archive::Open(std::make_shared<zip::MemorySource>(builder.Build()), options);
}

zip::Failure CategoryOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const zip::Error& e) {
    return e.Category();
  }
  ADD_FAILURE() << "no zip::Error";
  return zip::Failure::kIo;
}

TEST(Library, EntriesAreReadIntoSinksOrTested) {
  ZipBuilder b;
  ZipMember folder;
  folder.name = "dir/";
  folder.attributes = 0x10;
  b.Add(folder).Add("dir/a.txt", "alpha").Add("b.txt", std::string(100000, 'b'));
  const zip::Archive archive = Open(b);
  ASSERT_EQ(archive.Count(), 3u);
  std::vector<std::string> names;
  for (const zip::Entry& entry : archive.Entries()) names.push_back(entry.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"dir/", "dir/a.txt", "b.txt"}));

  const zip::Entry a = archive.At(1);
  EXPECT_TRUE(archive.At(0).IsFolder());
  EXPECT_EQ(a.Size(), 5u);
  EXPECT_EQ(a.Method(), 0);
  zip::MemorySink bytes;
  archive.Extract(a, bytes);
  EXPECT_EQ(bytes.Text(), "alpha");
  zip::Reader reader(archive);
  zip::CountingSink counted;
  reader.Extract(archive.At(2), counted);
  EXPECT_EQ(counted.Count(), 100000u);
  reader.Test(archive.At(2));

  // An entry of another archive is the caller's mistake, not a damaged one.
  const zip::Archive other = Open(b);
  EXPECT_THROW(other.Extract(a, bytes), std::invalid_argument);
}

TEST(Library, FailuresComeInCategoriesNamingTheEntry) {
  ZipBuilder b;
  ZipMember bad;
  bad.name = "bad.txt";
  bad.data = "payload";
  bad.crc = 1;
  ZipMember secret;
  secret.name = "secret.txt";
  secret.data = "top secret";
  secret.flags = 1;
  const std::string text = "top secret";
  const std::vector<uint8_t> sealed = legacy_test::Encrypt(
      std::vector<uint8_t>(text.begin(), text.end()), "right", secret.StoredCrc());
  secret.payload.assign(sealed.begin(), sealed.end());
  secret.hasPayload = true;
  ZipMember modern;
  modern.name = "lzma.bin";
  modern.data = "x";
  modern.method = 14;
  modern.version = 63;
  b.Add(bad).Add(secret).Add(modern);
  const zip::Archive archive = Open(b);

  try {
    archive.Test(archive.At(0));
    FAIL() << "a failed CRC check passed";
  } catch (const zip::Error& e) {
    EXPECT_EQ(e.Category(), zip::Failure::kDamaged);
    EXPECT_EQ(e.Entry(), "bad.txt");
    EXPECT_EQ(std::string(e.what()), "bad.txt: " + e.Rule());
  }
  EXPECT_EQ(CategoryOf([&] { archive.Test(archive.At(1)); }), zip::Failure::kWrongPassword);
  zip::ReadOptions wrong;
  wrong.password = "wrong";
  wrong.askPassword = [](const zip::Entry&) { return std::optional<std::string>("right"); };
  zip::MemorySink plain;
  archive.Extract(archive.At(1), plain, wrong);
  EXPECT_EQ(plain.Text(), "top secret");
  EXPECT_EQ(CategoryOf([&] { archive.Test(archive.At(2)); }), zip::Failure::kUnsupported);

  zip::ReadOptions stop;
  stop.progress = [](uint8_t) { return false; };
  ZipBuilder large;
  large.Add("large.txt", std::string(1 << 20, 'l'));
  const zip::Archive big = Open(large);
  EXPECT_EQ(CategoryOf([&] { big.Test(big.At(0), stop); }), zip::Failure::kCancelled);

  // What the caller's sink throws reaches the caller as it was thrown.
  struct Refusing : zip::Sink {
    void Write(const uint8_t*, size_t) override { throw std::runtime_error("disk full"); }
  } refusing;
  EXPECT_THROW(big.Extract(big.At(0), refusing), std::runtime_error);

  const std::vector<uint8_t> junk(100, 'j');
  EXPECT_EQ(CategoryOf([&] { zip::Archive::Open(std::make_shared<zip::MemorySource>(junk)); }),
            zip::Failure::kNotZip);
}

// What a caller decodes from an entry's raw fields comes through the public
// headers whole: the stamp's fields, the AES block, the extra field's blocks
// and the path below the target folder.
TEST(Library, RawFactsAreDecodedForCallers) {
  ZipMember aes;
  aes.name = "secret.bin";
  aes.method = 99;
  aes.flags = 1;
  aes.date = 0x5A8E;  // 2025-04-14
  aes.time = 0x6A35;  // 13:17:42
  const std::string timestamp = ZipBuilder::ExtraBlock(0x5455, "\x01" + ZipBuilder::Le32(1700000000));
  aes.extra = timestamp + ZipBuilder::ExtraBlock(0x9901, std::string("\x02\x00" "AE\x03\x08\x00", 7)) +
              std::string("\x55\x78\x0a\x00\x01\x02", 6);  // runs past the field
  ZipBuilder b;
  b.Add(aes);
  const zip::Entry entry = Open(b).At(0);

  EXPECT_EQ(zip::DecodeDosDateTime(entry.DosDate(), entry.DosTime()),
            (zip::DosDateTime{2025, 4, 14, 13, 17, 42}));
  const std::optional<zip::WinZipAesFacts> field = entry.WinZipAes();
  ASSERT_TRUE(field);
  EXPECT_EQ(field->vendorVersion, 2);
  EXPECT_EQ(field->strength, 3);
  EXPECT_EQ(field->method, 8);
  EXPECT_EQ(field->overhead, 16u + 2u + 10u);  // salt, verifier, code of a 256-bit key

  const zip::ExtraBlocks blocks = zip::SplitExtraField(entry.ExtraField());
  ASSERT_EQ(blocks.Blocks().size(), 2u);
  EXPECT_EQ(blocks.Blocks()[1].id, zip::extra_id::kWinZipAes);
  EXPECT_EQ(blocks.Blocks()[1].data.size(), 7u);
  EXPECT_TRUE(blocks.Damaged());
  EXPECT_EQ(blocks.DamagedId(), 0x7855);
  const std::optional<std::string_view> utc = blocks.Find(zip::extra_id::kExtendedTimestamp);
  ASSERT_TRUE(utc);
  EXPECT_EQ(zip::ExtendedTimestampModified(*utc), (zip::Time{1700000000, 0}));
  EXPECT_FALSE(zip::ExtendedTimestampModified("\x02"));

  const zip::MemberPath path = zip::SplitMemberPath("a//./b/c.txt");
  EXPECT_EQ(path.components, (std::vector<std::string>{"a", "b", "c.txt"}));
  EXPECT_EQ(path.Leaf(), "c.txt");
  EXPECT_FALSE(path.isFolder);
  EXPECT_TRUE(zip::SplitMemberPath("docs/").isFolder);
  try {
    zip::SplitMemberPath("a/../../b");
    ADD_FAILURE() << "a/../../b was not refused";
  } catch (const zip::Error& error) {
    EXPECT_EQ(error.Category(), zip::Failure::kUnsafe);
    EXPECT_EQ(error.Cause(), zip::Cause::kUnsafeName);
    EXPECT_EQ(error.Entry(), "a/../../b");
    EXPECT_EQ(error.Rule(), "Cannot extract file - parent folder (..) in the name");
  }
}

TEST(Library, MembersSharingBytesAreUnsafe) {
  ZipBuilder b;
  b.Add("one", "shared bytes");
  ZipMember again;
  again.name = "two";
  again.data = "shared bytes";
  again.offsetOverride = 0;
  b.Add(again);
  const zip::Archive archive = Open(b);
  EXPECT_TRUE(archive.Overlaps(archive.At(1)));
  EXPECT_EQ(CategoryOf([&] { archive.Test(archive.At(0)); }), zip::Failure::kUnsafe);
}

TEST(Library, ThreadsReadOneArchiveAtOnce) {
  ZipBuilder b;
  for (int i = 0; i < 64; ++i) b.Add("m" + std::to_string(i), std::string(5000 + i, 'a' + i % 26));
  const zip::Archive archive = Open(b);
  std::vector<std::thread> threads;
  std::vector<int> good(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      zip::Reader reader(archive);
      for (const zip::Entry& entry : archive.Entries()) {
        zip::MemorySink sink;
        reader.Extract(entry, sink);
        const size_t i = entry.Index();
        if (sink.Text() == std::string(5000 + i, static_cast<char>('a' + i % 26))) ++good[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good, (std::vector<int>{64, 64, 64, 64}));
}

// Pulled a few bytes at a time, an entry reads as extracted; a damaged one
// gives its bytes, then its error; a stream left early stops its decoder.
TEST(Library, EntriesArePulledIntoTheCallersBuffer) {
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + "\n";
  ZipBuilder b;
  b.Add("text", text);
  ZipMember bad;
  bad.name = "bad";
  bad.data = text;
  bad.crc = 7;
  b.Add(bad);
  const zip::Archive archive = Open(b);
  std::string pulled;
  {
    zip::EntryStream stream(archive, archive.At(0));
    char buffer[1000];
    while (const size_t n = stream.Read(buffer, sizeof buffer)) pulled.append(buffer, n);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
  }
  EXPECT_EQ(pulled, text);

  zip::EntryStream damaged(archive, archive.At(1));
  char buffer[4096];
  size_t total = 0;
  try {
    while (const size_t n = damaged.Read(buffer, sizeof buffer)) total += n;
    ADD_FAILURE() << "a failed CRC check read to the end";
  } catch (const zip::Error& e) {
    EXPECT_EQ(e.Category(), zip::Failure::kDamaged);
  }
  EXPECT_EQ(total, text.size());

  zip::EntryStream left(archive, archive.At(0));
  EXPECT_GT(left.Read(buffer, 10), 0u);
}

}  // namespace
