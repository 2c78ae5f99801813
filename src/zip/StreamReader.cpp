// Reading in order through a window: the decoders seek as they would in a
// file (to a member's local header, back to where a Deflate stream really
// ended after they read ahead), and the window keeps enough of what was
// read behind its position for every such step back.
#include "zip/StreamReader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "os/fs.h"
#include "zip/ReadSupport.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"
#include "zip/engine/AbZipRecords.h"

namespace zip {

namespace {

constexpr uint16_t kDescriptorFlag = 0x0008;

class HandleInput final : public Input {
 public:
  HandleInput(os::FileHandle handle, bool owned) : handle_(handle), owned_(owned) {}
  ~HandleInput() override {
    if (owned_) os::CloseFile(handle_);
  }
  HandleInput(const HandleInput&) = delete;
  HandleInput& operator=(const HandleInput&) = delete;
  size_t Read(void* buffer, size_t count) override {
    const int64_t got = os::fs::ReadNext(handle_, buffer, count);
    if (got < 0) throw Error(Failure::kIo, os::fs::LastErrorText());
    return static_cast<size_t>(got);
  }

 private:
  os::FileHandle handle_;
  bool owned_;
};

// The input as a stream that may step back as far as kKept bytes behind the
// furthest byte read, and forward by reading on.
class WindowStream final : public rtl::TStream {
 public:
  // A local header (at most 128 KiB) and the Deflate reader's read-ahead
  // (16 KiB) are all any step back needs.
  static constexpr size_t kCapacity = 1 << 20;
  static constexpr size_t kKept = 256 << 10;

  explicit WindowStream(Input& input) : input_(input), bytes_(kCapacity) {}

  int32_t Read(void* buffer, int32_t count) override {
    int32_t done = 0;
    while (done < count && (position_ < End() || Fill())) {
      const auto n = static_cast<int32_t>(std::min<int64_t>(count - done, End() - position_));
      std::memcpy(static_cast<uint8_t*>(buffer) + done, bytes_.data() + (position_ - base_),
                  static_cast<size_t>(n));
      position_ += n;
      done += n;
    }
    return done;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override {
    int64_t target = -1;
    if (origin == rtl::soBeginning) target = offset;
    if (origin == rtl::soCurrent) target = position_ + offset;
    if (target < base_) return -1;
    while (target > End())
      if (!Fill()) return -1;
    position_ = target;
    return position_;
  }
  // Nothing to say until the input has ended.
  int64_t Size() override { return INT64_MAX; }

  // Up to count bytes from the position, which stays.
  size_t Peek(uint8_t* buffer, size_t count) {
    const int64_t at = position_;
    const int32_t got = Read(buffer, static_cast<int32_t>(count));
    position_ = at;
    return static_cast<size_t>(got);
  }

 private:
  int64_t End() const { return base_ + static_cast<int64_t>(filled_); }
  bool Fill() {
    if (filled_ == bytes_.size()) {
      const int64_t keepFrom = std::max(base_, position_ - static_cast<int64_t>(kKept));
      const auto drop = static_cast<size_t>(keepFrom - base_);
      std::memmove(bytes_.data(), bytes_.data() + drop, filled_ - drop);
      filled_ -= drop;
      base_ = keepFrom;
      if (filled_ == bytes_.size()) return false;
    }
    const size_t got = input_.Read(bytes_.data() + filled_, bytes_.size() - filled_);
    filled_ += got;
    return got > 0;
  }

  Input& input_;
  std::vector<uint8_t> bytes_;
  int64_t base_ = 0;  // where bytes_[0] lies in the input
  size_t filled_ = 0;
  int64_t position_ = 0;
};

uint32_t Load32(const uint8_t* bytes) {
  return static_cast<uint32_t>(ab::LoadLittleEndian(bytes, 4));
}

bool IsRecordSignature(uint32_t signature) {
  return signature == ab::kAbZipLocalFileHeaderSignature ||
         signature == ab::kAbZipCentralDirectorySignature ||
         signature == ab::kAbZipEndCentralDirectorySignature ||
         signature == ab::kAbZip64EndCentralDirectorySignature;
}

// A central header with the local header's fields, so that the local
// header's name, times and ZIP64 sizes are decoded as a directory entry's.
ab::TAbZipDirectoryFileHeader AsDirectoryHeader(const ab::TAbZipLocalFileHeader& local) {
  std::vector<uint8_t> bytes(ab::TAbZipDirectoryFileHeader::kFixedSize);
  auto put = [&bytes](size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put(0, ab::kAbZipCentralDirectorySignature, 4);
  put(6, local.VersionNeededToExtract(), 2);
  put(8, local.GeneralPurposeBitFlag(), 2);
  put(10, local.RawCompressionMethod(), 2);
  put(12, local.LastModFileTime(), 2);
  put(14, local.LastModFileDate(), 2);
  put(16, local.Crc32(), 4);
  put(20, local.CompressedSize(), 4);
  put(24, local.UncompressedSize(), 4);
  put(28, local.FileName().size(), 2);
  put(30, local.ExtraField().size(), 2);
  bytes.insert(bytes.end(), local.FileName().begin(), local.FileName().end());
  bytes.insert(bytes.end(), local.ExtraField().begin(), local.ExtraField().end());
  ab::TAbZipDirectoryFileHeader header;
  header.ParseFrom(bytes.data(), bytes.size());
  return header;
}

// What the directory is checked against.
struct MemberRead {
  std::string rawName;
  uint16_t method;
  uint32_t crc32;
  uint64_t compressedSize;
  uint64_t size;
  uint64_t offset;
};

}  // namespace

std::unique_ptr<Input> StandardInput() {
  return std::make_unique<HandleInput>(os::fs::StandardInput(), false);
}

std::unique_ptr<Input> OpenIfUnseekable(const std::string& path) {
  const os::FileHandle handle = os::fs::OpenRead(path);
  if (!handle.Valid()) return nullptr;
  if (os::fs::CanReadAt(handle)) {
    os::CloseFile(handle);
    return nullptr;
  }
  return std::make_unique<HandleInput>(handle, true);
}

struct StreamReader::State {
  State(Input& input, const OpenOptions& opening) : stream(input), options(opening) {}

  WindowStream stream;
  OpenOptions options;
  std::vector<MemberRead> read;
  std::vector<std::string> contradictions;
  uint64_t leading = 0;
  bool started = false;
  bool finished = false;
  bool shifted = false;
  // Why the members after the current one cannot be found, once they cannot.
  std::string lost;

  Entry current;
  bool haveCurrent = false;
  bool consumed = false;
  bool sizesKnown = true;
  bool descriptor = false;
  bool zip64Local = false;
  uint64_t dataStart = 0;

  const Entry* Next();
  void FindFirstRecord();
  void ReadLocalHeader();
  void Decode(Sink* sink, const ReadOptions& options);
  void PassOver();
  // Moves past the descriptor after data of compressedSize bytes that
  // decoded to size bytes (when known); its CRC-32.
  uint32_t ReadDescriptor(uint64_t compressedSize, std::optional<uint64_t> size);
  void ReadDirectory();
  void Contradict(const std::string& name, const std::string& what) {
    contradictions.push_back(name + ": " + what);
  }
};

void StreamReader::State::FindFirstRecord() {
  // A self-extractor's program comes first; a split writer's mark too.
  uint8_t head[4];
  while (stream.Peek(head, 4) == 4) {
    const uint32_t signature = Load32(head);
    if (IsRecordSignature(signature)) break;
    if (leading == 0 && (signature == ab::kAbZipSpannedSetSignature ||
                         signature == ab::kAbZipPossiblySpannedSignature)) {
      stream.Seek(4, rtl::soCurrent);
      continue;
    }
    stream.Seek(1, rtl::soCurrent);
    ++leading;
  }
}

const Entry* StreamReader::State::Next() {
  if (finished) return nullptr;
  if (!lost.empty()) throw Error(Failure::kDamaged, lost);
  if (haveCurrent && !consumed) PassOver();
  if (haveCurrent)
    read.push_back({current.RawName(), current.Method(), current.Crc32(), current.CompressedSize(),
                    current.Size(), current.LocalHeaderOffset()});
  haveCurrent = false;
  if (!started) {
    started = true;
    FindFirstRecord();
  }
  uint8_t head[4];
  const size_t got = stream.Peek(head, 4);
  const uint32_t signature = got == 4 ? Load32(head) : 0;
  if (signature == ab::kAbZipLocalFileHeaderSignature) {
    Guarded("", [this] { ReadLocalHeader(); });
    return &current;
  }
  if (signature == ab::kAbZipCentralDirectorySignature ||
      signature == ab::kAbZipEndCentralDirectorySignature ||
      signature == ab::kAbZip64EndCentralDirectorySignature) {
    finished = true;
    Guarded("", [this] { ReadDirectory(); });
    return nullptr;
  }
  finished = true;
  throw Error(Failure::kDamaged, got == 0 && read.empty() && leading == 0
                                     ? "the input is empty"
                                 : got < 4 ? "the input ends before the archive's central directory"
                                           : "no member's header where the next member should begin");
}

void StreamReader::State::ReadLocalHeader() {
  const auto offset = static_cast<uint64_t>(stream.Position());
  ab::TAbZipLocalFileHeader local;
  local.ReadFrom(stream);
  dataStart = static_cast<uint64_t>(stream.Position());
  const ab::TAbZipDirectoryFileHeader header = AsDirectoryHeader(local);
  ab::TAbEntryFacts facts;
  ab::DecodeEntryFacts(header, {options.nameCharset, 0, nullptr}, facts);
  EntryBuilder::Build(this, read.size(), header, facts, current, options.nameCase);
  EntryBuilder::SetLocalHeaderOffset(current, offset);
  descriptor = (local.GeneralPurposeBitFlag() & kDescriptorFlag) != 0;
  zip64Local = ab::SplitExtraField(local.ExtraField()).Find(ab::kAbZip64ExtraId).has_value();
  // Writers that can seek back fill the sizes in even with a descriptor.
  sizesKnown = !descriptor || facts.compressedSize != 0;
  haveCurrent = true;
  consumed = false;
}

uint32_t StreamReader::State::ReadDescriptor(uint64_t compressedSize, std::optional<uint64_t> size) {
  uint8_t bytes[28];
  const size_t got = stream.Peek(bytes, sizeof bytes);
  // The signature is optional and the sizes are 8 bytes or 4: the layout
  // that fits what was read and is followed by a record (or the end) wins.
  struct Layout {
    bool signature;
    bool wide;
  };
  const Layout narrowFirst[] = {{true, false}, {false, false}, {true, true}, {false, true}};
  const Layout wideFirst[] = {{true, true}, {false, true}, {true, false}, {false, false}};
  std::optional<size_t> chosen, fitting;
  uint32_t chosenCrc = 0, fittingCrc = 0;
  for (const Layout& layout : zip64Local ? wideFirst : narrowFirst) {
    const size_t length = (layout.signature ? 4 : 0) + 4 + (layout.wide ? 16 : 8);
    if (got < length) continue;
    if (layout.signature && Load32(bytes) != ab::kAbZipDataDescriptorSignature) continue;
    const uint8_t* at = bytes + (layout.signature ? 4 : 0);
    const int width = layout.wide ? 8 : 4;
    const uint64_t compressed = ab::LoadLittleEndian(at + 4, width);
    const uint64_t decoded = ab::LoadLittleEndian(at + 4 + width, width);
    if (compressed != compressedSize || (size && decoded != *size)) continue;
    const bool followed = got == length || (got >= length + 4 && IsRecordSignature(Load32(bytes + length)));
    if (followed && !chosen) {
      chosen = length;
      chosenCrc = Load32(at);
    } else if (!fitting) {
      fitting = length;
      fittingCrc = Load32(at);
    }
  }
  if (!chosen && !fitting)
    throw Error(Failure::kDamaged, "no data descriptor after its data gives the sizes of that data");
  stream.Seek(static_cast<int64_t>(chosen ? *chosen : *fitting), rtl::soCurrent);
  return chosen ? chosenCrc : fittingCrc;
}

void StreamReader::State::Decode(Sink* sink, const ReadOptions& readOptions) {
  if (!haveCurrent || consumed) throw std::logic_error("zip::StreamReader: no member to read");
  consumed = true;
  const std::string& name = current.Name();
  ab::TAbEntryFacts facts = EntryBuilder::FactsOf(current);
  const uint16_t method = current.Method();
  if (!sizesKnown) {
    const bool selfDelimiting = (method == 8 || method == 9) &&
                                current.Encryption() != Encryption::kWinZipAes;
    if (!selfDelimiting) {
      // An empty member's descriptor follows its header at once.
      if (method == 0 && !current.IsEncrypted()) {
        try {
          const uint32_t crc = ReadDescriptor(0, 0);
          if (crc == 0) return EntryBuilder::SetMeasured(current, 0, 0, 0);
        } catch (const Error&) {
        }
      }
      lost = "a member before (" + name + ") could not be read to its end: the members after it cannot be found";
      throw Error(Failure::kUnsupported,
                  std::string("its size is only in the data descriptor after its data, and ") +
                      (method == 0 ? "stored data" : "data of its method") +
                      " does not tell where it ends: it cannot be read from a stream, nor the "
                      "members after it",
                  name);
    }
    facts.compressedSize = static_cast<uint64_t>(INT64_MAX);
    facts.uncompressedSize = UINT64_MAX;
  }
  // A test counts what it decodes: the decoders that only test keep no
  // count of their own to give.
  CountingSink counted;
  if (sink == nullptr) sink = &counted;
  bool placed = false;
  const EntryDecoding decoding{current, facts, nullptr, options.acceptNewerVersions, 1, nullptr};
  try {
    DecodeEntry(decoding, stream, sink, readOptions,
                [&](const ab::TAbDecodedMember& decoded, uint64_t written) {
                  const uint64_t end = sizesKnown ? dataStart + current.CompressedSize()
                                                  : static_cast<uint64_t>(stream.Position());
                  if (stream.Seek(static_cast<int64_t>(end), rtl::soBeginning) < 0)
                    throw ab::EAbZipInvalid();
                  const uint64_t compressed = end - dataStart;
                  uint32_t crc = current.Crc32();
                  if (descriptor) crc = ReadDescriptor(compressed, written);
                  placed = true;
                  EntryBuilder::SetMeasured(current, compressed, written, crc);
                  if (!decoded.CrcMatches(crc)) throw ab::EAbZipBadCRC();
                });
  } catch (...) {
    if (!placed) {
      if (sizesKnown) {
        // Its end is known whatever its data held: the next member follows.
        try {
          stream.Seek(static_cast<int64_t>(dataStart + current.CompressedSize()), rtl::soBeginning);
          if (descriptor) ReadDescriptor(current.CompressedSize(), std::nullopt);
        } catch (const Error&) {
          lost = "the input ends inside " + name;
        }
      } else {
        lost = "a member before (" + name +
               ") could not be read to its end: the members after it cannot be found";
      }
    }
    throw;
  }
}

void StreamReader::State::PassOver() {
  if (!sizesKnown) return Decode(nullptr, {});
  consumed = true;
  const int64_t end = static_cast<int64_t>(dataStart + current.CompressedSize());
  if (stream.Seek(end, rtl::soBeginning) != end) {
    lost = "the input ends inside " + current.Name();
    throw Error(Failure::kDamaged, lost);
  }
  if (descriptor) Guarded(current.Name(), [this] { ReadDescriptor(current.CompressedSize(), std::nullopt); });
}

void StreamReader::State::ReadDirectory() {
  size_t count = 0;
  uint8_t head[4];
  bool anyShifted = false, anyPlain = false;
  while (stream.Peek(head, 4) == 4 && Load32(head) == ab::kAbZipCentralDirectorySignature) {
    ab::TAbZipDirectoryFileHeader header;
    header.ReadFrom(stream);
    const ab::TAbEntryFacts facts = ab::DecodeEntrySizes(header, {options.nameCharset, 0, nullptr});
    const std::string rawName = header.FileName().substr(0, header.FileName().find('\0'));
    if (count >= read.size()) {
      Contradict(rawName, "listed in the central directory, but no member of that name came before it");
      ++count;
      continue;
    }
    const MemberRead& member = read[count++];
    const auto differs = [&](const char* what) {
      Contradict(member.rawName, std::string("its ") + what +
                                     " in the central directory is not the one its member was read with");
    };
    if (rawName != member.rawName) differs("name");
    if (header.RawCompressionMethod() != member.method) differs("method");
    if (header.Crc32() != member.crc32) differs("CRC-32");
    if (facts.compressedSize != member.compressedSize || facts.uncompressedSize != member.size)
      differs("sizes");
    if (facts.localHeaderOffset == member.offset) {
      anyPlain = true;
    } else if (leading != 0 && facts.localHeaderOffset + leading == member.offset) {
      anyShifted = true;
    } else {
      differs("offset");
    }
  }
  shifted = anyShifted && !anyPlain;
  if (count < read.size())
    Contradict("the central directory", std::to_string(count) + " entries, but " +
                                             std::to_string(read.size()) + " members came before it");
  // The ZIP64 records come before the end record; the end record's count is
  // checked where it holds one.
  while (stream.Peek(head, 4) == 4 && (Load32(head) == ab::kAbZip64EndCentralDirectorySignature ||
                                       Load32(head) == ab::kAbZip64EndLocatorSignature)) {
    uint8_t fixed[12];
    stream.Peek(fixed, sizeof fixed);
    const uint64_t length = Load32(head) == ab::kAbZip64EndLocatorSignature
                                ? 20
                                : 12 + ab::LoadLittleEndian(fixed + 4, 8);
    if (stream.Seek(static_cast<int64_t>(length), rtl::soCurrent) < 0) break;
  }
  if (stream.Peek(head, 4) != 4 || Load32(head) != ab::kAbZipEndCentralDirectorySignature) {
    Contradict("the central directory", "no end record follows it");
    return;
  }
  ab::TAbZipDirectoryFileFooter end;
  end.ReadFrom(stream);
  if (end.TotalEntries() != 0xFFFF && end.TotalEntries() != (count & 0xFFFF))
    Contradict("the end record", "it counts " + std::to_string(end.TotalEntries()) +
                                     " entries, the central directory holds " + std::to_string(count));
}

StreamReader::StreamReader(Input& input, const OpenOptions& options)
    : state_(std::make_unique<State>(input, options)) {}
StreamReader::~StreamReader() = default;

const Entry* StreamReader::Next() {
  return state_->Next();
}

void StreamReader::Extract(Sink& sink, const ReadOptions& options) {
  state_->Decode(&sink, options);
}

void StreamReader::Test(const ReadOptions& options) {
  state_->Decode(nullptr, options);
}

uint64_t StreamReader::LeadingBytes() const {
  return state_->leading;
}

const std::vector<std::string>& StreamReader::Contradictions() const {
  return state_->contradictions;
}

bool StreamReader::OffsetsShifted() const {
  return state_->shifted;
}

}  // namespace zip
