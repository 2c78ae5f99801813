// Which decoder serves which method code. A build without a library (the
// Windows build, unless the libraries were cross-built for it) refuses the
// method by name and says why, rather than as a method no reader knows.
#include "zip/methods/Register.h"

#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

[[maybe_unused]] MethodDecoder Lacking(const char* name) {
  return [name](const MethodEntry& entry, MethodInput&, Sink&) {
    throw Error(Failure::kUnsupported, "unsupported compression method " +
                                           std::to_string(entry.method) + " (" + name +
                                           "): this build of the reader lacks it");
  };
}

}  // namespace

void RegisterAll() {
#if TESSALINE_METHOD_LIBRARIES
  RegisterMethod(12, DecodeBzip2);
  RegisterMethod(14, DecodeLzma);
  RegisterMethod(95, DecodeXz);
  // 20 is the code early writers gave Zstandard before 93 was assigned.
  RegisterMethod(20, DecodeZstd);
  RegisterMethod(93, DecodeZstd);
#else
  RegisterMethod(12, Lacking("BZip2"));
  RegisterMethod(14, Lacking("LZMA"));
  RegisterMethod(95, Lacking("XZ"));
  RegisterMethod(20, Lacking("Zstd"));
  RegisterMethod(93, Lacking("Zstd"));
#endif
  RegisterWinZipAes(SystemAesCrypto());
}

}  // namespace zip::methods
