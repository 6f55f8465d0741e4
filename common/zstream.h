#pragma once
// zlib behind the system's conventions: one-shot compression of a whole buffer into another, and an
// input stream that inflates a zlib stream read from another stream. zlib-wrapped format, window
// bits 15. A wrapper whose initialisation failed fails every call.

#include <cstdint>
#include <vector>

#include "common/stream.h"

struct z_stream_s;

class ZlibDeflater {
 public:
  explicit ZlibDeflater(int level);
  ~ZlibDeflater();
  ZlibDeflater(const ZlibDeflater&) = delete;
  ZlibDeflater& operator=(const ZlibDeflater&) = delete;

  // The compressed length, or -1 (a destination too small included); the object is ready for the
  // next buffer either way.
  int32_t Compress(const void* source, int32_t sourceLength, void* destination, int32_t capacity);

 private:
  z_stream_s* stream_;
  bool ready_ = false;
};

class ZlibInflater {
 public:
  ZlibInflater();
  ~ZlibInflater();
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // The decompressed length, or -1 for damaged data or a destination too small.
  int32_t Decompress(const void* source, int32_t sourceLength, void* destination, int32_t capacity);

 private:
  z_stream_s* stream_;
  bool ready_ = false;
};

// Inflates from a source stream, which must outlive this one and which nothing else may read
// meanwhile (up to 16 KiB of it are read ahead). Any failure of the source or of zlib is final.
class ZlibIStream : public DataStream {
 public:
  explicit ZlibIStream(BitStream& source);
  ~ZlibIStream() override;
  ZlibIStream(const ZlibIStream&) = delete;
  ZlibIStream& operator=(const ZlibIStream&) = delete;

  bool IsReading() const override { return true; }
  bool AtEnd() const override;
  int64_t GetPosition() const override { return position_; }
  // Forward only: skips inflated bytes. A target behind the position fails.
  bool Seek(int64_t position) override;
  int64_t GetSize() const override { return -1; }
  // Reading at the end is an error (-1), not 0.
  int32_t Transfer(void* buffer, int32_t count) override;

  // Fills the output buffer with the next inflated bytes.
  bool Refill();

 private:
  static constexpr int32_t kInputChunk = 0x4000;
  static constexpr int32_t kOutputChunk = 0x10000;

  BitStream& source_;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> output_;
  int32_t readOffset_ = 0;
  z_stream_s* stream_ = nullptr;
  bool finished_ = false;
  int64_t position_ = 0;
  bool usable_ = false;
};
