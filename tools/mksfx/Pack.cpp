#include "Pack.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "Files.h"
#include "Payload.h"
#include "PeLayout.h"
#include "Verify.h"
#include "ZipImage.h"
#include "os/os.h"

namespace mksfx {

namespace {

struct Installer {
  std::string path;  // operating-system path
  std::string shown;
  Bytes image;
};

Installer LoadInstaller(const UserPath& given) {
  Installer installer;
  if (given.path.empty()) {
    installer.path = InstallerBesideProgram();
    installer.shown = "the installer beside mksfx";
    if (installer.path.empty())
      throw std::runtime_error(
          "no installer (CVCustomScrZipBase.exe) beside mksfx: name one with --installer");
  } else {
    installer.path = os::ExpandFileName(given.path);
    installer.shown = given.shown;
  }
  installer.image = ReadWholeFile(installer.path, installer.shown);
  const PeLayout layout = ReadPeLayout(installer.image);
  if (layout.IsSigned()) {
    throw std::runtime_error(installer.shown +
                             ": is signed already; pack the unsigned installer "
                             "and sign the result, so that the signature covers the payload");
  }
  if (layout.isPe && layout.imageEnd < installer.image.size()) {
    throw std::runtime_error(installer.shown + ": carries " +
                             std::to_string(installer.image.size() - layout.imageEnd) +
                             " bytes behind its image, a payload perhaps: pack the bare installer");
  }
  return installer;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

void CheckInstallerNames(const std::vector<PayloadFile>& files, bool allowMissing,
                         std::ostream& err) {
  const std::vector<std::string> missing = MissingNames(files);
  if (missing.empty()) return;
  const std::string text = "the installer needs " + Joined(missing) + ", which " +
                           (missing.size() == 1 ? "is" : "are") + " not among the files";
  if (!allowMissing) throw std::runtime_error(text + " (--allow-missing packs without them)");
  err << "mksfx: warning: " << text << '\n';
}

void ReportAddOnVersion(const std::vector<PayloadFile>& files, std::ostream& out,
                        std::ostream& err) {
  for (const PayloadFile& file : files) {
    if (!SameName(file.name, kAddOnName)) continue;
    const auto version = ReportedVersion(os::ExpandFileName(file.source.path));
    if (version) {
      out << file.source.shown << ": the installer will report version " << os::AnsiToUtf8(*version)
          << '\n';
    } else {
      err << "mksfx: warning: " << file.source.shown << " carries no version resource with a "
          << "FileVersion under 040904E4 (U.S. English, Windows-1252): the installer would "
          << "report an empty version\n";
    }
  }
}

// One stamp for every member when SOURCE_DATE_EPOCH is set, else each file's own.
std::vector<PackedMember> PackFiles(const std::vector<PayloadFile>& files, std::ostream& out) {
  const char* epochText = std::getenv("SOURCE_DATE_EPOCH");
  const std::optional<int64_t> epoch = ParseSourceDateEpoch(epochText ? epochText : "");
  std::vector<PackedMember> members;
  for (const PayloadFile& file : files) {
    const std::string path = os::ExpandFileName(file.source.path);
    const Bytes data = ReadWholeFile(path, file.source.shown);
    DosStamp stamp;
    if (epoch) {
      stamp = DosStampUtc(*epoch);
    } else {
      const std::optional<int64_t> modified = os::LastWriteTime(path);
      if (!modified) throw std::runtime_error(file.source.shown + ": has no modification time");
      stamp = DosStampLocal(*modified);
    }
    members.push_back(PackMember(file.name, stamp, data));
    out << "  " << file.name << ": " << data.size() << " -> " << members.back().deflated.size()
        << " bytes\n";
  }
  return members;
}

}  // namespace

int Pack(const Options& options, std::ostream& out, std::ostream& err) {
  try {
    std::vector<PayloadFile> files = NameFiles(options.files);
    CheckInstallerNames(files, options.allowMissing, err);
    Installer installer = LoadInstaller(options.installer);
    SortForStoring(files);
    ReportAddOnVersion(files, out, err);
    Bytes image = std::move(installer.image);
    const size_t installerSize = image.size();
    out << "packing with " << EncoderName() << ":\n";
    AppendZip(image, PackFiles(files, out));
    const std::string target = os::ExpandFileName(options.output.path);
    std::ostringstream checkLog;
    WriteWholeOrNothing(
        installer.path, image, target, options.output.shown, [&](const std::string& written) {
          // The names were checked before packing.
          return VerifyInstaller(written, options.output.shown, checkLog, err, false);
        });
    out << options.output.shown << ": " << installerSize << " bytes of installer and "
        << image.size() - installerSize << " bytes of payload, " << files.size()
        << " members, every one tested\n";
    return kExitOk;
  } catch (const CheckFailed&) {
    err << "mksfx: " << options.output.shown << " not written\n";
    return kExitFailed;
  } catch (const std::exception& error) {
    err << "mksfx: " << error.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace mksfx
