#include <gtest/gtest.h>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "rtl/Stream.h"
#include "support/Corpus.h"

using namespace rtl;

TEST(Format, FillsTextAndNumbersInOrder) {
  EXPECT_EQ(Format("Cannot open file %s", {"C:\\A.TXT"}), "Cannot open file C:\\A.TXT");
  EXPECT_EQ(Format("List index out of bounds (%d)", {-1}), "List index out of bounds (-1)");
  EXPECT_EQ(Format("%d of %s, 100%%", {3, "five"}), "3 of five, 100%");
  EXPECT_EQ(Format("missing %s", {}), "missing %s");
}

TEST(MemoryStream, ReadWriteSeekAndExactCounts) {
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.Seek(-2, soEnd), 4);
  char two[2];
  stream.ReadBuffer(two, 2);
  EXPECT_EQ(std::string(two, 2), "ef");
  EXPECT_EQ(stream.Read(two, 2), 0);
  EXPECT_THROW(stream.ReadBuffer(two, 1), EReadError);
  EXPECT_EQ(stream.Seek(-1, soBeginning), -1);
  stream.SetPosition(8);
  stream.WriteBuffer("z", 1);
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(stream.Bytes()[7], 0);
}

TEST(FileStream, CreateWriteReopenAndErrors) {
  testing_support::ScratchFolder scratch;
  const std::string path = scratch.Program() + "/data.bin";
  {
    TFileStream out(path, fmCreate);
    out.WriteBuffer("hello", 5);
  }
  TFileStream in(path, fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(in.Size(), 5);
  char buffer[8] = {};
  EXPECT_EQ(in.Read(buffer, 8), 5);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(in.Seek(1, soBeginning), 1);
  EXPECT_EQ(in.Position(), 1);

  const std::string missing = scratch.Program() + "/none/x.bin";
  try {
    TFileStream bad(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + missing);
  }
  EXPECT_THROW(TFileStream(missing, fmCreate), EFCreateError);
}
