// Member spans and the overlap check on archives built byte by byte: data
// descriptors with and without their signature, a flag bit 3 with no
// descriptor behind it, members sharing bytes and members running into the
// directory.
#include <gtest/gtest.h>

#include "archive/AbUnzMember.h"
#include "support/ZipBuilder.h"
#include "zip/engine/AbZipLayout.h"

namespace {

using namespace ab;
using testing_support::ZipBuilder;
using testing_support::ZipMember;

ZipMember Member(const std::string& name, const std::string& data, const std::string& trailer = "",
                 uint16_t flags = 0) {
  ZipMember m;
  m.name = name;
  m.data = data;
  m.trailer = trailer;
  m.flags = flags;
  return m;
}

std::string Descriptor(const ZipMember& m, bool signature) {
  std::string out;
  if (signature) ZipBuilder::U32(out, 0x08074B50);
  ZipBuilder::U32(out, m.StoredCrc());
  ZipBuilder::U32(out, static_cast<uint32_t>(m.data.size()));
  ZipBuilder::U32(out, static_cast<uint32_t>(m.data.size()));
  return out;
}

std::vector<bool> Overlaps(TAbZipArchive& archive) {
  archive.CheckMemberSpans();
  std::vector<bool> result;
  for (int32_t i = 0; i < archive.ItemCount(); ++i)
    result.push_back(archive.Item(i).SpanOverlaps());
  return result;
}

TEST(MemberSpans, DescriptorsCountOnlyWhenTheyAreThere) {
  ZipMember a = Member("a", "first", "", 0x0008);
  a.trailer = Descriptor(a, true);
  ZipMember b = Member("b", "second", "", 0x0008);
  b.trailer = Descriptor(b, false);
  ZipMember c = Member("c", "third", "", 0x0008);  // flag set, no descriptor written
  ZipBuilder builder;
  builder.Add(a).Add(b).Add(c).Add(Member("d", "fourth"));
  auto archive = builder.Open();
  archive->LoadCatalogue();
  const auto spanA = ReadMemberSpan(archive->Stream(), PlaceOf(archive->Item(0)));
  const auto spanB = ReadMemberSpan(archive->Stream(), PlaceOf(archive->Item(1)));
  const auto spanC = ReadMemberSpan(archive->Stream(), PlaceOf(archive->Item(2)));
  ASSERT_TRUE(spanA && spanB && spanC);
  EXPECT_EQ(spanA->end, archive->Item(1).LocalHeaderOffset64());
  EXPECT_EQ(spanB->end, archive->Item(2).LocalHeaderOffset64());
  EXPECT_EQ(spanC->end, archive->Item(3).LocalHeaderOffset64());
  EXPECT_EQ(Overlaps(*archive), (std::vector<bool>{false, false, false, false}));
}

TEST(MemberSpans, SharedBytesMarkEveryMemberInvolved) {
  ZipBuilder builder;
  ZipMember twin = Member("twin", "uno");  // as long as a.txt's data
  twin.offsetOverride = 0;                 // the local header of the first member
  builder.Add(Member("a.txt", "one")).Add(Member("b.txt", "two")).Add(twin);
  auto archive = builder.Open();
  archive->LoadCatalogue();
  EXPECT_EQ(Overlaps(*archive), (std::vector<bool>{true, false, true}));
  rtl::TMemoryStream output;
  EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(0), &output), EAbZipOverlap);
  EXPECT_NO_THROW(DecodeMemberToStream(*archive, archive->Item(1), &output));
}

TEST(MemberSpans, DataRunningIntoTheDirectoryOverlapsIt) {
  ZipMember big = Member("big", "0123456789");
  big.hasPayload = true;
  big.payload = "0123456789";
  ZipBuilder builder;
  builder.Add(Member("a", "ok")).Add(big);
  std::vector<uint8_t> bytes = builder.Build();
  // The second member's compressed size, in the directory, made 20 bytes
  // larger: its data now reach into the directory.
  const size_t second = bytes.size() - 22 - (46 + 3);
  ASSERT_EQ(bytes[second], 'P');
  bytes[second + 20] += 20;
  TAbZipArchive archive(std::make_unique<rtl::TMemoryStream>(bytes));
  archive.LoadCatalogue();
  EXPECT_EQ(Overlaps(archive), (std::vector<bool>{false, true}));
}

TEST(MemberSpans, AMissingLocalHeaderIsLeftToTheDecoder) {
  ZipBuilder builder;
  ZipMember lost = Member("lost", "x");
  lost.offsetOverride = 5;  // inside the first member's header
  builder.Add(Member("a", "fine")).Add(lost);
  auto archive = builder.Open();
  archive->LoadCatalogue();
  EXPECT_FALSE(ReadMemberSpan(archive->Stream(), PlaceOf(archive->Item(1))).has_value());
  EXPECT_EQ(Overlaps(*archive), (std::vector<bool>{false, false}));
  rtl::TMemoryStream output;
  EXPECT_THROW(DecodeMemberToStream(*archive, archive->Item(1), &output), EAbZipInvalid);
}

}  // namespace
