// File views: any offset (the system's own views start at page or
// allocation-granularity boundaries), the file closed behind the view, and
// pages let go that still read the file's bytes.
#include <gtest/gtest.h>

#include <string>

#include "os/mapping.h"
#include "support/OsTestHelpers.h"

namespace {

TEST(OsFileMapping, ViewsAnyStretchAndKeepItsBytesThroughARelease) {
  os_test::Scratch scratch;
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
  os_test::WriteNative(scratch.Native("data.bin"), content);
  os::FileHandle file = os::OpenExistingFile(scratch.Program("data.bin"), 0x40);
  ASSERT_TRUE(file.Valid()) << os::LastError();
  const uint64_t offset = 70001;
  const size_t size = 200000;
  const std::unique_ptr<os::FileMapping> view = os::FileMapping::Open(file, offset, size);
  os::CloseFile(file);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->Size(), size);
  const auto bytes = [&] { return std::string(reinterpret_cast<const char*>(view->Data()), size); };
  EXPECT_EQ(bytes(), content.substr(offset, size));
  view->Release(150000);
  EXPECT_EQ(bytes(), content.substr(offset, size));
  EXPECT_EQ(os::FileMapping::Open(os::FileHandle{}, 0, 10), nullptr);
}

}  // namespace
