#include "Piping.h"

#include "ExitCodes.h"
#include "Listing.h"
#include "Names.h"
#include "os/os.h"
#include "rtl/Exception.h"

namespace tunzip {

void StandardOutputSink::Write(const uint8_t* bytes, size_t count) {
  if (textLines_) {
    lines_.Convert(bytes, count, converted_);
    bytes = reinterpret_cast<const uint8_t*>(converted_.data());
    count = converted_.size();
  }
  if (count > 0 && !os::WriteStandardOutput(bytes, count)) throw rtl::EWriteError();
}

int PipeMembers(const zip::Archive& archive, const Options& options,
                const std::vector<size_t>& items, std::ostream& err) {
  const bool askUser = os::IsTerminal(0);
  ExitStatus status(options.havePassword || askUser);
  zip::ReadOptions reading;
  if (options.havePassword) reading.password = options.password;
  reading.threads = ThreadsAllowed(options);
  if (askUser) {
    reading.askPassword = [&](const zip::Entry& entry) -> std::optional<std::string> {
      err << "[" << options.archiveShown << "] " << ShownMemberName(entry)
          << " password: " << std::flush;
      // What was typed is tried first on the members after this one.
      std::optional<std::string> typed = os::ReadConsoleLine(false);
      if (typed && !typed->empty()) reading.password = *typed;
      return typed;
    };
  }
  zip::Reader reader(archive);
  bool stopped = false;
  ForEachChosen(archive, items, [&](const zip::Entry& entry) {
    if (stopped) return;
    try {
      // A folder's entry gives its bytes too, as UnZip's does: almost always
      // none.
      StandardOutputSink out(ConvertsLines(options, entry));
      StandardOutputSink names;
      // -c: the member's line before its bytes, a line's end after them.
      if (options.pipeWithNames && options.quiet == 0) {
        const std::string line =
            std::string(static_cast<uint8_t>(entry.Method()) == 0 ? " extracting: "
                                                                  : "  inflating: ") +
            MemberLine(options, entry) + "\n";
        names.Write(reinterpret_cast<const uint8_t*>(line.data()), line.size());
      }
      reader.Extract(entry, out, reading);
      if (options.pipeWithNames) names.Write(reinterpret_cast<const uint8_t*>("\n"), 1);
      status.Succeeded();
    } catch (const std::exception& error) {
      // The bytes already sent cannot be taken back: the message and the
      // exit code say that they are not the member.
      err << "tunzip: " << ShownMemberName(entry) << ": "
          << FailureMessage(error, options.havePassword || askUser) << '\n';
      status.Failed(error);
      stopped = status.Code() == kExitDiskFull || status.Code() == kExitUserAbort;
    }
  });
  return status.Code();
}

}  // namespace tunzip
