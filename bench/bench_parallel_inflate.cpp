// One large member on several threads. Two archives are made in a scratch
// folder with Info-ZIP zip -6: a member of 256 MiB of text (the corpus's
// texts, random stretches of them with a numbered line between) and one of
// 256 MiB of mixed binary data (kennedy.xls, the PDF, ptt5 and the other
// binary files, stretches of them with a byte in a thousand changed). For each:
//   - tunzip -t and -p (to /dev/null) at --threads 1 and 2: best wall time of
//     three, the ratio, and the peak resident memory;
//   - in process, on the member's stream mapped from the archive: our
//     one-thread decoder, the parallel decoder on 1 and 2 threads, and the
//     one-thread rates of libdeflate and ISA-L, in MB/s of output;
//   - the parallel decoder on 2 threads as the chunk count grows: its speed-up,
//     its CPU time against our one-thread decoder (the work it adds), the
//     share decoded with markers and in order on the joining thread, and from
//     those the speed-up 16 cores would give (the model is in InProcess);
//   - where two threads start to pay, on stretches of the text of 1 to 32 MB
//     compressed.
// Exits 1 when any output or CRC-32 is wrong; times are reported, not judged.
// Usage: bench_parallel_inflate CORPUS_DIR [scratch folder [keep]]: with keep,
// the members and their archives stay in the scratch folder and a later run
// takes them up again instead of making them anew.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/mapping.h"
#include "zip/engine/AbCrc32.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbDfParallel.h"
#include "zip/engine/AbMemberChain.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t kMemberSize = size_t{256} << 20;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Bytes ReadGzip(const fs::path& path) {
  Bytes data;
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot read " + path.string());
  uint8_t buffer[65536];
  int n;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) data.insert(data.end(), buffer, buffer + n);
  gzclose(file);
  return data;
}

// Stretches of the sources in random order up to kMemberSize; text gets a
// numbered line after each, binary data a byte in a thousand changed.
void WriteMember(const fs::path& path, const std::vector<Bytes>& sources, bool text) {
  std::mt19937 random(text ? 1 : 2);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  size_t written = 0;
  Bytes piece;
  while (written < kMemberSize) {
    const Bytes& source = sources[random() % sources.size()];
    const size_t from = random() % source.size();
    const size_t length = std::min<size_t>(source.size() - from, 1000 + random() % 200000);
    piece.assign(source.begin() + static_cast<ptrdiff_t>(from),
                 source.begin() + static_cast<ptrdiff_t>(from + length));
    if (text) {
      const std::string line = std::to_string(random()) + "\n";
      piece.insert(piece.end(), line.begin(), line.end());
    } else {
      for (size_t i = random() % 1000; i < piece.size(); i += 1 + random() % 2000)
        piece[i] = static_cast<uint8_t>(random());
    }
    const size_t n = std::min(piece.size(), kMemberSize - written);
    out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(n));
    written += n;
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void Zip(const fs::path& folder, const std::string& archive, const std::string& member) {
  const std::string command = "cd '" + folder.string() + "' && zip -q -6 " + archive + " " + member;
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("zip failed; it comes from the Debian package zip");
}

// The wall seconds and the peak resident memory (MB) of one run. The peak
// comes from GNU time, which starts the program as a small process of its
// own: a child of this one would carry this one's high-water mark.
std::pair<double, double> RunOnce(const std::vector<std::string>& arguments,
                                  const fs::path& report) {
  std::string command = "/usr/bin/time -f %M -o '" + report.string() + "'";
  for (const std::string& a : arguments) command += " '" + a + "'";
  command += " >/dev/null";
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = Seconds(start);
  if (status != 0) throw std::runtime_error(command + " failed");
  double kilobytes = 0;
  std::ifstream(report) >> kilobytes;
  return {seconds, kilobytes / 1024};
}

void TimeTunzip(const std::string& tunzip, const std::string& archive, const char* label,
                const fs::path& report) {
  for (const char* mode : {"-qt", "-qp"}) {
    double best[2] = {1e9, 1e9}, worst[2] = {0, 0}, peak[2] = {0, 0};
    for (int round = 0; round < 3; ++round) {
      for (int t = 0; t < 2; ++t) {
        const auto [seconds, megabytes] =
            RunOnce({tunzip, mode, "--threads", t == 0 ? "1" : "2", archive}, report);
        best[t] = std::min(best[t], seconds);
        worst[t] = std::max(worst[t], seconds);
        peak[t] = std::max(peak[t], megabytes);
      }
    }
    std::printf(
        "parallel inflate %-6s tunzip %s: 1 thread %.3f s (worst %.3f, %.0f MB), "
        "2 threads %.3f s (worst %.3f, %.0f MB): %.2fx\n",
        label, mode, best[0], worst[0], peak[0], best[1], worst[1], peak[1], best[0] / best[1]);
  }
}

struct Member {
  std::unique_ptr<os::FileMapping> mapping;
  uint64_t size = 0;
  uint32_t crc = 0;
};

// The only member's stream, mapped from the archive, with its size and CRC-32
// from the local header (zip writes them there for a file it can seek in).
Member MapMember(const std::string& archive) {
  std::ifstream in(archive, std::ios::binary);
  uint8_t header[30];
  in.read(reinterpret_cast<char*>(header), 30);
  auto u16 = [&](int at) { return static_cast<uint32_t>(header[at] | (header[at + 1] << 8)); };
  auto u32 = [&](int at) { return u16(at) | (u16(at + 2) << 16); };
  if (!in || u32(0) != 0x04034B50 || u16(8) != 8)
    throw std::runtime_error(archive + ": not one deflated member");
  Member member;
  member.crc = u32(14);
  member.size = u32(22);
  const uint64_t offset = 30 + u16(26) + u16(28);
  const os::FileHandle file = os::OpenExistingFile(archive, 0);
  member.mapping = os::FileMapping::Open(file, offset, u32(18));
  os::CloseFile(file);
  if (!member.mapping) throw std::runtime_error(archive + ": cannot map the member");
  return member;
}

bool InProcess(const Member& member, const char* label) {
  const uint8_t* data = member.mapping->Data();
  const size_t size = member.mapping->Size();
  const double mb = static_cast<double>(member.size) / 1e6;
  bool ok = true;
  auto best = [](auto run) {
    double fastest = 1e9;
    for (int i = 0; i < 5; ++i) {
      const auto start = Clock::now();
      run();
      fastest = std::min(fastest, Seconds(start));
    }
    return fastest;
  };
  rtl::TMemoryStream source(Bytes(data, data + size));
  // Our one thread's CPU time, against which the parallel decoder's work is
  // counted: on a shared machine it moves less than the wall time.
  double sequentialCpu = 1e9;
  const double sequential = best([&] {
    const double cpu = CpuSeconds();
    source.SetPosition(0);
    ab::TAbBitBucketStream bucket;
    ab::TAbDeflateHelper helper;
    helper.SetDecodeFlags(helper.DecodeFlags() | ab::dfcTestOnly);
    ok &= ab::Inflate(&source, &bucket, &helper) == member.crc;
    sequentialCpu = std::min(sequentialCpu, CpuSeconds() - cpu);
  });
  double parallel[2];
  for (unsigned threads = 1; threads <= 2; ++threads) {
    parallel[threads - 1] = best([&] {
      ab::TAbParallelInflateOptions options;
      options.threads = threads;
      options.expectedOutput = member.size;
      const auto result = ab::ParallelInflate(data, size, options, nullptr);
      ok &= result.crc == member.crc && result.size == member.size;
    });
  }
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  Bytes out(member.size);
  const double libdeflate = best([&] {
    size_t made = 0;
    libdeflate_deflate_decompress(ld, data, size, out.data(), out.size(), &made);
    ok &= libdeflate_crc32(0, out.data(), made) == member.crc;
  });
  libdeflate_free_decompressor(ld);
  const double isal = best([&] {
    inflate_state state{};
    isal_inflate_init(&state);
    state.next_in = const_cast<uint8_t*>(data);
    state.avail_in = static_cast<uint32_t>(size);
    state.crc_flag = ISAL_GZIP_NO_HDR;
    while (state.block_state != ISAL_BLOCK_FINISH) {
      state.next_out = out.data();
      state.avail_out = 1 << 20;
      if (isal_inflate(&state) != ISAL_DECOMP_OK) break;
    }
    ok &= state.crc == member.crc;
  });
  std::printf(
      "parallel inflate %-6s in process, MB/s: ours %.0f, parallel 1 thread %.0f, 2 threads %.0f "
      "(%.2fx ours), libdeflate %.0f, isa-l %.0f\n",
      label, mb / sequential, mb / parallel[0], mb / parallel[1], sequential / parallel[1],
      mb / libdeflate, mb / isal);

  // The CRC-32 of the output is the joining thread's in any case.
  const auto crcStart = Clock::now();
  volatile uint32_t crc = ab::Crc32(out.data(), out.size());
  (void)crc;
  const double crcSeconds = Seconds(crcStart);
  for (size_t chunks : {4, 8, 16, 32, 64, 128, 256}) {
    ab::TAbParallelInflateOptions options;
    options.threads = 2;
    options.chunkInput = (size + chunks - 1) / chunks;
    ab::TAbParallelInflateResult result;
    double wall = 1e9, work = 1e9;
    for (int round = 0; round < 2; ++round) {
      const double cpu = CpuSeconds();
      const auto start = Clock::now();
      result = ab::ParallelInflate(data, size, options, nullptr);
      wall = std::min(wall, Seconds(start));
      work = std::min(work, (CpuSeconds() - cpu) / sequentialCpu);
    }
    ok &= result.crc == member.crc;
    const double wide = static_cast<double>(result.wideSymbols) / member.size;
    const double inOrder = static_cast<double>(result.decodedInOrder) / member.size;
    // What a symbol decoded with markers costs against one in bytes, from
    // the work two threads added; then the chain of chunks on n cores: a
    // chunk gets its window when the one before is done, having decoded
    // (n - 1) periods' worth with markers, so a period p is 1 / (1 + (n-1) /
    // cost) of a chunk's one-thread time, unless the work itself, the
    // in-order part or the CRC-32 bounds it first.
    const double cost = wide > 0.02 ? std::max(1.0, 1 + (work - 1) / wide) : work;
    const double period = 1 / (1 + 15 / cost);
    const double serial = inOrder + crcSeconds / sequentialCpu;
    const double sixteen =
        std::min<double>(result.chunks, 1 / std::max({period, cost / 16, serial}));
    std::printf(
        "parallel inflate %-6s %3zu chunks, 2 threads: %.2fx, work %.2fx one thread, %4.1f%% "
        "decoded with markers (%.2fx the cost), %4.1f%% in order; 16 cores estimated %.1fx\n",
        label, result.chunks, sequential / wall, work, 100 * wide, cost, 100 * inOrder, sixteen);
  }
  if (!ok) std::fprintf(stderr, "bench_parallel_inflate: %s: wrong output\n", label);
  return ok;
}

// Where two threads start to pay: stretches of the text member of growing
// size, deflated here at level 6, decoded in process on one thread and on two,
// best of five each. kParallelInflateFrom is chosen from this.
void Crossover(const fs::path& textFile) {
  std::ifstream in(textFile, std::ios::binary);
  Bytes text(size_t{96} << 20);
  in.read(reinterpret_cast<char*>(text.data()), static_cast<std::streamsize>(text.size()));
  for (const size_t compressed : {size_t{1} << 20, size_t{2} << 20, size_t{4} << 20,
                                  size_t{8} << 20, size_t{16} << 20, size_t{32} << 20}) {
    // Text of this corpus shrinks to about a third.
    const size_t plain = std::min(text.size(), compressed * 3);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes packed(deflateBound(&z, plain));
    z.next_in = text.data();
    z.avail_in = static_cast<uInt>(plain);
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    double one = 1e9, two = 1e9;
    for (int round = 0; round < 5; ++round) {
      rtl::TMemoryStream source(packed);
      ab::TAbBitBucketStream bucket;
      ab::TAbDeflateHelper helper;
      helper.SetDecodeFlags(helper.DecodeFlags() | ab::dfcTestOnly);
      auto start = Clock::now();
      ab::Inflate(&source, &bucket, &helper);
      one = std::min(one, Seconds(start));
      ab::TAbParallelInflateOptions options;
      options.expectedOutput = plain;
      start = Clock::now();
      ab::ParallelInflate(packed.data(), packed.size(), options, nullptr);
      two = std::min(two, Seconds(start));
    }
    std::printf(
        "parallel inflate text   %5.1f MB compressed: 1 thread %.1f ms, 2 threads %.1f ms: %.2fx\n",
        static_cast<double>(packed.size()) / 1e6, one * 1e3, two * 1e3, one / two);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_parallel_inflate CORPUS_DIR [scratch folder]\n");
    return 2;
  }
  const fs::path corpus = fs::path(argv[1]) / "text";
  const fs::path scratch = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
  if (fs::space(scratch).available < (uint64_t{1200} << 20)) {
    std::printf("bench_parallel_inflate: skipped: less than 1.2 GB free in %s\n", scratch.c_str());
    return 0;
  }
  const std::string tunzip =
      (fs::absolute(fs::path(argv[0])).parent_path() / ".." / "tools" / "tunzip" / "tunzip")
          .lexically_normal()
          .string();
  const bool keep = argc > 3 && std::string(argv[3]) == "keep";
  const fs::path folder =
      scratch / (keep ? std::string("bench_parallel_inflate")
                      : "bench_parallel_inflate." + std::to_string(getpid()));
  fs::create_directories(folder);
  bool ok = true;
  try {
    std::vector<Bytes> texts, binaries;
    for (const char* name : {"alice29.txt", "asyoulik.txt", "cp.html", "fields.c", "grammar.lsp",
                             "lcet10.txt", "plrabn12.txt", "xargs.1", "angular.js",
                             "jquery-3.2.1.min.js", "www.reddit.com6.23.2017.har"})
      texts.push_back(ReadGzip(corpus / (std::string(name) + ".gz")));
    for (const char* name : {"kennedy.xls", "TestDocument.pdf", "ptt5", "sum", "mapsdatazrh"})
      binaries.push_back(ReadGzip(corpus / (std::string(name) + ".gz")));
    for (const bool text : {true, false}) {
      const char* label = text ? "text" : "binary";
      const std::string member = std::string(label) + ".bin";
      const std::string archive = (folder / (std::string(label) + ".zip")).string();
      if (!keep || !fs::exists(folder / member))
        WriteMember(folder / member, text ? texts : binaries, text);
      if (text) Crossover(folder / member);
      if (!keep || !fs::exists(archive)) Zip(folder, std::string(label) + ".zip", member);
      if (!keep) fs::remove(folder / member);
      std::printf("parallel inflate %-6s member of %zu MiB, %.0f MB compressed\n", label,
                  kMemberSize >> 20, static_cast<double>(fs::file_size(archive)) / 1e6);
      std::fflush(stdout);
      TimeTunzip(tunzip, archive, label, folder / "peak.txt");
      ok &= InProcess(MapMember(archive), label);
      std::fflush(stdout);
      if (!keep) fs::remove(archive);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_parallel_inflate: %s\n", e.what());
    ok = false;
  }
  if (!keep) fs::remove_all(folder);
  return ok ? 0 : 1;
}
