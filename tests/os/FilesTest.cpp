// The file calls of the operating-system layer: open modes, reading, writing,
// seeking, the Windows error codes of failures and DOS time stamps. The same
// cases run natively on the stand-in and under Wine on the real calls.
#include <gtest/gtest.h>

#include <ctime>

#include "os/os.h"
#include "support/OsTestHelpers.h"

namespace {

using os_test::ReadNative;
using os_test::ScopedFile;
using os_test::Scratch;
using os_test::WriteNative;

constexpr uint16_t kRead = 0, kWrite = 1, kReadWrite = 2, kShareDenyNone = 0x40;

TEST(OsFiles, CreateWriteSeekAndReadBack) {
  Scratch scratch;
  {
    ScopedFile file(os::CreateNewFile(scratch.Program("data.bin")));
    ASSERT_TRUE(file.Valid()) << os::LastError();
    EXPECT_EQ(os::WriteFile(file.Get(), "hello world", 11), 11);
    EXPECT_EQ(os::SeekFile(file.Get(), 0, 1), 11);
    EXPECT_EQ(os::SeekFile(file.Get(), -5, 2), 6);
    char buffer[16] = {};
    EXPECT_EQ(os::ReadFile(file.Get(), buffer, 16), 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(os::ReadFile(file.Get(), buffer, 16), 0);  // at the end
    EXPECT_EQ(os::SeekFile(file.Get(), 0, 0), 0);
    EXPECT_EQ(os::WriteFile(file.Get(), "J", 1), 1);
    EXPECT_EQ(os::WriteFile(file.Get(), "", 0), 0);
  }
  EXPECT_EQ(ReadNative(scratch.Native("data.bin")), "Jello world");
}

TEST(OsFiles, CreateTruncatesAnExistingFile) {
  Scratch scratch;
  WriteNative(scratch.Native("old.txt"), "previous content");
  {
    ScopedFile file(os::CreateNewFile(scratch.Program("old.txt")));
    ASSERT_TRUE(file.Valid());
    EXPECT_EQ(os::SeekFile(file.Get(), 0, 2), 0);
    EXPECT_EQ(os::WriteFile(file.Get(), "new", 3), 3);
  }
  EXPECT_EQ(ReadNative(scratch.Native("old.txt")), "new");
}

TEST(OsFiles, AFileIsNoFolderAndGoesEvenWhenReadOnly) {
  Scratch scratch;
  WriteNative(scratch.Native("ro.txt"), "x");
  ASSERT_TRUE(os::MakeDirectory(scratch.Program("folder")));
  EXPECT_TRUE(os::FileExists(scratch.Program("ro.txt")));
  EXPECT_FALSE(os::FileExists(scratch.Program("folder")));
  EXPECT_FALSE(os::FileExists(scratch.Program("missing.txt")));
  ASSERT_TRUE(os::SetFileAttributes(scratch.Program("ro.txt"), os::faReadOnly));
  EXPECT_FALSE(os::RemoveFile(scratch.Program("ro.txt")));
  EXPECT_TRUE(os::RemoveFileForcibly(scratch.Program("ro.txt")));
  EXPECT_FALSE(os::FileExists(scratch.Program("ro.txt")));
  EXPECT_FALSE(os::RemoveFileForcibly(scratch.Program("folder")));
  EXPECT_TRUE(os::FileAttributes(scratch.Program("folder")) & os::faDirectory);
}

TEST(OsFiles, AccessModesAreEnforced) {
  Scratch scratch;
  WriteNative(scratch.Native("f.txt"), "abc");
  const std::string path = scratch.Program("f.txt");
  char buffer[4];
  {
    ScopedFile reader(os::OpenExistingFile(path, kRead | kShareDenyNone));
    ASSERT_TRUE(reader.Valid());
    EXPECT_EQ(os::WriteFile(reader.Get(), "x", 1), -1);
    EXPECT_EQ(os::LastError(), 5u);  // access denied
    EXPECT_EQ(os::ReadFile(reader.Get(), buffer, 4), 3);
    // Deny-none lets a second handle in, for writing too.
    ScopedFile writer(os::OpenExistingFile(path, kWrite | kShareDenyNone));
    ASSERT_TRUE(writer.Valid());
    EXPECT_EQ(os::ReadFile(writer.Get(), buffer, 1), -1);
    EXPECT_EQ(os::LastError(), 5u);
    EXPECT_EQ(os::WriteFile(writer.Get(), "xy", 2), 2);
  }
  {
    ScopedFile both(os::OpenExistingFile(path, kReadWrite));
    ASSERT_TRUE(both.Valid());
    EXPECT_EQ(os::ReadFile(both.Get(), buffer, 4), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyc");
    EXPECT_EQ(os::WriteFile(both.Get(), "d", 1), 1);
  }
  EXPECT_EQ(ReadNative(scratch.Native("f.txt")), "xycd");
  // An access value the runtime does not define is refused, not guessed.
  EXPECT_FALSE(os::OpenExistingFile(path, 3).Valid());
  EXPECT_EQ(os::LastError(), 87u);
}

TEST(OsFiles, FailuresGiveTheWindowsErrorCodes) {
  Scratch scratch;
  EXPECT_FALSE(os::OpenExistingFile(scratch.Program("missing.txt"), kRead).Valid());
  EXPECT_EQ(os::LastError(), 2u);  // file not found
  EXPECT_FALSE(os::OpenExistingFile(scratch.Program("none\\x.txt"), kRead).Valid());
  EXPECT_EQ(os::LastError(), 3u);  // path not found
  EXPECT_FALSE(os::CreateNewFile(scratch.Program("none\\x.txt")).Valid());
  EXPECT_EQ(os::LastError(), 3u);
  EXPECT_FALSE(os::OpenExistingFile(scratch.folder.Program(), kRead).Valid());
  EXPECT_EQ(os::LastError(), 5u);  // a folder is not a file
  EXPECT_FALSE(os::CreateNewFile(scratch.folder.Program()).Valid());
  EXPECT_EQ(os::LastError(), 5u);
  EXPECT_FALSE(os::OpenExistingFile("", kRead).Valid());
  EXPECT_EQ(os::LastError(), 3u);

  WriteNative(scratch.Native("plain.txt"), "x");
  EXPECT_FALSE(os::OpenExistingFile(scratch.Program("plain.txt\\below"), kRead).Valid());
  EXPECT_EQ(os::LastError(), 3u);
  ScopedFile file(os::OpenExistingFile(scratch.Program("plain.txt"), kRead));
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(os::SeekFile(file.Get(), -1, 0), -1);
  EXPECT_EQ(os::LastError(), 131u);  // negative seek
  char byte;
  EXPECT_EQ(os::ReadFile(file.Get(), &byte, -1), -1);
}

TEST(OsFiles, SeeksBeyondFourGigabytes) {
  Scratch scratch;
  ScopedFile file(os::CreateNewFile(scratch.Program("sparse.bin")));
  ASSERT_TRUE(file.Valid());
  const int64_t far = int64_t{5} << 30;
  EXPECT_EQ(os::SeekFile(file.Get(), far, 0), far);
  EXPECT_EQ(os::SeekFile(file.Get(), 7, 1), far + 7);
  EXPECT_EQ(os::SeekFile(file.Get(), 0, 2), 0);
}

// Seconds since 1970 of a local time, the way the C library reads it.
int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}

// Seconds since 1970 of a UTC time, by the civil calendar (any year).
int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = era * 146097 + dayOfEra - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

bool Stamp(const std::string& path, uint16_t date, uint16_t time) {
  ScopedFile file(os::OpenExistingFile(path, kReadWrite));
  return file.Valid() && os::SetLastWriteTimeFromDos(file.Get(), date, time);
}

TEST(OsFiles, DosStampsAreLocalTime) {
  Scratch scratch;
  WriteNative(scratch.Native("t.txt"), "stamped");
  const std::string path = scratch.Program("t.txt");
  // Winter dates, so that the rule for daylight saving cannot matter.
  ASSERT_TRUE(Stamp(path, DosDate(1995, 1, 17), DosTime(13, 45, 58)));
  EXPECT_EQ(os::LastWriteTime(path), LocalSeconds(1995, 1, 17, 13, 45, 58));
  ASSERT_TRUE(Stamp(path, DosDate(1980, 1, 1), DosTime(0, 0, 0)));
  EXPECT_EQ(os::LastWriteTime(path), LocalSeconds(1980, 1, 1, 0, 0, 0));
  ASSERT_TRUE(Stamp(path, DosDate(2107, 12, 31), DosTime(23, 59, 58)));
  // Past 2038 the C library of the Win32 build cannot say; winter's offset can.
  const int64_t winterOffset =
      LocalSeconds(2001, 1, 15, 12, 0, 0) - UtcSeconds(2001, 1, 15, 12, 0, 0);
  EXPECT_EQ(os::LastWriteTime(path), UtcSeconds(2107, 12, 31, 23, 59, 58) + winterOffset);
  // A day past the month's end rolls over, as Windows converts it.
  ASSERT_TRUE(Stamp(path, DosDate(1997, 2, 29), DosTime(12, 0, 0)));
  EXPECT_EQ(os::LastWriteTime(path), LocalSeconds(1997, 3, 1, 12, 0, 0));
  EXPECT_EQ(ReadNative(scratch.Native("t.txt")), "stamped");
}

TEST(OsFiles, ImpossibleDosStampsAreRefusedAndChangeNothing) {
  Scratch scratch;
  WriteNative(scratch.Native("t.txt"), "x");
  const std::string path = scratch.Program("t.txt");
  ASSERT_TRUE(Stamp(path, DosDate(2001, 1, 2), DosTime(3, 4, 6)));
  const auto before = os::LastWriteTime(path);
  ASSERT_TRUE(before.has_value());
  const struct {
    uint16_t date, time;
  } bad[] = {
      {0, 0},                                           // month and day 0
      {DosDate(2001, 0, 5), 0},                         // month 0
      {DosDate(2001, 13, 5), 0},                        // month 13
      {DosDate(2001, 1, 0), 0},                         // day 0
      {DosDate(2001, 1, 5), DosTime(24, 0, 0)},         // hour 24
      {DosDate(2001, 1, 5), DosTime(12, 60, 0)},        // minute 60
      {DosDate(2001, 1, 5), static_cast<uint16_t>(30)}  // second 60
  };
  for (const auto& stamp : bad) {
    EXPECT_FALSE(Stamp(path, stamp.date, stamp.time)) << stamp.date << " " << stamp.time;
    EXPECT_EQ(os::LastWriteTime(path), before);
  }
  EXPECT_FALSE(os::LastWriteTime(scratch.Program("missing")).has_value());
}

TEST(OsNames, DosDeviceNamesInEveryDisguise) {
  for (const char* device : {"CON", "prn", "Aux", "NUL", "COM0", "com9", "LPT1", "lpt0", "CONIN$",
                             "conout$", "nul.txt", "Aux.tar.gz", "COM1 ", "com1.", "NUL . . ",
                             "Con .txt", "COM\u00B9", "lpt\u00B2.dat", "LPT\u00B3"}) {
    EXPECT_TRUE(os::IsDosDeviceName(device)) << device;
  }
  for (const char* file : {"CONSOLE", "COM10", "COM", "LPT", "xNUL", "_COM1", "NUL_", "CONIN",
                           "COM\u2074", "COM\u00B9\u00B9", "AUX1", ".nul", "PRN~1", ""}) {
    EXPECT_FALSE(os::IsDosDeviceName(file)) << file;
  }
}

}  // namespace
