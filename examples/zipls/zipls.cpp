// zipls ARCHIVE         lists the entries: size, CRC-32 and name
// zipls ARCHIVE NAME    writes the entry's bytes to standard output
// A small program on the reading library, as another project would use it.
#include <cstdio>
#include <iostream>

#include "zip/Archive.h"

namespace {

class StandardOutput final : public zip::Sink {
 public:
  void Write(const uint8_t* bytes, size_t count) override {
    if (std::fwrite(bytes, 1, count, stdout) != count) throw std::runtime_error("write failed");
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: zipls ARCHIVE [NAME]\n";
    return 2;
  }
  try {
    const zip::Archive archive = zip::Archive::Open(zip::OpenFile(argv[1]));
    for (const zip::Entry& entry : archive.Entries()) {
      if (argc == 2) {
        std::printf("%10llu  %08x  %s\n", static_cast<unsigned long long>(entry.Size()),
                    entry.Crc32(), entry.Name().c_str());
      } else if (entry.Name() == argv[2]) {
        StandardOutput out;
        archive.Extract(entry, out);
        return 0;
      }
    }
    if (argc == 3) {
      std::cerr << "zipls: no entry " << argv[2] << '\n';
      return 1;
    }
    return 0;
  } catch (const zip::Error& error) {
    std::cerr << "zipls: " << error.what() << '\n';
    return 1;
  }
}
