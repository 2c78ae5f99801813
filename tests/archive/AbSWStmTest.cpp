// The output history: what can be read back, where it may seek, and that
// every byte reaches the underlying stream once, at the right place.
#include <gtest/gtest.h>

#include <map>
#include <numeric>

#include "rtl/Exception.h"
#include "zip/engine/AbSWStm.h"

namespace {

using ab::TabSlidingWindowStream;

// Remembers every write as (position, count) and can be told to fail.
class RecordingStream : public rtl::TMemoryStream {
 public:
  std::vector<std::pair<int64_t, int32_t>> writes;
  bool failSeek = false;
  bool failWrite = false;
  int32_t Write(const void* buffer, int32_t count) override {
    if (failWrite) return count / 2;
    writes.emplace_back(Position(), count);
    return TMemoryStream::Write(buffer, count);
  }
  int64_t Seek(int64_t offset, int origin) override {
    if (failSeek && !(offset == 0 && origin == rtl::soCurrent)) return -1;
    return TMemoryStream::Seek(offset, origin);
  }
  TMemoryStream* AppendInPlace() override { return nullptr; }
};

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 13 + i / 251);
  return v;
}

TEST(AbSWStm, EveryByteReachesTheStreamOnceInPlace) {
  const auto data = Pattern(100000);
  RecordingStream under;
  {
    TabSlidingWindowStream window(under);
    size_t at = 0;
    for (size_t step = 1; at < data.size(); step = step * 3 % 40000 + 1) {
      const auto n = static_cast<int32_t>(std::min(step, data.size() - at));
      ASSERT_EQ(window.Write(data.data() + at, n), n);
      at += static_cast<size_t>(n);
    }
    // Until released, only chunks that left the window have been written.
    EXPECT_LE(under.Size(), 100000 - 32768);
    window.Release();
  }
  EXPECT_EQ(under.Bytes(), data);
  std::map<int64_t, int32_t> seen;
  for (auto [position, count] : under.writes) {
    EXPECT_EQ(position % 8192, 0);
    EXPECT_TRUE(seen.emplace(position, count).second) << "written twice at " << position;
  }
  EXPECT_EQ(std::accumulate(under.writes.begin(), under.writes.end(), int64_t{0},
                            [](int64_t s, auto w) { return s + w.second; }),
            100000);
}

TEST(AbSWStm, ReadsBackTheLast32KAndSeeksOnlyInsideTheWindow) {
  const auto data = Pattern(50000);
  rtl::TMemoryStream under;
  TabSlidingWindowStream window(under);
  for (size_t at = 0; at < data.size(); at += 10000) window.Write(data.data() + at, 10000);
  EXPECT_EQ(window.Size(), 50000);
  // The window starts at the size rounded down to 8 KB, less 32 KB.
  const int64_t start = 49152 - 32768;
  EXPECT_EQ(window.Seek(start, rtl::soBeginning), start);
  std::vector<uint8_t> back(50000 - start);
  EXPECT_EQ(window.Read(back.data(), 40000), 32768);  // at most 32 KB per call
  EXPECT_EQ(window.Read(back.data() + 32768, 40000), static_cast<int32_t>(back.size()) - 32768);
  EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + start));
  EXPECT_EQ(window.Read(back.data(), 1), 0);  // at the end
  EXPECT_EQ(window.Seek(-5, rtl::soEnd), 49995);
  EXPECT_EQ(window.Seek(2, rtl::soCurrent), 49997);
  uint8_t b = 0;
  EXPECT_EQ(window.Read(&b, 1), 1);
  EXPECT_EQ(b, data[49997]);
  for (auto [offset, origin] : {std::pair{start - 1, 0}, {50001, 0}, {1, 2}}) {
    try {
      window.Seek(offset, origin);
      ADD_FAILURE() << offset;
    } catch (const rtl::Exception& e) {
      EXPECT_EQ(e.Message(), "TabSlidingWindowStream.Seek: invalid new position");
    }
  }
  try {
    window.Seek(0, 3);
    ADD_FAILURE();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "TabSlidingWindowStream.Seek: invalid origin");
  }
  // Writing away from the end is refused.
  window.Seek(start, rtl::soBeginning);
  try {
    window.Write(data.data(), 1);
    ADD_FAILURE();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "TabSlidingWindowStream.Write: Not at end of stream");
  }
}

TEST(AbSWStm, BeforeTheFirstByteReadsZeros) {
  rtl::TMemoryStream under;
  TabSlidingWindowStream window(under);
  window.Write("abc", 3);
  EXPECT_EQ(window.Seek(-32768, rtl::soBeginning), -32768);
  std::vector<uint8_t> back(32771, 0xEE);
  EXPECT_EQ(window.Read(back.data(), 32768), 32768);  // cut to 32 KB per call
  EXPECT_EQ(std::count(back.begin(), back.begin() + 32768, 0), 32768);
  EXPECT_EQ(window.Read(back.data(), 10), 3);
  EXPECT_EQ(std::string(back.begin(), back.begin() + 3), "abc");
}

TEST(AbSWStm, WritesAreCutTo32K) {
  const auto data = Pattern(40000);
  rtl::TMemoryStream under;
  {
    TabSlidingWindowStream window(under);
    EXPECT_EQ(window.Write(data.data(), 40000), 32768);
    EXPECT_EQ(window.Size(), 32768);
  }
  EXPECT_EQ(under.Size(), 32768);  // released by the destructor
}

TEST(AbSWStm, FailuresOfTheUnderlyingStreamAreReported) {
  const auto data = Pattern(8192);
  for (bool seek : {true, false}) {
    RecordingStream under;
    TabSlidingWindowStream window(under);
    window.Write(data.data(), 100);
    (seek ? under.failSeek : under.failWrite) = true;
    try {
      window.Release();
      ADD_FAILURE();
    } catch (const rtl::Exception& e) {
      EXPECT_EQ(e.Message(), seek ? "TabSlidingWindowStream.bsWriteChunk: seek failed"
                                  : "TabSlidingWindowStream.bsWriteChunk: write failed");
    }
  }
}

}  // namespace
