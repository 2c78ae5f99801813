#include "Piping.h"

#include "ExitCodes.h"
#include "Names.h"
#include "archive/AbUnzMember.h"
#include "os/os.h"

namespace tunzip {

int32_t TStandardOutputStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || !os::WriteStandardOutput(buffer, static_cast<size_t>(count))) return 0;
  written_ += count;
  return count;
}

int64_t TStandardOutputStream::Seek(int64_t offset, int origin) {
  const int64_t target = origin == rtl::soBeginning ? offset : written_ + offset;
  return target == written_ ? written_ : -1;
}

int PipeMembers(ab::TAbZipArchive& archive, const Options& options,
                const std::vector<int32_t>& items, std::ostream& err) {
  const bool askUser = os::IsTerminal(0);
  ExitStatus status(options.havePassword || askUser);
  if (options.havePassword) archive.SetArchivePassword(options.password);
  int32_t current = -1;
  if (askUser) {
    archive.OnPasswordRequest = [&](void*, std::string& password) {
      err << "[" << options.archiveShown << "] " << ShownMemberName(archive.Item(current), current)
          << " password: " << std::flush;
      password = os::ReadConsoleLine(false).value_or("");
    };
  }
  for (const int32_t index : items) {
    current = index;
    ab::TAbZipItem& item = archive.Item(index);
    try {
      // A folder's entry gives its bytes too, as UnZip's does: almost always
      // none.
      TStandardOutputStream out;
      ab::DecodeMemberToStream(
          archive, item, &out,
          {archive.Stream(), archive.ItemProgressForwarder, ThreadsAllowed(options)});
      status.Succeeded();
    } catch (const std::exception& error) {
      // The bytes already sent cannot be taken back: the message and the
      // exit code say that they are not the member.
      err << "tunzip: " << ShownMemberName(item, index) << ": "
          << FailureMessage(error, options.havePassword || askUser) << '\n';
      status.Failed(error);
      if (status.Code() == kExitDiskFull || status.Code() == kExitUserAbort) break;
    }
  }
  archive.OnPasswordRequest = nullptr;
  return status.Code();
}

}  // namespace tunzip
