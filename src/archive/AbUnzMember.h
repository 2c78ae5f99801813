// ExtractMember turns one catalogue item into a file below the archive's base
// folder: it resolves the target, creates the file, decodes the member through
// the member chain, checks the CRC-32 and stamps the file's date and
// attributes. A member that fails leaves no file behind.
#pragma once

#include <cstdint>
#include <string>

#include "archive/AbArcTyp.h"
#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"
#include "zip/engine/AbMemberChain.h"

namespace ab {

void ExtractMember(TAbZipArchive& sender, TAbZipItem& item, const std::string& newName);

// Resolves name below baseFolder as the unpack flags say, creating folders
// when asked to; false when the overwrite query declines. On true, name holds
// the full target path.
bool ConfirmTargetPath(const std::string& baseFolder, std::string& name, uint8_t options,
                       const TAbOverwriteQueryEvent& confirmOverwrite);

// Decodes the item's data into output and checks its CRC-32. Refuses a
// member whose extra field is damaged (EAbZipBadExtraField) or whose span
// overlaps another's or the directory (EAbZipOverlap), and stops one that
// produces more than its declared size (EAbZipSizeExceeded).
void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output);
// The same, reading from source. Given a source of its own, each thread
// leaves the archive and its items untouched while it decodes, once
// CheckMemberSpans has run, as long as no member asks for a password
// (asking sets the archive's password) and the archive lies in one file.
void DecodeMemberToStream(TAbZipArchive& archive, TAbZipItem& item, rtl::TStream* output,
                          const TAbMemberSource& source);

}  // namespace ab
