// In-process throughput of the legacy decoders on the corpus's PKZIP 1.x
// archives: each member decoded repeatedly into memory, MB/s of output.
// Usage: bench_legacy CORPUS_DIR [seconds per archive]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rtl/Stream.h"
#include "zip/engine/AbUnzPrc.h"

namespace {

struct Member {
  uint16_t flags, method;
  uint32_t crc, compressed, size, offset;
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
  return v;
}

std::vector<Member> Directory(const std::vector<uint8_t>& zip) {
  std::vector<Member> members;
  size_t end = zip.size() - 22;
  while (end > 0 && Le(zip, end, 4) != 0x06054b50) --end;
  size_t at = Le(zip, end + 16, 4);
  for (uint32_t i = 0, n = Le(zip, end + 10, 2); i < n; ++i) {
    const uint32_t local = Le(zip, at + 42, 4);
    members.push_back({static_cast<uint16_t>(Le(zip, at + 8, 2)),
                       static_cast<uint16_t>(Le(zip, at + 10, 2)), Le(zip, at + 16, 4),
                       Le(zip, at + 20, 4), Le(zip, at + 24, 4),
                       local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2)});
    at += 46 + Le(zip, at + 28, 2) + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
  }
  return members;
}

// Decodes every legacy member once; returns the bytes produced.
int64_t DecodeAll(const std::vector<uint8_t>& zip, const std::vector<Member>& members) {
  int64_t produced = 0;
  for (const Member& m : members) {
    if (m.method < 1 || m.method > 6) continue;
    rtl::TMemoryStream input(zip);
    input.Seek(m.offset, rtl::soBeginning);
    rtl::TMemoryStream output;
    ab::TAbUnzipHelper helper(input, output, nullptr);
    helper.SetCompressionMethod(static_cast<uint8_t>(m.method));
    helper.SetCompressedSize(static_cast<int32_t>(m.compressed));
    helper.SetUncompressedSize(static_cast<int32_t>(m.size));
    helper.SetDictionarySize((m.flags & 2) != 0 ? 2 : 1);
    helper.SetShannonFanoTreeCount((m.flags & 4) != 0 ? 3 : 2);
    helper.OnProgress = [](uint8_t, bool&) {};  // as the archive always sets one
    if (helper.Run() != m.crc) {
      std::fprintf(stderr, "CRC mismatch\n");
      std::exit(1);
    }
    produced += output.Size();
  }
  return produced;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [seconds]\n", argv[0]);
    return 2;
  }
  const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
  for (const char* name : {"HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP"}) {
    std::ifstream file(std::string(argv[1]) + "/legacy/" + name, std::ios::binary);
    const std::vector<uint8_t> zip((std::istreambuf_iterator<char>(file)), {});
    if (zip.size() < 22) {
      std::fprintf(stderr, "%s: not found\n", name);
      return 1;
    }
    const auto members = Directory(zip);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int64_t bytes = 0;
    int rounds = 0;
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
      bytes += DecodeAll(zip, members);
      ++rounds;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-13s %6d rounds  %8.1f MB/s  %8.3f ms per archive\n", name, rounds,
                static_cast<double>(bytes) / elapsed / 1e6, elapsed * 1e3 / rounds);
  }
  return 0;
}
