// Inflate throughput beside zlib, libdeflate and ISA-L on the text corpus,
// each with its CRC-32, plus our Deflate64 throughput beside our Deflate on
// the same files packed by 7-Zip both ways. Usage: bench_inflate CORPUS_DIR. The last line gives
// the geometric means.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbUtils.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Gunzip(const std::string& path) {
  Bytes out;
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return out;
  uint8_t chunk[65536];
  int n;
  while ((n = gzread(file, chunk, sizeof chunk)) > 0) out.insert(out.end(), chunk, chunk + n);
  gzclose(file);
  return out;
}

Bytes RawDeflate(const Bytes& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The CPU time this thread has used: time spent waiting for a core on a
// busy machine does not count against whichever decoder was running.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs that are timed against each other: each runs a batch of at least
// 2 ms in turn, 15 rounds, and keeps its best time per run. Taking turns
// matters on a shared machine, whose speed drifts by several percent within
// seconds: one decoder timed after another would compare two periods, not
// two decoders.
std::vector<double> BestTimesInTurns(const std::vector<std::function<void()>>& runs) {
  std::vector<int> perBatch(runs.size(), 1);
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]();
    for (;;) {
      const double start = ThreadSeconds();
      for (int k = 0; k < perBatch[i]; ++k) runs[i]();
      if (ThreadSeconds() - start >= 0.002) break;
      perBatch[i] *= 2;
    }
  }
  std::vector<double> best(runs.size(), 1e30);
  for (int round = 0; round < 15; ++round) {
    for (size_t i = 0; i < runs.size(); ++i) {
      const double start = ThreadSeconds();
      for (int k = 0; k < perBatch[i]; ++k) runs[i]();
      best[i] = std::min(best[i], (ThreadSeconds() - start) / perBatch[i]);
    }
  }
  return best;
}

// Our decode, memory stream to memory stream, ready to be timed; the bytes
// and the CRC are checked once here.
class TOurDecode {
 public:
  TOurDecode(const Bytes& packed, const Bytes& plain, uint32_t flags) : source_(packed) {
    options_.SetDecodeFlags(flags);
    try {
      Run();
      ok_ = dest_.Bytes() == plain && crc_ == ab::Crc32(plain.data(), plain.size());
    } catch (const std::exception& error) {
      std::printf("decode failed: %s\n", error.what());
    }
  }
  bool Ok() const { return ok_; }
  void Run() {
    source_.SetPosition(0);
    // Emptied, its room kept: the decode writes into the stream's own bytes
    // as a caller's fresh buffer would be written.
    dest_.SetSize(0);
    crc_ = ab::Inflate(&source_, &dest_, &options_);
  }

 private:
  rtl::TMemoryStream source_;
  rtl::TMemoryStream dest_;
  ab::TAbDeflateHelper options_;
  uint32_t crc_ = 0;
  bool ok_ = false;
};

// The data of a one-member ZIP archive, through its central directory; empty
// unless the member has the method asked for (7-Zip stores what does not
// compress).
Bytes MemberData(const Bytes& zip, uint32_t method) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(zip[at] | (zip[at + 1] << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  if (zip.size() < 22) return {};
  for (size_t eocd = zip.size() - 22;; --eocd) {
    if (u32(eocd) == 0x06054b50) {
      const size_t central = u32(eocd + 16);
      if (u16(central + 10) != method) return {};
      const size_t packedSize = u32(central + 20);
      const size_t local = u32(central + 42);
      const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
      if (data + packedSize > zip.size()) return {};
      return Bytes(zip.begin() + static_cast<long>(data),
                   zip.begin() + static_cast<long>(data + packedSize));
    }
    if (eocd == 0) return {};
  }
}

// The file packed by 7-Zip as Deflate (method 8) or Deflate64 (method 9):
// the same compressor for both, so that the two decodes compare the decoder.
Bytes SevenZip(const Bytes& plain, const fs::path& folder, bool deflate64) {
  const fs::path input = folder / "member.bin";
  const fs::path zip = folder / "member.zip";
  fs::remove(zip);
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(plain.data()),
             static_cast<std::streamsize>(plain.size()));
  const std::string command = std::string("7zz a -tzip -mm=") +
                              (deflate64 ? "Deflate64" : "Deflate") + " '" + zip.string() + "' '" +
                              input.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(zip, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return MemberData(bytes, deflate64 ? 9 : 8);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_inflate CORPUS_DIR\n");
    return 2;
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(argv[1]) / "text"))
    if (entry.path().extension() == ".gz") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no text/*.gz under %s\n", argv[1]);
    return 2;
  }
  char folderTemplate[] = "/tmp/bench_inflate.XXXXXX";
  const char* folderName = mkdtemp(folderTemplate);
  const fs::path folder = folderName != nullptr ? folderName : "/tmp";

  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  z_stream z{};
  inflateInit2(&z, -15);

  inflate_state isal{};

  std::printf("%-32s %5s %9s %9s %9s %11s %9s %8s %8s %8s\n", "file", "level", "bytes", "ours",
              "zlib", "libdeflate", "isa-l", "/zlib", "/libdefl", "/isa-l");
  std::printf("%-32s %5s %9s %9s %9s %11s %9s %8s %8s %8s\n", "", "", "", "MB/s", "MB/s", "MB/s",
              "MB/s", "", "", "");
  double logZlib = 0, logLibdeflate = 0, logIsal = 0;
  int pairs = 0;
  bool allOk = true;
  struct Wide {
    std::string name;
    double deflate6, deflate, deflate64;
  };
  std::vector<Wide> wide;
  for (const auto& path : files) {
    const Bytes plain = Gunzip(path.string());
    const std::string name = path.stem().string();
    Bytes out(plain.size() + 64);
    double ours6 = 0;
    for (int level : {1, 6, 9}) {
      const Bytes packed = RawDeflate(plain, level);
      TOurDecode ourDecode(packed, plain, 0);
      const bool ok = ourDecode.Ok();
      allOk = allOk && ok;
      const std::vector<double> times = BestTimesInTurns({
          [&] { ourDecode.Run(); },
          [&] {
            inflateReset(&z);
            z.next_in = const_cast<uint8_t*>(packed.data());
            z.avail_in = static_cast<uInt>(packed.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            inflate(&z, Z_FINISH);
            volatile uLong crc = crc32(0, out.data(), static_cast<uInt>(z.total_out));
            (void)crc;
          },
          [&] {
            size_t made = 0;
            libdeflate_deflate_decompress(ld, packed.data(), packed.size(), out.data(), out.size(),
                                          &made);
            volatile uint32_t crc = libdeflate_crc32(0, out.data(), made);
            (void)crc;
          },
          // ISA-L computes the gzip CRC-32 of its output as it decodes.
          [&] {
            isal_inflate_init(&isal);
            isal.next_in = const_cast<uint8_t*>(packed.data());
            isal.avail_in = static_cast<uint32_t>(packed.size());
            isal.next_out = out.data();
            isal.avail_out = static_cast<uint32_t>(out.size());
            isal.crc_flag = ISAL_GZIP_NO_HDR;
            isal_inflate(&isal);
            volatile uint32_t crc = isal.crc;
            (void)crc;
          },
      });
      const double ours = times[0], zlibTime = times[1], ldTime = times[2], isalTime = times[3];
      if (isal.block_state != ISAL_BLOCK_FINISH ||
          isal.crc != ab::Crc32(plain.data(), plain.size()))
        std::printf("isa-l did not decode %s at level %d\n", name.c_str(), level);
      const double mb = static_cast<double>(plain.size()) / 1e6;
      std::printf("%-32s %5d %9zu %9.1f %9.1f %11.1f %9.1f %8.2f %8.2f %8.2f%s\n", name.c_str(),
                  level, plain.size(), mb / ours, mb / zlibTime, mb / ldTime, mb / isalTime,
                  zlibTime / ours, ldTime / ours, isalTime / ours, ok ? "" : "  WRONG OUTPUT");
      logZlib += std::log(zlibTime / ours);
      logLibdeflate += std::log(ldTime / ours);
      logIsal += std::log(isalTime / ours);
      ++pairs;
      if (level == 6) ours6 = mb / ours;
    }
    const Bytes packed8 = SevenZip(plain, folder, false);
    const Bytes packed64 = SevenZip(plain, folder, true);
    if (packed8.empty() || packed64.empty()) {
      wide.push_back({name + " (stored by 7-Zip)", ours6, 0, 0});
    } else {
      TOurDecode decode8(packed8, plain, 0);
      TOurDecode decode64(packed64, plain, ab::dfcDeflate64);
      const bool ok8 = decode8.Ok(), ok64 = decode64.Ok();
      allOk = allOk && ok8 && ok64;
      const std::vector<double> times =
          BestTimesInTurns({[&] { decode8.Run(); }, [&] { decode64.Run(); }});
      const double time8 = times[0], time64 = times[1];
      const double mb = static_cast<double>(plain.size()) / 1e6;
      wide.push_back({name + (ok8 && ok64 ? "" : " WRONG OUTPUT"), ours6, mb / time8, mb / time64});
    }
  }
  std::printf("\n%-32s %12s %12s %12s %10s\n", "file", "Deflate -6", "Deflate", "Deflate64",
              "64/Deflate");
  std::printf("%-32s %12s %12s %12s %10s\n", "", "zlib, MB/s", "7-Zip, MB/s", "7-Zip, MB/s", "");
  double logWide = 0;
  int widePairs = 0;
  for (const auto& w : wide) {
    if (w.deflate64 <= 0) {
      std::printf("%-32s %12.1f %12s %12s\n", w.name.c_str(), w.deflate6, "-", "-");
      continue;
    }
    std::printf("%-32s %12.1f %12.1f %12.1f %10.2f\n", w.name.c_str(), w.deflate6, w.deflate,
                w.deflate64, w.deflate64 / w.deflate);
    logWide += std::log(w.deflate64 / w.deflate);
    ++widePairs;
  }
  if (widePairs == 0) std::printf("(7zz not available: no 7-Zip streams)\n");
  inflateEnd(&z);
  libdeflate_free_decompressor(ld);
  fs::remove_all(folder);
  if (!allOk) std::printf("\nSOME OUTPUT WAS WRONG\n");
  if (widePairs > 0)
    std::printf("deflate64 ours-deflate64/ours-deflate=%.2f (7-Zip streams of the same files)\n",
                std::exp(logWide / widePairs));
  std::printf("inflate ours/zlib=%.2f ours/libdeflate=%.2f ours/isal=%.2f\n",
              std::exp(logZlib / pairs), std::exp(logLibdeflate / pairs),
              std::exp(logIsal / pairs));
  return allOk ? 0 : 1;
}
