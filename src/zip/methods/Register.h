// Registers every method and cipher this build's libraries give (bzip2,
// LZMA, XZ, Zstandard, WinZip AES) with the reader; a method a build lacks
// is registered as refused, with a message that says so.
#pragma once

namespace zip::methods {

void RegisterAll();

}  // namespace zip::methods
