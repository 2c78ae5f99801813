// tunzip's option grammar: letters that combine, values attached or apart,
// options after the archive, "--", and the combinations UnZip refuses,
// ignores or settles in its own way.
#include <gtest/gtest.h>

#include "tunzip/Options.h"

namespace {

using tunzip::Listing;
using tunzip::Mode;
using tunzip::Options;
using tunzip::Overwrite;
using tunzip::Refresh;
using tunzip::UsageError;
using tunzip::ZipInfoFormat;

Options Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tunzip");
  return tunzip::ParseOptions(args, args);
}

std::string Refusal(std::vector<std::string> args) {
  try {
    Parse(std::move(args));
  } catch (const UsageError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(TunzipOptions, LettersCombineInAnyOrder) {
  for (const auto& letters : {"-qo", "-oq"}) {
    const Options o = Parse({letters, "a.zip"});
    EXPECT_EQ(o.quiet, 1) << letters;
    EXPECT_EQ(o.overwrite, Overwrite::kAlways) << letters;
    EXPECT_EQ(o.mode, Mode::kExtract) << letters;
  }
  const Options qqo = Parse({"-qqo", "a.zip"});
  EXPECT_EQ(qqo.quiet, 2);
  EXPECT_EQ(qqo.overwrite, Overwrite::kAlways);
  const Options jo = Parse({"-jo", "a.zip"});
  EXPECT_TRUE(jo.junkPaths);
  EXPECT_EQ(jo.overwrite, Overwrite::kAlways);
  EXPECT_EQ(Parse({"-q", "-q", "-q", "a.zip"}).quiet, 2);
  EXPECT_TRUE(Parse({"-Cn", "a.zip"}).caseBlind);
  EXPECT_EQ(Parse({"-Cn", "a.zip"}).overwrite, Overwrite::kNever);
}

TEST(TunzipOptions, AValueIsAttachedOrTheNextArgumentAndEndsItsLetters) {
  EXPECT_EQ(Parse({"-dout", "a.zip"}).target, "out");
  EXPECT_EQ(Parse({"-d", "out", "a.zip"}).target, "out");
  const Options qd = Parse({"-qd", "out", "a.zip"});
  EXPECT_EQ(qd.quiet, 1);
  EXPECT_EQ(qd.target, "out");
  // Letters after -d are its value, not options.
  const Options dq = Parse({"-dq", "a.zip"});
  EXPECT_EQ(dq.target, "q");
  EXPECT_EQ(dq.quiet, 0);
  const Options p = Parse({"-qPse-cret", "a.zip"});
  EXPECT_TRUE(p.havePassword);
  EXPECT_EQ(p.password, "se-cret");
  EXPECT_EQ(Parse({"-P", "-o", "a.zip"}).password, "-o");
  EXPECT_EQ(Parse({"-P", "", "a.zip"}).password, "");
}

TEST(TunzipOptions, OptionsMayFollowTheArchiveAndTheMasks) {
  const Options o = Parse({"a.zip", "-d", "out", "*.c", "-qo", "-x", "b*", "c*", "-j"});
  EXPECT_EQ(o.archive, "a.zip");
  EXPECT_EQ(o.target, "out");
  EXPECT_TRUE(o.haveTarget);
  EXPECT_EQ(o.quiet, 1);
  EXPECT_EQ(o.overwrite, Overwrite::kAlways);
  EXPECT_TRUE(o.junkPaths);
  EXPECT_EQ(o.masks, std::vector<std::string>{"*.c"});
  EXPECT_EQ(o.excludes, (std::vector<std::string>{"b*", "c*"}));
  // -x before the archive: the archive is still the first name.
  const Options early = Parse({"-x", "a.zip", "b"});
  EXPECT_EQ(early.archive, "a.zip");
  EXPECT_EQ(early.excludes, std::vector<std::string>{"b"});
  // An exclusion list may be empty, as UnZip allows.
  EXPECT_TRUE(Parse({"a.zip", "-x"}).excludes.empty());
}

TEST(TunzipOptions, DoubleDashEndsTheOptions) {
  const Options o = Parse({"-q", "--", "-odd.zip", "-o", "--tsv", "-x"});
  EXPECT_EQ(o.archive, "-odd.zip");
  EXPECT_EQ(o.masks, (std::vector<std::string>{"-o", "--tsv", "-x"}));
  EXPECT_EQ(o.overwrite, Overwrite::kAsk);
  // A lone "-" is a name.
  EXPECT_EQ(Parse({"a.zip", "-"}).masks, std::vector<std::string>{"-"});
}

TEST(TunzipOptions, TheListingAndTestLettersSettleAsInUnZip) {
  EXPECT_EQ(Parse({"a.zip"}).mode, Mode::kExtract);
  EXPECT_EQ(Parse({"-l", "a.zip"}).listing, Listing::kShort);
  EXPECT_EQ(Parse({"-l", "a.zip"}).mode, Mode::kList);
  EXPECT_EQ(Parse({"-v", "a.zip"}).listing, Listing::kVerbose);
  EXPECT_EQ(Parse({"-lv", "a.zip"}).listing, Listing::kVerbose);
  EXPECT_EQ(Parse({"-vl", "a.zip"}).listing, Listing::kVerbose);
  EXPECT_EQ(Parse({"-l", "--tsv", "a.zip"}).listing, Listing::kTsv);
  EXPECT_EQ(Parse({"a.zip", "--tsv", "-v"}).listing, Listing::kTsv);
  // Testing wins over listing, whichever comes first.
  EXPECT_EQ(Parse({"-lt", "a.zip"}).mode, Mode::kTest);
  EXPECT_EQ(Parse({"-tv", "a.zip"}).mode, Mode::kTest);
  // Extraction modifiers are accepted and have nothing to do.
  EXPECT_EQ(Parse({"-tjo", "a.zip"}).mode, Mode::kTest);
  EXPECT_TRUE(Parse({"-t", "a.zip"}).cautions.empty());
}

TEST(TunzipOptions, BytesToStandardOutputAndRefreshesSettleAsInUnZip) {
  // -p wins over a listing, whichever comes first, and ignores -d.
  for (const auto& letters : {"-p", "-lp", "-pl", "-pv", "-qp"})
    EXPECT_EQ(Parse({letters, "a.zip"}).mode, Mode::kPipe) << letters;
  const Options piped = Parse({"-p", "a.zip", "-d", "x"});
  EXPECT_EQ(piped.cautions, std::vector<std::string>{"not extracting; -d ignored"});
  EXPECT_EQ(Parse({"-f", "a.zip"}).refresh, Refresh::kFreshen);
  EXPECT_EQ(Parse({"-u", "a.zip"}).refresh, Refresh::kUpdate);
  // -u asks for all that -f does and more.
  EXPECT_EQ(Parse({"-fu", "a.zip"}).refresh, Refresh::kUpdate);
  EXPECT_EQ(Parse({"a.zip", "-uo"}).overwrite, Overwrite::kAlways);
  EXPECT_EQ(Parse({"-un", "a.zip"}).refresh, Refresh::kUpdate);
  EXPECT_EQ(Parse({"a.zip"}).refresh, Refresh::kAll);
  // A listing ignores them.
  EXPECT_EQ(Parse({"-fl", "a.zip"}).mode, Mode::kList);
  for (const auto& letters : {"-tp", "-pt", "-fp", "-up", "-ft", "-ut"})
    EXPECT_EQ(Refusal({letters, "a.zip"}), "-p, -t and -f or -u do not go together") << letters;
  EXPECT_EQ(Refusal({"-fn", "a.zip"}), "-f and -n do not go together");
  EXPECT_EQ(Refusal({"-fun", "a.zip"}), "-f and -n do not go together");
}

TEST(TunzipOptions, ZipInfoNamesOnlyMustComeFirst) {
  const Options z = Parse({"-Z1", "a.zip", "*.c", "-x", "t*"});
  EXPECT_EQ(z.mode, Mode::kList);
  EXPECT_EQ(z.listing, Listing::kNames);
  EXPECT_EQ(z.excludes, std::vector<std::string>{"t*"});
  EXPECT_EQ(Parse({"-Z", "-1", "a.zip"}).listing, Listing::kNames);
  EXPECT_TRUE(Parse({"-Z1C", "a.zip"}).caseBlind);
  EXPECT_EQ(Refusal({"-q", "-Z1", "a.zip"}), "-Z must be the first option (-Z1 lists names only)");
  // The last format letter wins; -h or -t alone lists no member.
  EXPECT_EQ(Parse({"-Z", "a.zip"}).zipInfo.format, ZipInfoFormat::kShort);
  EXPECT_EQ(Parse({"-Zm2l", "a.zip"}).zipInfo.format, ZipInfoFormat::kLong);
  EXPECT_EQ(Parse({"-Z", "-ht", "a.zip"}).zipInfo.format, ZipInfoFormat::kNone);
  EXPECT_EQ(Parse({"-Z2", "-1", "a.zip"}).listing, Listing::kNames);
  // ZipInfo has no -q.
  EXPECT_EQ(Refusal({"-Z1q", "a.zip"}), "unknown option -q in -Z1q");
  EXPECT_EQ(Refusal({"-Z1", "--tsv", "a.zip"}), "--tsv only goes with -l or -v");
}

TEST(TunzipOptions, ThreadsTakeAWholeNumberFromOneTo64) {
  EXPECT_EQ(Parse({"-t", "a.zip"}).threads, 0U);  // one per core
  EXPECT_EQ(Parse({"--threads", "1", "-t", "a.zip"}).threads, 1U);
  EXPECT_EQ(Parse({"a.zip", "--threads=64"}).threads, 64U);
  for (const char* bad : {"0", "65", "-2", "2x", "", " 2", "4294967298"})
    EXPECT_EQ(Refusal({"--threads", bad, "a.zip"}), "--threads needs a number from 1 to 64") << bad;
  EXPECT_EQ(Refusal({"a.zip", "--threads"}), "--threads needs a value");
}

TEST(TunzipOptions, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse({}).mode, Mode::kHelp);
  EXPECT_EQ(Parse({"-h"}).mode, Mode::kHelp);
  EXPECT_EQ(Parse({"-qh", "a.zip", "-d", "x"}).mode, Mode::kHelp);
  EXPECT_EQ(Parse({"--help"}).mode, Mode::kHelp);
  EXPECT_EQ(Parse({"--version"}).mode, Mode::kVersion);
  EXPECT_EQ(Parse({"a.zip", "--version"}).mode, Mode::kVersion);
  // UnZip's -v without an archive shows its version.
  EXPECT_EQ(Parse({"-v"}).mode, Mode::kVersion);
}

TEST(TunzipOptions, BadLinesAreRefusedWithOneLineThatSaysWhy) {
  EXPECT_EQ(Refusal({"-Y", "a.zip"}), "unknown option -Y");
  EXPECT_EQ(Refusal({"-qYo", "a.zip"}), "unknown option -Y in -qYo");
  EXPECT_EQ(Refusal({"--bogus", "a.zip"}), "unknown option --bogus");
  EXPECT_EQ(Refusal({"--tsv=yes", "-l", "a.zip"}), "--tsv takes no value");
  EXPECT_EQ(Refusal({"-o"}), "no archive given");
  EXPECT_EQ(Refusal({"a.zip", "-d"}), "-d needs a value");
  EXPECT_EQ(Refusal({"a.zip", "-qP"}), "-P needs a value");
  EXPECT_EQ(Refusal({"-d", "", "a.zip"}), "-d needs a folder");
  EXPECT_EQ(Refusal({"-d", "x", "a.zip", "-dy"}), "-d given more than once");
  EXPECT_EQ(Refusal({"--tsv", "a.zip"}), "--tsv only goes with -l or -v");
  EXPECT_EQ(Refusal({"-t", "--tsv", "a.zip"}), "--tsv only goes with -l or -v");
}

TEST(TunzipOptions, IgnoredOptionsAreSaidAndTheSafeChoiceIsKept) {
  const Options no = Parse({"-on", "a.zip"});
  EXPECT_EQ(no.overwrite, Overwrite::kNever);
  EXPECT_EQ(no.cautions, std::vector<std::string>{"both -n and -o given; -o ignored"});
  const Options listed = Parse({"-l", "-d", "x", "a.zip"});
  EXPECT_EQ(listed.mode, Mode::kList);
  EXPECT_EQ(listed.cautions, std::vector<std::string>{"not extracting; -d ignored"});
}

TEST(TunzipOptions, ValuesAndMasksKeepTheirTwoSpellings) {
  // Windows-1252 for the file calls, as typed for messages, UTF-8 for masks.
  const std::vector<std::string> raw = {
      "tunzip", "-qdcaf\xC3\xA9", "\xC3\xA9t\xC3\xA9.zip", "na\xC3\xAFve*", "-x", "\xC3\xA0*"};
  const std::vector<std::string> program = {"tunzip",    "-qdcaf\xE9", "\xE9t\xE9.zip",
                                            "na\xEFve*", "-x",         "\xE0*"};
  const Options o = tunzip::ParseOptions(raw, program);
  EXPECT_EQ(o.target, "caf\xE9");
  EXPECT_EQ(o.targetShown, "caf\xC3\xA9");
  EXPECT_EQ(o.archive, "\xE9t\xE9.zip");
  EXPECT_EQ(o.archiveShown, "\xC3\xA9t\xC3\xA9.zip");
  EXPECT_EQ(o.masks, std::vector<std::string>{"na\xC3\xAFve*"});
  EXPECT_EQ(o.excludes, std::vector<std::string>{"\xC3\xA0*"});
}

}  // namespace
