// tunzip -l, -v, -Z1 and --tsv: the catalogue as UnZip's short and verbose
// tables, as bare names, or as tab-separated lines for scripts, with the
// members chosen by masks; and how a member's name is shown anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Names.h"
#include "Options.h"
#include "zip/Archive.h"

namespace tunzip {

// The members a command line chooses, in catalogue order, and the masks and
// exclusions that chose nothing.
struct Choice {
  std::vector<size_t> items;
  std::vector<std::string> unmatchedMasks;
  std::vector<std::string> unmatchedExcludes;
};
Choice ChooseMembers(const zip::Archive& archive, const Options& options);

// Calls f with each chosen entry, in catalogue order, walking the directory
// once.
void ForEachChosen(const zip::Archive& archive, const std::vector<size_t>& chosen,
                   const std::function<void(const zip::Entry&)>& f);

// printf into a string, for the listings' fixed columns (a line's field
// at most).
std::string Printf(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

// The method as unzip -v names it ("Stored", "Defl:N", "Unk:014", ...).
std::string MethodName(uint16_t method, uint16_t flags);
// The same for an entry: an AES entry by its inner method ("Defl:N+AES").
std::string MethodName(const zip::Entry& entry);
// What a cipher adds to an entry's compressed size: the traditional
// cipher's header, AES's salt, verifier and code.
uint64_t EncryptionOverhead(const zip::Entry& entry);

// What every command says of a loaded archive before its members, as UnZip
// does: the "Archive:" line and the archive's comment when withTitle, then,
// on err unless -qq, the warning about a shifted archive.
void ArchiveHeader(const zip::Archive& archive, const Options& options, bool withTitle,
                   std::ostream& out, std::ostream& err);

// The title of -l's table; marks: -L or -LL was given, and the names it
// lowercased are marked.
std::string ShortListingTitle(bool marks);

// Writes the listing of a loaded archive; returns the exit code.
int ListArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                std::ostream& err);

}  // namespace tunzip
