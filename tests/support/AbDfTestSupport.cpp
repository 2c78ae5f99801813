// Helpers for the Deflate decoder's tests.
#include "support/AbDfTestSupport.h"

#include <cstdio>
#include <cstdlib>

#include "support/Corpus.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbUtils.h"

#if TESSALINE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace dftest {

std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  int count[16] = {};
  for (int l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int b = 1; b < 16; ++b) {
    code = (code + static_cast<uint32_t>(count[b - 1])) << 1;
    next[b] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
  return codes;
}

void PutDynamicHeader(BitWriter& writer, bool final, const std::vector<int>& litLengths,
                      const std::vector<int>& distLengths) {
  static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  writer.Put(final ? 1 : 0, 1);
  writer.Put(2, 2);
  writer.Put(static_cast<uint32_t>(litLengths.size() - 257), 5);
  writer.Put(static_cast<uint32_t>(distLengths.size() - 1), 5);
  writer.Put(19 - 4, 4);
  // Every code-length symbol gets a code: 13 of length 4 and 6 of length 5
  // fill the code space exactly.
  std::vector<int> clLengths(19, 4);
  for (int s = 13; s < 19; ++s) clLengths[static_cast<size_t>(s)] = 5;
  std::vector<int> all = litLengths;
  all.insert(all.end(), distLengths.begin(), distLengths.end());
  for (int i = 0; i < 19; ++i) writer.Put(static_cast<uint32_t>(clLengths[kOrder[i]]), 3);
  const auto clCodes = CanonicalCodes(clLengths);
  for (int l : all)
    writer.PutCode(clCodes[static_cast<size_t>(l)], clLengths[static_cast<size_t>(l)]);
}

Bytes Encrypt(const Bytes& plain, const std::string& password, uint8_t checkByte) {
  ab::TAbZipKeys keys;
  keys.Init(password);
  Bytes header(12);
  for (int i = 0; i < 11; ++i) header[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 37 + 5);
  header[11] = checkByte;
  Bytes out;
  auto put = [&](uint8_t p) {
    const uint32_t t = (keys.k2 & 0xFFFF) | 2;
    out.push_back(static_cast<uint8_t>(p ^ ((t * (t ^ 1)) >> 8)));
    keys.Update(p);
  };
  for (uint8_t b : header) put(b);
  for (uint8_t b : plain) put(b);
  return out;
}

InflateResult RunInflate(const Bytes& input, const ab::TAbDeflateHelper& options) {
  InflateResult result;
  result.helper.Assign(options);
  rtl::TMemoryStream source(input);
  rtl::TMemoryStream dest;
  result.checksum = ab::Inflate(&source, &dest, &result.helper);
  result.output = dest.Bytes();
  result.sourcePosition = source.Position();
  return result;
}

InflateResult RunInflate(const Bytes& input, uint32_t flags) {
  ab::TAbDeflateHelper options;
  options.SetDecodeFlags(flags);
  return RunInflate(input, options);
}

std::string InflateError(const Bytes& input, uint32_t flags) {
  try {
    RunInflate(input, flags);
  } catch (const ab::EAbInflateError& error) {
    return error.Message();
  }
  return "";
}

#if TESSALINE_HAVE_ZLIB
Bytes ZlibDeflate(const Bytes& data, int level, int windowBits, int strategy, int memLevel) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK) std::abort();
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
#endif

Bytes CorpusText(const std::string& name) {
  const std::string path = testing_support::CorpusFile("text/" + name + ".gz");
  if (path.empty()) return {};
#if TESSALINE_HAVE_ZLIB
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  Bytes out;
  uint8_t chunk[65536];
  int n;
  while ((n = gzread(file, chunk, sizeof chunk)) > 0) out.insert(out.end(), chunk, chunk + n);
  gzclose(file);
  return out;
#else
  // Without zlib, the corpus text is unpacked with our own decoder: a gzip
  // member is a 10-byte header (optionally a name) around raw Deflate.
  Bytes gz = testing_support::ReadWholeFile(path);
  if (gz.size() < 18) return {};
  size_t at = 10;
  if (gz[3] & 4) at += 2 + static_cast<size_t>(gz[10] | (gz[11] << 8));
  if (gz[3] & 8)
    while (at < gz.size() && gz[at++] != 0) {
    }
  if (gz[3] & 16)
    while (at < gz.size() && gz[at++] != 0) {
    }
  if (gz[3] & 2) at += 2;
  return RunInflate(Bytes(gz.begin() + static_cast<long>(at), gz.end()), 0).output;
#endif
}

}  // namespace dftest
