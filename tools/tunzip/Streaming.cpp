#include "Streaming.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "ExitCodes.h"
#include "Extraction.h"
#include "Listing.h"
#include "Masks.h"
#include "Names.h"
#include "Piping.h"

namespace tunzip {

namespace {

std::string ListingLine(const zip::Entry& entry, bool marks) {
  const zip::DosDateTime t = zip::DecodeDosDateTime(entry.DosDate(), entry.DosTime());
  char line[64];
  std::snprintf(line, sizeof line, "%9" PRIu64 "  %04d-%02d-%02d %02d:%02d  %c", entry.Size(), t.year,
                t.month, t.day, t.hour, t.minute, marks && entry.NameLowered() ? '^' : ' ');
  return line + ShownMemberName(entry);
}

// A member whose sizes only its data descriptor holds is decoded to learn
// them.
bool SizesFollowData(const zip::Entry& entry) {
  return (entry.Flags() & 0x0008) != 0 && entry.CompressedSize() == 0;
}

// Walks the stream calling f with each chosen entry; what stops the walk is
// said, and raised in status.
void WalkChosen(zip::StreamReader& reader, const Options& options, ExitStatus& status,
                std::ostream& err, const std::function<void(const zip::Entry&)>& f,
                std::vector<std::string>& unmatched) {
  MemberChoice choice(options.masks, options.excludes, options.caseBlind);
  try {
    while (const zip::Entry* entry = reader.Next())
      if (choice.Chooses(entry->Name())) f(*entry);
  } catch (const std::exception& error) {
    err << "tunzip: " << options.archiveShown << ": " << FailureMessage(error, false) << '\n';
    status.Failed(error);
  }
  unmatched = choice.UnmatchedMasks();
}

int List(zip::StreamReader& reader, const Options& options, std::ostream& out, std::ostream& err) {
  ExitStatus status(false);
  std::vector<std::string> unmatched;
  uint64_t total = 0;
  size_t count = 0;
  const bool table = options.listing == Listing::kShort;
  if (table && options.quiet < 2) out << ShortListingTitle(options.lowerNames > 0);
  WalkChosen(reader, options, status, err, [&](const zip::Entry& entry) {
    if (SizesFollowData(entry)) {
      try {
        reader.Test();
      } catch (const std::exception& error) {
        out.flush();
        err << "tunzip: " << ShownMemberName(entry) << ": " << FailureMessage(error, false) << '\n';
        status.Failed(error);
      }
    }
    ++count;
    total += entry.Size();
    out << (table ? ListingLine(entry, options.lowerNames > 0) : ShownMemberName(entry)) << '\n';
  }, unmatched);
  if (table && options.quiet < 2) {
    char line[96];
    std::snprintf(line, sizeof line, "%9" PRIu64 "                     %zu file%s\n", total, count,
                  count == 1 ? "" : "s");
    out << "---------                     -------\n" << line;
  }
  out.flush();
  for (const std::string& mask : unmatched) err << "caution: filename not matched:  " << mask << '\n';
  if (count == 0 && !options.masks.empty()) status.Raise(kExitNoMatch);
  return status.Code();
}

int Pipe(zip::StreamReader& reader, const Options& options, std::ostream& err) {
  ExitStatus status(options.havePassword);
  zip::ReadOptions reading;
  if (options.havePassword) reading.password = options.password;
  std::vector<std::string> unmatched;
  WalkChosen(reader, options, status, err, [&](const zip::Entry& entry) {
    try {
      StandardOutputSink sink;
      reader.Extract(sink, reading);
      status.Succeeded();
    } catch (const std::exception& error) {
      err << "tunzip: " << ShownMemberName(entry) << ": "
          << FailureMessage(error, options.havePassword) << '\n';
      status.Failed(error);
    }
  }, unmatched);
  for (const std::string& mask : unmatched) err << "caution: filename not matched:  " << mask << '\n';
  if (!unmatched.empty()) status.Raise(kExitNoMatch);
  return status.Code();
}

}  // namespace

int StreamArchive(zip::Input& input, const Options& options, std::ostream& out,
                  std::ostream& err) {
  const bool listing = options.mode == Mode::kList;
  if (options.mode == Mode::kComment ||
      (listing && options.listing != Listing::kShort && options.listing != Listing::kNames) ||
      (options.mode == Mode::kPipe && options.pipeWithNames)) {
    err << "tunzip: " << options.archiveShown
        << ": read as a stream, an archive can be listed (-l, -Z1), tested, extracted or piped "
           "(-p); the others need it as a file\n";
    return kExitBadOptions;
  }
  // The system a member was made on is in its directory entry alone, which
  // a stream brings last: which names -L would lowercase is not known while
  // they are written.
  if (options.lowerNames == 1) {
    err << "tunzip: " << options.archiveShown
        << ": read as a stream, an archive does not say which names -L would lowercase; "
           "-LL lowercases them all\n";
    return kExitBadOptions;
  }
  zip::OpenOptions opening;
  opening.nameCharset = options.nameCharset;
  opening.nameCase = NameCaseOf(options);
  zip::StreamReader reader(input, opening);
  const bool titled = options.quiet == 0 && options.mode != Mode::kPipe &&
                      !(listing && options.listing == Listing::kNames);
  if (titled) out << "Archive:  " << options.archiveShown << '\n';
  int code = kExitOk;
  if (listing) {
    code = List(reader, options, out, err);
  } else if (options.mode == Mode::kPipe) {
    code = Pipe(reader, options, err);
  } else {
    code = ExtractStream(reader, options, out, err);
  }
  out.flush();
  if (reader.OffsetsShifted() && options.quiet < 2) {
    err << "warning [" << options.archiveShown << "]:  " << reader.LeadingBytes()
        << " extra bytes at beginning or within zipfile\n"
           "  (attempting to process anyway)\n";
    code = std::max(code, +kExitWarning);
  }
  for (const std::string& contradiction : reader.Contradictions())
    err << "tunzip: " << options.archiveShown << ": " << contradiction << '\n';
  if (!reader.Contradictions().empty()) code = std::max(code, +kExitWarning);
  return code;
}

}  // namespace tunzip
