#pragma once
// Helpers shared by the SWF record tests: written bytes as a vector, dumps as a string, and input
// streams with the byte-order flag clear or with no known size.

#include <cstdint>
#include <string>
#include <vector>

#include "common/stream.h"
#include "common/zstream.h"
#include "common/text.h"
#include "tests/support/capture.h"

inline std::vector<uint8_t> Written(const MemOut& out) {
  return std::vector<uint8_t>(out.GetData(), out.GetData() + out.GetDataSize());
}

// Writes the record into a fresh MemOut and returns the bytes, or {0xEE} when the exchange failed.
template <class Record>
std::vector<uint8_t> WriteBytes(Record& record) {
  MemOut out;
  if (!record.Exchange(out) || !out.AlignToByte()) return {0xEE};
  return Written(out);
}

// True when writing the record fails and leaves nothing behind, not even a pending partial byte.
template <class Record>
bool RefusedCleanly(Record& record) {
  MemOut out;
  return !record.Exchange(out) && out.AlignToByte() && out.GetDataSize() == 0;
}

template <class Record>
std::wstring DumpText(const Record& record) {
  CapturingTextHandler* handler = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(handler)};
  record.Dump(stream);
  return handler->Text();
}

// One complete zlib stream at level 6, as the lossless writer makes them.
inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> packed(data.size() * 2 + 128);
  const int32_t length = ZlibDeflater(6).Compress(data.data(), static_cast<int32_t>(data.size()), packed.data(),
                                                  static_cast<int32_t>(packed.size()));
  packed.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return packed;
}

// Forwards to another stream (not owned) and answers two questions differently: the byte order, and
// (when unsized) the size, as a pipe or an inflater would.
class ForwardingStream : public DataStream {
 public:
  ForwardingStream(BitStream& inner, bool littleEndian, bool sized)
      : DataStream(littleEndian), inner_(inner), sized_(sized) {}

  bool IsReading() const override { return inner_.IsReading(); }
  bool AtEnd() const override { return inner_.AtEnd(); }
  int64_t GetPosition() const override { return inner_.GetPosition(); }
  bool Seek(int64_t position) override { return inner_.Seek(position); }
  int64_t GetSize() const override { return sized_ ? inner_.GetSize() : -1; }
  int32_t Transfer(void* buffer, int32_t count) override { return inner_.Transfer(buffer, count); }

 private:
  BitStream& inner_;
  bool sized_;
};
