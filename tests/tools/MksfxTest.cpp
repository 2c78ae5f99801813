// The packer's parts: the archive it appends as the installer's own reader
// sees it, the PE layout it checks installers and signed files by, the
// stamps, the name rules and the order of the members.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "mksfx/Options.h"
#include "mksfx/Payload.h"
#include "mksfx/PeLayout.h"
#include "mksfx/Stamps.h"
#include "mksfx/Verify.h"
#include "mksfx/ZipImage.h"
#include "os/os.h"
#include "rtl/Stream.h"
#include "support/Corpus.h"

namespace {

using mksfx::Bytes;

Bytes Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  return data;
}

Bytes TextOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

void Put32At(Bytes& data, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t PeHeaderOffset(const Bytes& pe) {
  return pe[0x3C] | (pe[0x3D] << 8) | (pe[0x3E] << 16) | (pe[0x3F] << 24);
}

// The Win32 demo add-on: a real, stripped PE32 image.
Bytes DemoAddOn() {
  const Bytes pe = testing_support::ReadWholeFile(std::string(TESSALINE_BINARY_DIR) +
                                                  "/tools/demo-payload/CVCopySCR.exe");
  EXPECT_FALSE(pe.empty()) << "the demo add-on was not built (MinGW-w64 is needed)";
  return pe;
}

// Signs in layout only: pads to 8 bytes and appends a certificate table
// that the security directory points at, as Authenticode signing does.
void AppendCertificateTable(Bytes& file, size_t tableSize) {
  while (file.size() % 8 != 0) file.push_back(0);
  const size_t offset = file.size();
  const Bytes table = Noise(tableSize, 7);
  file.insert(file.end(), table.begin(), table.end());
  // The data directories follow the optional header's fixed part, which is
  // 16 bytes longer in PE32+ (the x86_64 demo add-on) than in PE32.
  const size_t optional = PeHeaderOffset(file) + 24;
  const bool pe32Plus = file[optional] == 0x0B && file[optional + 1] == 0x02;
  const size_t directories = optional + (pe32Plus ? 112 : 96);
  Put32At(file, directories + 4 * 8, static_cast<uint32_t>(offset));
  Put32At(file, directories + 4 * 8 + 4, static_cast<uint32_t>(tableSize));
}

struct Sample {
  std::string name;
  mksfx::DosStamp stamp;
  Bytes data;
};

std::vector<Sample> Samples() {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\r\n";
  return {{"CVCopySCR.exe", mksfx::ToDosStamp(2024, 2, 29, 23, 59, 59), Noise(70000, 1)},
          {"mwscd.adt", mksfx::ToDosStamp(1999, 12, 31, 0, 0, 0), TextOf(text)},
          {"empty.dat", mksfx::ToDosStamp(1980, 1, 1, 0, 0, 0), Bytes()}};
}

std::vector<mksfx::PackedMember> SampleMembers() {
  std::vector<mksfx::PackedMember> members;
  for (const Sample& sample : Samples())
    members.push_back(mksfx::PackMember(sample.name, sample.stamp, sample.data));
  return members;
}

TEST(MksfxZip, TheReaderFindsAndDecodesEveryMemberBehindTheInstaller) {
  Bytes file = Noise(5000, 2);
  const std::vector<mksfx::PackedMember> members = SampleMembers();
  mksfx::AppendZip(file, members);
  const std::vector<Sample> samples = Samples();

  ab::TAbZipArchive archive(std::make_unique<rtl::TMemoryStream>(file), "setup.exe");
  archive.LoadCatalogue();
  ASSERT_EQ(archive.ItemCount(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    ab::TAbZipItem& item = archive.Item(i);
    EXPECT_EQ(item.ItemName(), members[i].name);
    // Deflate shrinks the text only: the noise and the empty file are stored.
    EXPECT_EQ(item.CompressionMethod(), i == 1 ? 8 : 0) << members[i].name;
    EXPECT_EQ(item.LastModFileDate(), members[i].stamp.date);
    EXPECT_EQ(item.LastModFileTime(), members[i].stamp.time);
    EXPECT_EQ(item.ExternalFileAttributes(), 0x20u);
    EXPECT_EQ(item.VersionMadeBy() >> 8, 0) << "made on MS-DOS";
    // Offsets count from the first byte of the installer.
    EXPECT_GE(item.RelativeOffset(), 5000u);
    rtl::TMemoryStream decoded;
    ab::DecodeMemberToStream(archive, item, &decoded);
    Bytes bytes(static_cast<size_t>(decoded.Size()));
    decoded.SetPosition(0);
    decoded.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(bytes, samples[i].data) << samples[i].name;
  }
  EXPECT_EQ(archive.EndRecord().TotalEntries(), 3);
}

TEST(MksfxZip, SameInputsGiveTheSameBytes) {
  Bytes a(100, 'x'), b(100, 'x');
  mksfx::AppendZip(a, SampleMembers());
  mksfx::AppendZip(b, SampleMembers());
  EXPECT_EQ(a, b);
}

TEST(MksfxPeLayout, AStrippedImageEndsWithItsLastSection) {
  const Bytes pe = DemoAddOn();
  const mksfx::PeLayout layout = mksfx::ReadPeLayout(pe);
  ASSERT_TRUE(layout.isPe);
  EXPECT_EQ(layout.imageEnd, pe.size());
  EXPECT_FALSE(layout.IsSigned());

  Bytes packed = pe;
  mksfx::AppendZip(packed, SampleMembers());
  EXPECT_EQ(mksfx::ReadPeLayout(packed).imageEnd, pe.size()) << "the payload is not image";
}

TEST(MksfxPeLayout, SymbolsBehindTheSectionsBelongToTheImage) {
  Bytes pe = DemoAddOn();
  ASSERT_FALSE(pe.empty());
  const size_t fileHeader = PeHeaderOffset(pe) + 4;
  const size_t symbols = pe.size();
  Put32At(pe, fileHeader + 8, static_cast<uint32_t>(symbols));  // PointerToSymbolTable
  Put32At(pe, fileHeader + 12, 2);                              // NumberOfSymbols
  pe.resize(symbols + 2 * 18 + 10, 0);
  Put32At(pe, symbols + 2 * 18, 10);  // the string table's size, its own four bytes included
  EXPECT_EQ(mksfx::ReadPeLayout(pe).imageEnd, pe.size());
  pe.push_back('P');
  EXPECT_EQ(mksfx::ReadPeLayout(pe).imageEnd, pe.size() - 1);
}

TEST(MksfxPeLayout, TheCertificateTableIsFound) {
  Bytes pe = DemoAddOn();
  ASSERT_FALSE(pe.empty());
  mksfx::AppendZip(pe, SampleMembers());
  const size_t packedSize = pe.size();
  AppendCertificateTable(pe, 1500);
  const mksfx::PeLayout layout = mksfx::ReadPeLayout(pe);
  EXPECT_TRUE(layout.IsSigned());
  EXPECT_EQ(layout.certificateOffset, (packedSize + 7) / 8 * 8);
  EXPECT_EQ(layout.certificateSize, 1500u);
}

TEST(MksfxPeLayout, DamagedHeadersAreNotAnImage) {
  const Bytes pe = DemoAddOn();
  ASSERT_FALSE(pe.empty());
  // Every cut through the headers, and offsets that point anywhere.
  for (size_t size = 0; size < 1024; ++size) {
    const Bytes cut(pe.begin(), pe.begin() + static_cast<std::ptrdiff_t>(size));
    const mksfx::PeLayout layout = mksfx::ReadPeLayout(cut);
    if (layout.isPe) {
      EXPECT_GE(layout.imageEnd, size);
    }
  }
  for (uint32_t offset : {0xFFFFFFF0u, 0x7FFFFFFFu, static_cast<uint32_t>(pe.size() - 2)}) {
    Bytes bad = pe;
    Put32At(bad, 0x3C, offset);
    EXPECT_FALSE(mksfx::ReadPeLayout(bad).isPe) << offset;
  }
  EXPECT_FALSE(mksfx::ReadPeLayout(TextOf("MZ just text")).isPe);
}

TEST(MksfxStamps, DosFieldsClampedToTheFormatsYears) {
  const mksfx::DosStamp stamp = mksfx::ToDosStamp(2019, 7, 4, 13, 37, 43);
  EXPECT_EQ(stamp.date, (39 << 9) | (7 << 5) | 4);
  EXPECT_EQ(stamp.time, (13 << 11) | (37 << 5) | 21) << "odd seconds round down";
  EXPECT_EQ(mksfx::ToDosStamp(1975, 6, 1, 12, 0, 0), mksfx::ToDosStamp(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(mksfx::ToDosStamp(2200, 1, 1, 0, 0, 0), mksfx::ToDosStamp(2107, 12, 31, 23, 59, 58));
  // 1700000000 is 2023-11-14 22:13:20 UTC.
  EXPECT_EQ(mksfx::DosStampUtc(1700000000), mksfx::ToDosStamp(2023, 11, 14, 22, 13, 20));
  // Past 2038, where a 32-bit time_t ends (the 32-bit Windows build's).
  EXPECT_EQ(mksfx::DosStampUtc(2245753810), mksfx::ToDosStamp(2041, 3, 1, 12, 30, 10));
  EXPECT_EQ(mksfx::DosStampLocal(2245753810).date >> 9, 2041 - 1980);
  EXPECT_EQ(mksfx::DosStampUtc(0), mksfx::ToDosStamp(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(mksfx::DosStampUtc(int64_t{1} << 40), mksfx::ToDosStamp(2107, 12, 31, 23, 59, 58));
}

TEST(MksfxStamps, SourceDateEpochMustBeWholeSeconds) {
  EXPECT_FALSE(mksfx::ParseSourceDateEpoch("").has_value());
  EXPECT_EQ(mksfx::ParseSourceDateEpoch("1700000000"), 1700000000);
  for (const char* bad : {"-1", "12x", " 1", "1.5", "99999999999999999999"})
    EXPECT_THROW(mksfx::ParseSourceDateEpoch(bad), std::runtime_error) << bad;
}

TEST(MksfxNames, OnlyNamesWindowsKeepAsTheyAreArePacked) {
  for (const char* good : {"CVCopyScr.EXE", "a b.txt", "x", "read-me_1.(2)"})
    EXPECT_EQ(mksfx::NameProblem(good), "") << good;
  for (const char* bad :
       {"",          ".",           "..",   "a:b",  "a*b",     "a?b",       "a|b",
        "a\"b",      "a<b",         "a>b",  "a\\b", "a/b",     "tab\there", "trailing.",
        "trailing ", "caf\xC3\xA9", "\x7F", "COM1", "nul.txt", "Aux.adt"})
    EXPECT_NE(mksfx::NameProblem(bad), "") << bad;
}

TEST(MksfxNames, FilesAreNamedWithoutTheirFoldersAndRefusedTogether) {
  const auto files = mksfx::NameFiles(
      {{"in/sub/CVCopySCR.exe", "in/sub/CVCopySCR.exe"}, {"in\\MWSCR.ADI", "in\\MWSCR.ADI"}});
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "CVCopySCR.exe");
  EXPECT_EQ(files[1].name, "MWSCR.ADI");
  try {
    mksfx::NameFiles({{"a/mwscd.adt", "a/mwscd.adt"},
                      {"b/MWSCD.ADT", "b/MWSCD.ADT"},
                      {"caf?.txt", "caf\xC3\xA9.txt"},
                      {"ok.txt", "ok.txt"}});
    FAIL() << "accepted";
  } catch (const std::runtime_error& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("b/MWSCD.ADT: the same name as a/mwscd.adt"), std::string::npos)
        << message;
    EXPECT_NE(message.find("caf\xC3\xA9.txt: the name is not plain ASCII"), std::string::npos)
        << message;
    EXPECT_EQ(message.find("ok.txt"), std::string::npos) << message;
  }
}

TEST(MksfxNames, TheInstallersNamesWithoutRegardToCaseAndFirst) {
  std::vector<mksfx::PayloadFile> files;
  for (const char* name :
       {"readme.txt", "MWSCR.ADI", "mwscd.adi", "Zeta.bin", "cvcopyscr.exe", "alpha"})
    files.push_back({{name, name}, name});
  EXPECT_EQ(mksfx::MissingNames(files), (std::vector<std::string>{"mwscd.adt", "mwscr.adt"}));
  mksfx::SortForStoring(files);
  std::vector<std::string> order;
  for (const auto& file : files) order.push_back(file.name);
  EXPECT_EQ(order, (std::vector<std::string>{"cvcopyscr.exe", "mwscd.adi", "MWSCR.ADI", "alpha",
                                             "readme.txt", "Zeta.bin"}));
}

TEST(MksfxNames, TheReportedVersionIsTheOneTheInstallerReads) {
  const std::string dir = std::string(TESSALINE_BINARY_DIR) + "/tools/demo-payload/";
  EXPECT_EQ(mksfx::ReportedVersion(testing_support::ProgramPath(dir + "CVCopySCR.exe")),
            "5.2.0.12");
  EXPECT_EQ(mksfx::ReportedVersion(testing_support::ProgramPath(dir + "6.1/CVCopySCR.exe")),
            "6.1.0.3");
  // Strings only under 040904B0 are not what the installer reads.
  EXPECT_FALSE(mksfx::ReportedVersion(testing_support::ProgramPath(dir + "VersionUnicode.exe")));
  EXPECT_FALSE(mksfx::ReportedVersion(testing_support::ProgramPath(dir + "mwscd.adt")));
}

TEST(MksfxOptions, PackAndVerifyTakeTheirOwnArguments) {
  auto parse = [](std::vector<std::string> args) {
    args.insert(args.begin(), "mksfx");
    return mksfx::ParseOptions(args, args);
  };
  const mksfx::Options pack = parse({"--installer", "i.exe", "-o", "out.exe", "a", "--", "-b"});
  EXPECT_EQ(pack.mode, mksfx::Mode::kPack);
  EXPECT_EQ(pack.installer.path, "i.exe");
  EXPECT_EQ(pack.output.path, "out.exe");
  ASSERT_EQ(pack.files.size(), 2u);
  EXPECT_EQ(pack.files[1].path, "-b");
  EXPECT_EQ(parse({"x"}).output.path, "setup.exe");
  EXPECT_EQ(parse({"--verify", "s.exe"}).verified.path, "s.exe");
  for (const auto& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"-o"},
                                             {"--bogus", "a"},
                                             {"--verify"},
                                             {"--verify", "a", "b"},
                                             {"--verify", "a", "-o", "b"},
                                             {"--verify", "a", "--allow-missing"}})
    EXPECT_THROW(parse(bad), mksfx::UsageError);
}

// The check after packing, on files in a scratch folder.
class MksfxVerify : public ::testing::Test {
 protected:
  bool Verify(const Bytes& file) {
    const std::string native = scratch_.Native() + "/setup.exe";
    std::ofstream(native, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    out_.str("");
    err_.str("");
    return mksfx::VerifyInstaller(os::ExpandFileName(testing_support::ProgramPath(native)),
                                  "setup.exe", out_, err_);
  }
  testing_support::ScratchFolder scratch_;
  std::ostringstream out_, err_;
};

TEST_F(MksfxVerify, SoundSignedAndDamagedPayloads) {
  Bytes file = DemoAddOn();
  ASSERT_FALSE(file.empty());
  mksfx::AppendZip(file, SampleMembers());
  EXPECT_TRUE(Verify(file)) << err_.str();
  EXPECT_NE(out_.str().find("not signed"), std::string::npos) << out_.str();

  // The reader finds the payload in front of the certificate table.
  Bytes signedFile = file;
  AppendCertificateTable(signedFile, 2000);
  EXPECT_TRUE(Verify(signedFile)) << err_.str();
  EXPECT_NE(out_.str().find("signed: certificate table of 2000 bytes"), std::string::npos)
      << out_.str();
  signedFile.push_back(0);
  EXPECT_FALSE(Verify(signedFile)) << "data behind the certificate table";

  Bytes damaged = file;
  damaged[DemoAddOn().size() + 30 + 13 + 1000] ^= 0x55;  // inside the first member's data
  EXPECT_FALSE(Verify(damaged));
  EXPECT_NE(out_.str().find("FAILED  CVCopySCR.exe"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("OK      mwscd.adt"), std::string::npos) << "the others are tested too";

  EXPECT_FALSE(Verify(DemoAddOn())) << "no payload at all";
}

TEST_F(MksfxVerify, APayloadBehindTheSignatureIsRefused) {
  // Signed first, packed afterwards: the signature does not cover the payload.
  Bytes file = DemoAddOn();
  ASSERT_FALSE(file.empty());
  AppendCertificateTable(file, 800);
  mksfx::AppendZip(file, SampleMembers());
  EXPECT_FALSE(Verify(file));
  EXPECT_NE(err_.str().find("sign the installer after packing"), std::string::npos) << err_.str();
}

}  // namespace
