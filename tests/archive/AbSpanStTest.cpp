// The archive's file stream and the full path names the archive is opened by.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/AbArcTyp.h"
#include "os/os.h"
#include "support/Corpus.h"
#include "zip/engine/AbSpanSt.h"
#include "zip/engine/AbZipRecords.h"

namespace {

using namespace ab;
using testing_support::ScratchFolder;

std::string WriteFile(const ScratchFolder& scratch, const std::string& name,
                      const std::string& bytes) {
  const std::string native = scratch.Native() + "/" + name;
  std::ofstream(native, std::ios::binary) << bytes;
  return os::ExpandFileName(testing_support::ProgramPath(native));
}

TEST(SpanStream, ReadsSeeksAndNeverWrites) {
  ScratchFolder scratch;
  const std::string path = WriteFile(scratch, "s.bin", "0123456789");
  TAbSpanStream stream(path, rtl::fmShareDenyNone, mtLocal, 0);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.SpanMode(), smReading);
  char buffer[4] = {};
  EXPECT_EQ(stream.Seek(-4, rtl::soEnd), 6);
  EXPECT_EQ(stream.Read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(stream.Read(buffer, 4), 0);
  EXPECT_EQ(stream.Write("x", 1), 0);
  EXPECT_THROW(stream.WriteBuffer("x", 1), rtl::EWriteError);
  EXPECT_EQ(testing_support::ReadWholeFile(scratch.Native() + "/s.bin").size(), 10u);
}

TEST(SpanStream, RefusesRelativeNamesAndWritingModes) {
  EXPECT_THROW(TAbSpanStream("plain.zip", rtl::fmShareDenyNone, mtLocal, 0), EAbException);
  ScratchFolder scratch;
  const std::string path = WriteFile(scratch, "w.zip", "keep");
  EXPECT_THROW(TAbSpanStream(path, rtl::fmCreate, mtLocal, 0), EAbException);
  EXPECT_THROW(TAbSpanStream(path, rtl::fmOpenWrite, mtLocal, 0), EAbException);
  EXPECT_EQ(testing_support::ReadWholeFile(scratch.Native() + "/w.zip").size(), 4u);
}

TEST(ExpandFileName, WindowsFormIsNormalised) {
  EXPECT_EQ(os::ExpandFileName("C:\\a\\.\\b\\..\\c.zip"), "C:\\a\\c.zip");
  EXPECT_EQ(os::ExpandFileName("C:/a//b/"), "C:\\a\\b\\");
  EXPECT_EQ(os::ExpandFileName("C:\\"), "C:\\");
  EXPECT_EQ(os::ExpandFileName("C:\\..\\x"), "C:\\x");
  EXPECT_EQ(os::ExpandFileName("\\\\server\\share\\d\\..\\f"), "\\\\server\\share\\f");
}

TEST(ExpandFileName, RelativeNamesAreTakenAgainstTheCurrentFolder) {
  const std::string here = os::ExpandFileName(".");
  ASSERT_GE(here.size(), 3u);
  EXPECT_EQ(here[1], ':');
  EXPECT_EQ(os::ExpandFileName("x\\y.zip"),
            (here.back() == '\\' ? here : here + "\\") + "x\\y.zip");
  EXPECT_EQ(os::ExpandFileName("x\\..\\y.zip"), os::ExpandFileName("y.zip"));
}

TEST(ExpandFileName, ResultOpensTheSameFile) {
  ScratchFolder scratch;
  const std::string expanded = WriteFile(scratch, "same.zip", "abc");
  EXPECT_EQ(expanded[1], ':');
  EXPECT_EQ(os::FileAttributes(expanded) & os::faDirectory, 0u);
  EXPECT_NE(os::FileAttributes(expanded), os::kInvalidFileAttributes);
}

TEST(AnsiText, RoundTripsThroughUtf8) {
  const std::string ansi = "caf\xE9 \x80 \x9F";
  EXPECT_EQ(os::AnsiToUtf8(ansi), "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8");
  EXPECT_EQ(os::Utf8ToAnsi(os::AnsiToUtf8(ansi)), ansi);
  EXPECT_EQ(os::Utf8ToAnsi("\xE4\xB8\xAD"), "?");  // not in the code page
}

}  // namespace
