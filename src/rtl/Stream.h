// The runtime's streams: the abstract TStream with its exact-count helpers, a
// file stream on the operating-system layer and a growable memory stream.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "os/os.h"

namespace rtl {

class TMemoryStream;

// Seek origins, as the stream interface numbers them.
enum SeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position; returns the new position (or -1 when refused).
  virtual int64_t Seek(int64_t offset, int origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
  virtual int64_t Size();

  // Exactly count bytes, or EReadError / EWriteError.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes (all that remain when count is 0) from source.
  int64_t CopyFrom(TStream& source, int64_t count);

  // How a decoder asks for memory instead of copying through Read and Write.
  // A stream offers its bytes here only when they are exactly what Read and
  // Write would see: a class that reads or writes otherwise overrides these
  // to offer nothing.
  // The bytes from the position to the end, where they lie in one block.
  virtual std::span<const uint8_t> BytesInPlace() { return {}; }
  // A stream that keeps its bytes in one growable block, positioned at its
  // end, where a decoder may grow it and write its output directly, setting
  // size and position when it is done.
  virtual TMemoryStream* AppendInPlace() { return nullptr; }
};

// Open modes of TFileStream.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

class TFileStream : public TStream {
 public:
  // fmCreate creates (or truncates) the file: EFCreateError on failure. Any
  // other mode opens an existing file: EFOpenError on failure.
  TFileStream(const std::string& fileName, uint16_t mode);
  // Takes over a file the caller has opened (and closes it); fileName only
  // names it.
  TFileStream(os::FileHandle handle, std::string fileName)
      : fileName_(std::move(fileName)), handle_(handle) {}
  ~TFileStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;

  const std::string& FileName() const { return fileName_; }
  os::FileHandle Handle() const { return handle_; }

 private:
  std::string fileName_;
  os::FileHandle handle_;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  std::span<const uint8_t> BytesInPlace() override;
  TMemoryStream* AppendInPlace() override { return position_ == Size() ? this : nullptr; }

  void SetSize(int64_t size);
  void Clear();
  uint8_t* Memory() { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t>& Bytes() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace rtl
