#pragma once
// The one stream interface of the system. A stream has a fixed direction: the same call reads from
// an input stream or writes to an output stream, so one exchange routine per record both parses
// and produces it. On top of byte transfers a bit cursor reads and writes fields most significant
// bit first.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class BitStream {
 public:
  virtual ~BitStream() = default;
  virtual bool IsReading() const = 0;
  virtual bool AtEnd() const = 0;
  virtual int64_t GetPosition() const = 0;
  // Absolute byte position; fails without moving outside 0 to the size.
  virtual bool Seek(int64_t position) = 0;
  // -1 when unknown.
  virtual int64_t GetSize() const = 0;
  // Reads or writes up to count bytes; returns the number moved, or -1 (null buffer, count < 1, or
  // a failed system call). Ignores the bit cursor.
  virtual int32_t Transfer(void* buffer, int32_t count) = 0;
  // Whether multi-byte numbers move least significant byte first.
  virtual bool IsLittleEndian() const { return true; }

  // Reads or writes the low `bits` bits of value (1 to 32), most significant first.
  bool TransferBits(uint32_t& value, int bits);
  // Ends the partial byte: written out on output, dropped on input.
  bool AlignToByte();
  // True only when exactly count bytes moved (a count of 0 moves nothing and succeeds). Ignores
  // the bit cursor, like Transfer.
  bool TransferExactly(void* buffer, int32_t count);
  bool IsAligned() const { return bitPosition_ == 8; }

 protected:
  BitStream() = default;

 private:
  uint8_t partialByte_ = 0;
  int32_t bitPosition_ = 8;  // bits of the partial byte used; 8 means on a byte boundary
};

class DataStream : public BitStream {
 public:
  bool IsLittleEndian() const override { return littleEndian_; }

  int32_t TransferBytes(void* buffer, int32_t count) { return Transfer(buffer, count); }
  // Appends everything that remains in an input stream to this output stream.
  bool CopyFrom(BitStream& source);

 protected:
  explicit DataStream(bool littleEndian = true) : littleEndian_(littleEndian) {}

 private:
  bool littleEndian_;
};

// What an open failure does: show "Failed to open file %s" at once, or nothing, for callers on a
// streaming thread or under a lock, where a modal box would hold everything up until a click.
enum class OpenFailure { kShow, kQuiet };

// A Win32 file with 64-bit positions and no buffer of its own. Writing creates or empties the
// file.
class FileStream : public DataStream {
 public:
  FileStream(const wchar_t* path, bool reading, bool littleEndian = true, OpenFailure failure = OpenFailure::kShow);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  bool IsReading() const override { return reading_; }
  bool AtEnd() const override { return position_ == size_; }
  int64_t GetPosition() const override { return position_; }
  bool Seek(int64_t position) override;
  int64_t GetSize() const override { return size_; }
  int32_t Transfer(void* buffer, int32_t count) override;

 private:
  bool reading_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// Caller memory, which must outlive the stream. An output BufferStream never grows: what does not
// fit is not written, and the short count is the only sign.
class BufferStream : public DataStream {
 public:
  BufferStream(bool reading, void* memory, size_t length);
  // An input stream over constant memory.
  BufferStream(const void* memory, size_t length);

  bool IsReading() const override { return reading_; }
  bool AtEnd() const override { return cursor_ == end_; }
  int64_t GetPosition() const override { return cursor_ - begin_; }
  bool Seek(int64_t position) override;
  int64_t GetSize() const override { return end_ - begin_; }
  int32_t Transfer(void* buffer, int32_t count) override;

 private:
  bool reading_;
  uint8_t* begin_;
  uint8_t* end_;
  uint8_t* cursor_;
};

// A growing memory buffer, output only. Its size is the largest position ever written; a seek
// back overwrites. Writes past 2 GiB fail.
class MemOut : public DataStream {
 public:
  MemOut();

  // Null while nothing was written.
  const uint8_t* GetData() const { return highWater_ ? buffer_.data() : nullptr; }
  int32_t GetDataSize() const { return highWater_; }
  // Hands the written bytes to the caller without copying; the stream is then empty.
  void TakeBuffer(std::vector<uint8_t>& out);

  bool IsReading() const override { return false; }
  bool AtEnd() const override { return false; }
  int64_t GetPosition() const override { return position_; }
  bool Seek(int64_t position) override;
  int64_t GetSize() const override { return highWater_; }
  int32_t Transfer(void* buffer, int32_t count) override;

 private:
  std::vector<uint8_t> buffer_;
  int32_t position_ = 0;
  int32_t highWater_ = 0;
};

// Bits that hold an unsigned value (1 to 32), and a signed value with its sign bit.
int BitsForUnsigned(uint32_t value);
int BitsForSigned(int32_t value);
// The low n bits set, n = 1 to 32.
uint32_t LowBitMask(int bits);
