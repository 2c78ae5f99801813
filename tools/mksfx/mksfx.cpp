// mksfx INSTALLER OUTPUT FILE...: the build-time packer. Writes INSTALLER
// followed by a ZIP archive of the files (raw Deflate from zlib), with every
// offset counted from the start of OUTPUT, so that the installer can open its
// own executable as the archive. OUTPUT appears whole or not at all.
#include <sys/stat.h>
#include <zlib.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
  std::string name;
  uint16_t dosTime = 0, dosDate = 0;
  uint32_t crc = 0, packedSize = 0, size = 0, offset = 0;
};

void Put16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return data;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's modification time as a DOS date and time (local time, two-second
// steps, clamped to the years the format can hold).
void DosTimeOf(const std::string& path, Member& member) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw std::runtime_error(path + " is not a file");
  std::tm local{};
  const std::time_t seconds = st.st_mtime;
  if (::localtime_r(&seconds, &local) == nullptr) throw std::runtime_error("bad time on " + path);
  int year = local.tm_year + 1900;
  if (year < 1980) {
    local = std::tm{};
    local.tm_mday = 1;
    year = 1980;
  } else if (year > 2107) {
    local = std::tm{};
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 58;
    year = 2107;
  }
  member.dosDate =
      static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  member.dosTime =
      static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

Bytes Deflate(const Bytes& data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib: deflateInit2 failed");
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
  return out;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

uint32_t CheckedSize(uint64_t size, const std::string& what) {
  if (size > 0xFFFFFFFEu) throw std::runtime_error(what + " is too large for a ZIP without ZIP64");
  return static_cast<uint32_t>(size);
}

void Pack(const std::string& installer, const std::string& output,
          const std::vector<std::string>& files) {
  Bytes image = ReadFile(installer);
  std::vector<Member> members;
  for (const std::string& path : files) {
    Member member;
    member.name = BaseName(path);
    if (member.name.empty()) throw std::runtime_error("no file name in " + path);
    for (unsigned char c : member.name) {
      // Stored names are in the OEM code page; keep to what every page shares.
      if (c < 0x20 || c >= 0x7F)
        throw std::runtime_error("file name " + member.name + " is not plain ASCII");
    }
    for (const Member& other : members) {
      if (SameNameIgnoringCase(other.name, member.name))
        throw std::runtime_error("two files are named " + member.name);
    }
    if (members.size() == 0xFFFF) throw std::runtime_error("too many files");
    DosTimeOf(path, member);
    const Bytes data = ReadFile(path);
    member.size = CheckedSize(data.size(), path);
    member.crc = static_cast<uint32_t>(
        crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
    const Bytes packed = Deflate(data);
    member.packedSize = CheckedSize(packed.size(), path);
    member.offset = CheckedSize(image.size(), output);
    Put32(image, 0x04034B50);
    Put16(image, 20);  // version needed: Deflate
    Put16(image, 0);   // flags
    Put16(image, 8);   // Deflate
    Put16(image, member.dosTime);
    Put16(image, member.dosDate);
    Put32(image, member.crc);
    Put32(image, member.packedSize);
    Put32(image, member.size);
    Put16(image, static_cast<uint32_t>(member.name.size()));
    Put16(image, 0);
    image.insert(image.end(), member.name.begin(), member.name.end());
    image.insert(image.end(), packed.begin(), packed.end());
    members.push_back(member);
  }
  const uint32_t directoryOffset = CheckedSize(image.size(), output);
  for (const Member& member : members) {
    Put32(image, 0x02014B50);
    Put16(image, 20);  // made by MS-DOS (high byte 0), format 2.0
    Put16(image, 20);
    Put16(image, 0);
    Put16(image, 8);
    Put16(image, member.dosTime);
    Put16(image, member.dosDate);
    Put32(image, member.crc);
    Put32(image, member.packedSize);
    Put32(image, member.size);
    Put16(image, static_cast<uint32_t>(member.name.size()));
    Put16(image, 0);     // extra field
    Put16(image, 0);     // comment
    Put16(image, 0);     // disk
    Put16(image, 0);     // internal attributes
    Put32(image, 0x20);  // MS-DOS archive bit
    Put32(image, member.offset);
    image.insert(image.end(), member.name.begin(), member.name.end());
  }
  const uint32_t directorySize = CheckedSize(image.size() - directoryOffset, output);
  Put32(image, 0x06054B50);
  Put16(image, 0);
  Put16(image, 0);
  Put16(image, static_cast<uint32_t>(members.size()));
  Put16(image, static_cast<uint32_t>(members.size()));
  Put32(image, directorySize);
  Put32(image, directoryOffset);
  Put16(image, 0);
  CheckedSize(image.size(), output);

  const std::string temporary = output + ".mksfx-tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      throw std::runtime_error("cannot write " + output);
    }
  }
  struct stat st {};
  if (::stat(installer.c_str(), &st) == 0) ::chmod(temporary.c_str(), st.st_mode & 07777);
  if (std::rename(temporary.c_str(), output.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot write " + output + ": " + reason);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mksfx INSTALLER OUTPUT FILE...\n");
    return 2;
  }
  try {
    Pack(argv[1], argv[2], std::vector<std::string>(argv + 3, argv + argc));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mksfx: %s\n", error.what());
    return 1;
  }
  return 0;
}
