#include "Pack.h"

#include <algorithm>
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

// The installer's names that none of the files carries, said in a sentence;
// "" when there are none.
std::string MissingNamesText(const std::vector<PayloadFile>& files) {
  const std::vector<std::string> missing = MissingNames(files);
  if (missing.empty()) return "";
  return "the installer needs " + Joined(missing) + ", which " +
         (missing.size() == 1 ? "is" : "are") + " not among the files";
}

// The installer unpacks its payload and takes its five files from it: any
// other file only makes setup.exe larger.
void WarnUnusedFiles(const std::vector<PayloadFile>& files, std::ostream& err) {
  for (const PayloadFile& file : files) {
    const bool used = std::any_of(kInstallerNames.begin(), kInstallerNames.end(),
                                  [&](const char* name) { return SameName(file.name, name); });
    if (!used) {
      err << "mksfx: warning: " << file.source.shown << ": the installer never uses it (it takes "
          << "only " << Joined({kInstallerNames.begin(), kInstallerNames.end()})
          << " from its payload)\n";
    }
  }
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

struct Input {
  const PayloadFile* file;
  Bytes data;
  DosStamp stamp;
};

// Every file read, with its stamp: one for every member when SOURCE_DATE_EPOCH
// is set, else each file's own. Raises std::runtime_error naming every file
// that cannot be read, before anything of the packing is said.
std::vector<Input> ReadInputs(const std::vector<PayloadFile>& files, std::optional<int64_t> epoch) {
  std::vector<Input> inputs;
  std::string refused;
  for (const PayloadFile& file : files) {
    const std::string path = os::ExpandFileName(file.source.path);
    try {
      Input input{&file, ReadWholeFile(path, file.source.shown), {}};
      if (epoch) {
        input.stamp = DosStampUtc(*epoch);
      } else {
        const std::optional<int64_t> modified = os::LastWriteTime(path);
        if (!modified) throw std::runtime_error(file.source.shown + ": has no modification time");
        input.stamp = DosStampLocal(*modified);
      }
      inputs.push_back(std::move(input));
    } catch (const std::runtime_error& error) {
      refused += std::string("\n  ") + error.what();
    }
  }
  if (!refused.empty()) throw std::runtime_error("refused:" + refused);
  return inputs;
}

std::vector<PackedMember> PackFiles(const std::vector<Input>& inputs, std::ostream& out) {
  std::vector<PackedMember> members;
  for (const Input& input : inputs) {
    members.push_back(PackMember(input.file->name, input.stamp, input.data));
    const PackedMember& member = members.back();
    out << "  " << member.name << ": " << input.data.size() << " -> " << member.stored.size()
        << " bytes" << (member.method == 0 ? " (stored: Deflate would not shrink it)" : "") << '\n';
  }
  return members;
}

std::optional<int64_t> SourceDateEpoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  return ParseSourceDateEpoch(text ? text : "");
}

void CheckOutput(const UserPath& output) {
  const uint32_t existing = os::FileAttributes(os::ExpandFileName(output.path));
  if (existing != os::kInvalidFileAttributes && (existing & os::faDirectory))
    throw std::runtime_error(output.shown + ": is a folder");
}

}  // namespace

int Pack(const Options& options, std::ostream& out, std::ostream& err) {
  try {
    // Everything the command line names is checked before anything is said.
    const std::optional<int64_t> epoch = SourceDateEpoch();
    std::vector<PayloadFile> files = NameFiles(options.files);
    const std::string missing = MissingNamesText(files);
    if (!missing.empty() && !options.allowMissing)
      throw std::runtime_error(missing + " (--allow-missing packs without them)");
    SortForStoring(files);
    const std::vector<Input> inputs = ReadInputs(files, epoch);
    Installer installer = LoadInstaller(options.installer);
    CheckOutput(options.output);

    if (!missing.empty()) err << "mksfx: warning: " << missing << '\n';
    WarnUnusedFiles(files, err);
    ReportAddOnVersion(files, out, err);
    Bytes image = std::move(installer.image);
    const size_t installerSize = image.size();
    out << "packing with " << EncoderName() << ":\n";
    AppendZip(image, PackFiles(inputs, out));
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
