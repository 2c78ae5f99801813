// Members larger than 4 GB, read end to end with bounded memory. Two ZIP64
// archives are made in a scratch folder: one by Info-ZIP zip -fz from a
// sparse file of zeros, one written here whose stored member is a sparse hole
// and whose deflated member starts past 4 GB (its offset only in the ZIP64
// extra field). Each catalogue is loaded, the spans checked and every member
// decoded into the bit bucket with its CRC-32 checked. Prints the seconds and
// MB/s of each decode and the peak resident memory; exits 1 when a size, a
// fact or a check is wrong; says it skipped when the disk has no room.
// Usage: bench_large_member [ignored corpus folder] [scratch folder]
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "zip/Archive.h"

namespace {

constexpr uint64_t kSize = (uint64_t{1} << 32) + 4096;  // just above 4 GB
constexpr size_t kChunk = 1 << 20;

void Put(std::string& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// The local header's block holds the two sizes; the central one the offset
// too, which the fixed field cannot hold past 4 GB.
std::string Zip64Extra(uint64_t size, uint64_t compressed, const uint64_t* offset = nullptr) {
  std::string extra;
  Put(extra, 0x0001, 2);
  Put(extra, offset != nullptr ? 24 : 16, 2);
  Put(extra, size, 8);
  Put(extra, compressed, 8);
  if (offset != nullptr) Put(extra, *offset, 8);
  return extra;
}

struct Member {
  std::string name;
  uint16_t method;
  uint32_t crc;
  uint64_t compressed;
  uint64_t offset;
};

std::string LocalHeader(const Member& m) {
  std::string h;
  Put(h, 0x04034B50, 4);
  Put(h, 45, 2);
  Put(h, 0, 2);
  Put(h, m.method, 2);
  Put(h, 0, 4);  // time and date
  Put(h, m.crc, 4);
  Put(h, 0xFFFFFFFF, 4);
  Put(h, 0xFFFFFFFF, 4);
  Put(h, m.name.size(), 2);
  Put(h, 20, 2);
  return h + m.name + Zip64Extra(kSize, m.compressed);
}

std::string CentralHeader(const Member& m) {
  std::string h;
  Put(h, 0x02014B50, 4);
  Put(h, 0x032D, 2);  // Unix, 4.5
  Put(h, 45, 2);
  Put(h, 0, 2);
  Put(h, m.method, 2);
  Put(h, 0, 4);
  Put(h, m.crc, 4);
  Put(h, 0xFFFFFFFF, 4);
  Put(h, 0xFFFFFFFF, 4);
  Put(h, m.name.size(), 2);
  Put(h, 28, 2);
  Put(h, 0, 2);  // comment
  Put(h, 0, 2);  // disk
  Put(h, 0, 2);
  Put(h, uint64_t{0100644} << 16, 4);
  Put(h, 0xFFFFFFFF, 4);
  return h + m.name + Zip64Extra(kSize, m.compressed, &m.offset);
}

std::string EndRecords(uint64_t directoryOffset, uint64_t directorySize, uint64_t count) {
  std::string r;
  Put(r, 0x06064B50, 4);
  Put(r, 44, 8);
  Put(r, 0x032D, 2);
  Put(r, 45, 2);
  Put(r, 0, 4);
  Put(r, 0, 4);
  Put(r, count, 8);
  Put(r, count, 8);
  Put(r, directorySize, 8);
  Put(r, directoryOffset, 8);
  Put(r, 0x07064B50, 4);
  Put(r, 0, 4);
  Put(r, directoryOffset + directorySize, 8);
  Put(r, 1, 4);
  Put(r, 0x06054B50, 4);
  Put(r, 0, 4);
  Put(r, 0xFFFF, 2);
  Put(r, 0xFFFF, 2);
  Put(r, 0xFFFFFFFF, 4);
  Put(r, 0xFFFFFFFF, 4);
  Put(r, 0, 2);
  return r;
}

uint32_t CrcOfZeros() {
  const std::vector<uint8_t> zeros(kChunk, 0);
  uLong crc = crc32(0, nullptr, 0);
  for (uint64_t done = 0; done < kSize;) {
    const auto n = static_cast<uInt>(std::min<uint64_t>(kChunk, kSize - done));
    crc = crc32(crc, zeros.data(), n);
    done += n;
  }
  return static_cast<uint32_t>(crc);
}

// Deflates kSize zeros onto out; returns the compressed size.
uint64_t DeflateZeros(std::ofstream& out) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> zeros(kChunk, 0), packed(kChunk);
  uint64_t fed = 0, written = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (z.avail_in == 0 && fed < kSize) {
      z.next_in = zeros.data();
      z.avail_in = static_cast<uInt>(std::min<uint64_t>(kChunk, kSize - fed));
      fed += z.avail_in;
    }
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    status = deflate(&z, fed == kSize ? Z_FINISH : Z_NO_FLUSH);
    const size_t n = packed.size() - z.avail_out;
    out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(n));
    written += n;
  }
  deflateEnd(&z);
  return written;
}

void WriteArchive(const std::string& path, uint32_t crc) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<Member> members{{"zeros.bin", 0, crc, kSize, 0}, {"zeros.deflated", 8, crc, 0, 0}};
  // The stored member: its data a hole the file system keeps no blocks for.
  out << LocalHeader(members[0]);
  out.seekp(static_cast<std::streamoff>(kSize), std::ios::cur);
  // The deflated one: its header again once its compressed size is known.
  members[1].offset = static_cast<uint64_t>(out.tellp());
  out << LocalHeader(members[1]);
  members[1].compressed = DeflateZeros(out);
  const auto directoryOffset = static_cast<uint64_t>(out.tellp());
  out.seekp(static_cast<std::streamoff>(members[1].offset));
  out << LocalHeader(members[1]);
  out.seekp(static_cast<std::streamoff>(directoryOffset));
  std::string directory;
  for (const Member& m : members) directory += CentralHeader(m);
  out << directory << EndRecords(directoryOffset, directory.size(), members.size());
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "bench_large_member: wrong: %s\n", what);
  return ok;
}

// Info-ZIP's own ZIP64 archive of a sparse file of kSize zeros.
void MakeWithInfoZip(const std::filesystem::path& folder, const std::string& archiveName) {
  const std::filesystem::path input = folder / "zeros.bin";
  std::ofstream(input, std::ios::binary | std::ios::trunc).close();
  std::filesystem::resize_file(input, kSize);
  const std::string command =
      "cd '" + folder.string() + "' && zip -q -fz -1 " + archiveName + " zeros.bin";
  const int status = std::system(command.c_str());
  std::filesystem::remove(input);
  if (status != 0)
    throw std::runtime_error("zip -fz failed (status " + std::to_string(status) +
                             "); it comes from the Debian package zip");
}

// Tests the entry (sink null) or extracts it into sink, timing it; false
// when the CRC or the size is wrong.
bool Decode(zip::Reader& reader, const zip::Entry& entry, zip::CountingSink* sink,
            const char* label) {
  const char* how = sink != nullptr ? "extract" : "test";
  const auto start = std::chrono::steady_clock::now();
  try {
    if (sink != nullptr) {
      reader.Extract(entry, *sink);
    } else {
      reader.Test(entry);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_large_member: %s %s %s: %s\n", label, how, entry.Name().c_str(),
                 e.what());
    return false;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("large member %-8s %-9s %-15s %s %llu bytes at offset %llu: %.2f s, %.0f MB/s\n",
              label, how, entry.Name().c_str(), entry.Method() == 0 ? "stored  " : "deflated",
              static_cast<unsigned long long>(kSize),
              static_cast<unsigned long long>(entry.LocalHeaderOffset()), seconds,
              static_cast<double>(kSize) / 1e6 / seconds);
  return true;
}

// Opens the archive, then tests each entry and extracts it (every byte
// counted).
bool ReadArchive(const std::string& path, const char* label, size_t members, uint32_t crc) {
  const zip::Archive archive = zip::Archive::Open(zip::OpenFile(path));
  bool ok = Check(archive.IsZip64() && archive.Count() == members,
                  "a ZIP64 catalogue of the members written");
  zip::Reader reader(archive);
  for (const zip::Entry& entry : archive.Entries()) {
    if (!ok) break;
    ok &= Check(entry.Size() == kSize && entry.Crc32() == crc, "64-bit size and CRC");
    ok &= Check(!archive.Overlaps(entry) && !entry.ExtraFieldDamaged(), "sound span and extra");
    ok &= Decode(reader, entry, nullptr, label);
    zip::CountingSink sink;
    ok &= Decode(reader, entry, &sink, label);
    ok &= Check(sink.Count() == kSize, "bytes extracted");
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path scratch = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
  const fs::path folder = scratch / ("bench_large_member." + std::to_string(getpid()));
  // The deflated members take about 5 and 19 MB, the sparse ones almost
  // nothing; a file system without holes needs 4 GB more.
  if (fs::space(scratch).available < (64u << 20)) {
    std::printf("bench_large_member: skipped: less than 64 MB free in %s\n", scratch.c_str());
    return 0;
  }
  fs::create_directories(folder);
  bool ok = true;
  try {
    const uint32_t crc = CrcOfZeros();
    MakeWithInfoZip(folder, "infozip.zip");
    ok &= ReadArchive((folder / "infozip.zip").string(), "zip -fz", 1, crc);
    fs::remove(folder / "infozip.zip");
    WriteArchive((folder / "written.zip").string(), crc);
    ok &= ReadArchive((folder / "written.zip").string(), "written", 2, crc);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_large_member: %s\n", e.what());
    ok = false;
  }
  fs::remove_all(folder);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("large member: peak resident memory %ld MB\n", usage.ru_maxrss / 1024);
  return ok ? 0 : 1;
}
