// The application title, the error box's text and caption, and the texts
// that errors are shown with.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "rtl/Exception.h"
#include "support/TranscriptSession.h"
#include "ui/Dialogs.h"
#include "zip/engine/AbExcept.h"

namespace {

using ui::TApplication;

TEST(ApplicationTitle, IsTheFileNameCutAtItsFirstDotWithTheRestInLowerCase) {
  EXPECT_EQ(TApplication::TitleFromModuleName("C:\\Temp\\setup.exe"), "setup");
  EXPECT_EQ(TApplication::TitleFromModuleName("C:\\Temp\\SETUP.V2.EXE"), "Setup");
  EXPECT_EQ(TApplication::TitleFromModuleName("Z:\\opt\\tessaline\\CVCustomScrZipBase"),
            "Cvcustomscrzipbase");
  EXPECT_EQ(TApplication::TitleFromModuleName("D:\\My.Tools\\INSTALL"), "Install");
  EXPECT_EQ(TApplication::TitleFromModuleName("X"), "X");
  EXPECT_EQ(TApplication::TitleFromModuleName("C:\\dir\\.hidden.exe"), "");
}

TEST(ApplicationTitle, PassesThePathThroughTheOemConversionFirst) {
  // OEM 0x8E is Ä (ANSI 0xC4), lower-cased to ä after the first character;
  // OEM 0x80 is Ç (ANSI 0xC7) and, first, stays a capital.
  EXPECT_EQ(TApplication::TitleFromModuleName("C:\\A\x8E"
                                              "B.EXE"),
            "A\xE4"
            "b");
  EXPECT_EQ(TApplication::TitleFromModuleName("C:\\\x80"
                                              "A.EXE"),
            "\xC7"
            "a");
}

TEST(ApplicationTitle, OfTheRunningTestsIsTheirExecutablesName) {
  EXPECT_EQ(ui::Application.Title(), "unit_tests");
}

TEST(AnsiLowerCase, LowersTheCodePagesCapitalsAsWell) {
  EXPECT_EQ(ui::AnsiLowerCase("ABC xyz 09"), "abc xyz 09");
  EXPECT_EQ(ui::AnsiLowerCase("\xC0\xC9\xD6\xDE"), "\xE0\xE9\xF6\xFE");
  EXPECT_EQ(ui::AnsiLowerCase("\x8A\x8C\x8E\x9F"), "\x9A\x9C\x9E\xFF");
  // The multiplication sign and sharp s have no other case.
  EXPECT_EQ(ui::AnsiLowerCase("\xD7\xDF"), "\xD7\xDF");
}

TEST(ErrorBoxText, AppendsAFullStopAfterACharacterAboveTheDot) {
  EXPECT_EQ(ui::ErrorBoxText("Unable to create directory"), "Unable to create directory.");
  EXPECT_EQ(ui::ErrorBoxText("Error 5"), "Error 5.");
  EXPECT_EQ(ui::ErrorBoxText("Why?"), "Why?.");
  EXPECT_EQ(ui::ErrorBoxText("a/"), "a/.");  // 0x2F, just above the dot
  EXPECT_EQ(ui::ErrorBoxText("caf\xE9"), "caf\xE9.");
}

TEST(ErrorBoxText, LeavesTextsEndingAtOrBelowTheDotAlone) {
  for (const char* text : {"Done.", "Invalid data type for 'Program Path'", "Stop!", "(x)", "a,",
                           "a-", "trailing ", "tab\t", ""}) {
    EXPECT_EQ(ui::ErrorBoxText(text), text);
  }
}

TEST(ExceptionMessage, ComesFromTheErrorsOwnText) {
  EXPECT_EQ(TApplication::ExceptionMessage(rtl::Exception("Cannot open file x")),
            "Cannot open file x");
  EXPECT_EQ(TApplication::ExceptionMessage(rtl::EReadError()), "Stream read error");
  EXPECT_EQ(TApplication::ExceptionMessage(std::bad_alloc()), "Out of memory");
  EXPECT_EQ(TApplication::ExceptionMessage(std::runtime_error("plain")), "plain");
}

TEST(ErrorBox, IsCaptionedWithTheTitleAndWaitsForItsKey) {
  testing_support::TranscriptSession session("Tab\nCtrl+C\nEnter\nEnter\n");
  ui::Application.ShowException(rtl::Exception("Unable to create directory"));
  ui::ShowErrorBox(rtl::Exception("Stop!"));
  const std::vector<std::string> expected = {"[error] unit_tests: Unable to create directory.",
                                             "[error] unit_tests: Stop!"};
  EXPECT_EQ(session.Lines(), expected);
  EXPECT_EQ(session.UnreadInput(), "");
}

TEST(ErrorBox, ClosesOnEnterSpaceEscAndAltF4Only) {
  using ui::TKeyEvent;
  EXPECT_TRUE(ui::ClosesErrorBox({ui::vkReturn, ui::ssNone}));
  EXPECT_TRUE(ui::ClosesErrorBox({ui::vkSpace, ui::ssNone}));
  EXPECT_TRUE(ui::ClosesErrorBox({ui::vkEscape, ui::ssNone}));
  EXPECT_TRUE(ui::ClosesErrorBox({ui::vkF4, ui::ssAlt}));
  EXPECT_FALSE(ui::ClosesErrorBox({ui::vkF4, ui::ssNone}));
  EXPECT_FALSE(ui::ClosesErrorBox({ui::vkTab, ui::ssNone}));
  EXPECT_FALSE(ui::ClosesErrorBox({'C', ui::ssCtrl}));
}

}  // namespace
