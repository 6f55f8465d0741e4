#include "common/zstream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// One whole buffer through deflate or inflate with Z_FINISH, then a reset so the same stream serves
// the next buffer.
int32_t OneShot(z_stream* stream, int (*step)(z_stream*, int), int (*reset)(z_stream*), const void* source,
                int32_t sourceLength, void* destination, int32_t capacity) {
  if (!source || !destination || sourceLength <= 0 || capacity <= 0) return -1;
  stream->next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream->avail_in = static_cast<uInt>(sourceLength);
  stream->next_out = static_cast<Bytef*>(destination);
  stream->avail_out = static_cast<uInt>(capacity);
  const int result = step(stream, Z_FINISH);
  const uLong produced = stream->total_out;
  reset(stream);
  return result == Z_STREAM_END ? static_cast<int32_t>(produced) : -1;
}

}  // namespace

ZlibDeflater::ZlibDeflater(int level) : stream_(new z_stream()) {
  ready_ = deflateInit(stream_, level) == Z_OK;
}

ZlibDeflater::~ZlibDeflater() {
  if (ready_) deflateEnd(stream_);
  delete stream_;
}

int32_t ZlibDeflater::Compress(const void* source, int32_t sourceLength, void* destination, int32_t capacity) {
  if (!ready_) return -1;
  return OneShot(stream_, deflate, deflateReset, source, sourceLength, destination, capacity);
}

ZlibInflater::ZlibInflater() : stream_(new z_stream()) {
  ready_ = inflateInit(stream_) == Z_OK;
}

ZlibInflater::~ZlibInflater() {
  if (ready_) inflateEnd(stream_);
  delete stream_;
}

int32_t ZlibInflater::Decompress(const void* source, int32_t sourceLength, void* destination, int32_t capacity) {
  if (!ready_) return -1;
  return OneShot(stream_, inflate, inflateReset, source, sourceLength, destination, capacity);
}

ZlibIStream::ZlibIStream(BitStream& source) : source_(source) {
  if (!source_.IsReading()) return;
  input_.resize(kInputChunk);
  stream_ = new z_stream();
  if (inflateInit(stream_) != Z_OK) {
    delete stream_;
    stream_ = nullptr;
    return;
  }
  usable_ = true;
}

ZlibIStream::~ZlibIStream() {
  if (stream_) {
    inflateEnd(stream_);
    delete stream_;
  }
}

bool ZlibIStream::AtEnd() const {
  return finished_ && readOffset_ >= static_cast<int32_t>(output_.size());
}

bool ZlibIStream::Refill() {
  if (!usable_ || finished_) return false;
  output_.resize(kOutputChunk);
  readOffset_ = kOutputChunk;  // nothing readable while the refill runs
  stream_->next_out = output_.data();
  stream_->avail_out = kOutputChunk;
  do {
    if (stream_->avail_in == 0) {
      const int32_t got = source_.Transfer(input_.data(), kInputChunk);
      if (got < 1) return false;
      stream_->next_in = input_.data();
      stream_->avail_in = static_cast<uInt>(got);
    }
    const int result = inflate(stream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      finished_ = true;
      break;
    }
    if (result != Z_OK) return false;
  } while (stream_->avail_out != 0);
  output_.resize(kOutputChunk - stream_->avail_out);
  readOffset_ = 0;
  return true;
}

int32_t ZlibIStream::Transfer(void* buffer, int32_t count) {
  if (!buffer || count < 1 || !usable_) return -1;
  if (AtEnd()) return -1;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int32_t copied = 0;
  while (copied < count) {
    if (readOffset_ >= static_cast<int32_t>(output_.size())) {
      if (finished_) return copied;
      usable_ = Refill();
      if (!usable_) return -1;
      // The end of the stream came with no data.
      if (output_.empty()) return copied;
    }
    const int32_t take = std::min(count - copied, static_cast<int32_t>(output_.size()) - readOffset_);
    memcpy(out + copied, output_.data() + readOffset_, static_cast<size_t>(take));
    readOffset_ += take;
    position_ += take;
    copied += take;
  }
  return count;
}

bool ZlibIStream::Seek(int64_t target) {
  if (target < 0 || !usable_) return false;
  if (target < position_) return false;
  uint8_t discard[256];
  while (position_ < target) {
    const int32_t step = static_cast<int32_t>(std::min<int64_t>(target - position_, sizeof(discard)));
    if (!TransferExactly(discard, step)) return false;
  }
  return true;
}
