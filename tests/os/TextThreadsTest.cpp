// OEM-to-ANSI conversion and the re-entrant lock. Under Wine the same cases
// check the real OemToCharBuffA, which is what the stand-in's table follows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "os/os.h"

namespace {

// What OemToCharBuffA gives for the OEM bytes 0x80-0xFF on a Western set-up
// (code page 437 to Windows-1252), as measured under Wine.
constexpr unsigned char kExpectedHigh[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x50, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAC, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0x2B, 0x2B, 0xA6, 0xA6, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B,
    0x2B, 0x2D, 0x2D, 0x2B, 0x2D, 0x2B, 0xA6, 0xA6, 0x2B, 0x2B, 0x2D, 0x2D, 0xA6, 0x2D, 0x2B, 0x2D,
    0x2D, 0x2D, 0x2D, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0xA6, 0x5F, 0xA6, 0xA6, 0xAF,
    0x61, 0xDF, 0x47, 0x70, 0x53, 0x73, 0xB5, 0x74, 0x46, 0x54, 0x4F, 0x64, 0x38, 0x66, 0x65, 0x6E,
    0x3D, 0xB1, 0x3D, 0x3D, 0x28, 0x29, 0xF7, 0x98, 0xB0, 0xB7, 0xB7, 0x76, 0x6E, 0xB2, 0xA6, 0xA0};

TEST(OsText, FileApisUseTheAnsiCodePage) {
  EXPECT_TRUE(os::AreFileApisAnsi());
}

TEST(OsText, OemToCharMapsEveryHighByte) {
  std::string oem;
  for (int b = 0x80; b <= 0xFF; ++b) oem += static_cast<char>(b);
  const std::string ansi = os::OemToChar(oem);
  ASSERT_EQ(ansi.size(), 128u);
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(static_cast<unsigned char>(ansi[i]), kExpectedHigh[i])
        << "OEM byte 0x" << std::hex << 0x80 + i;
  }
}

TEST(OsText, OemToCharKeepsAsciiZerosAndAnyLength) {
  std::string ascii;
  for (int b = 0; b < 0x80; ++b) ascii += static_cast<char>(b);
  EXPECT_EQ(os::OemToChar(ascii), ascii);
  EXPECT_EQ(os::OemToChar(""), "");
  // A name well past MAX_PATH: "DONN" + 0x90 (É) ... repeated.
  std::string longName;
  for (int i = 0; i < 5000; ++i)
    longName +=
        "DONN\x90"
        "ES\\";
  const std::string converted = os::OemToChar(longName);
  ASSERT_EQ(converted.size(), longName.size());
  EXPECT_EQ(converted.substr(0, 8),
            "DONN\xC9"
            "ES\\");
  EXPECT_EQ(converted.substr(converted.size() - 8),
            "DONN\xC9"
            "ES\\");
}

TEST(OsThreads, CriticalSectionIsReentrantAndExcludesOthers) {
  os::CriticalSection lock;
  std::atomic<bool> entered{false};
  lock.Enter();
  lock.Enter();  // the owner may enter again without blocking
  std::thread other([&] {
    lock.Enter();
    entered = true;
    lock.Leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered.load());
  lock.Leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered.load()) << "one Leave released a lock entered twice";
  lock.Leave();
  other.join();
  EXPECT_TRUE(entered.load());
}

TEST(OsThreads, MultiThreadFlag) {
  const bool before = os::IsMultiThread();
  os::SetMultiThread(true);
  EXPECT_TRUE(os::IsMultiThread());
  os::SetMultiThread(false);
  EXPECT_FALSE(os::IsMultiThread());
  os::SetMultiThread(before);
}

}  // namespace
