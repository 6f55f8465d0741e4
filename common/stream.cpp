#include "common/stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/error.h"

bool BitStream::TransferBits(uint32_t& value, int bits) {
  if (bits < 1 || bits > 32) return false;
  int remaining = bits;
  if (IsReading()) {
    value = 0;
    while (remaining > 0) {
      if (bitPosition_ == 8) {
        if (Transfer(&partialByte_, 1) != 1) return false;
        bitPosition_ = 0;
      }
      const int available = 8 - bitPosition_;
      const int take = std::min(remaining, available);
      const uint32_t piece = (partialByte_ >> (available - take)) & LowBitMask(take);
      value += piece << (remaining - take);
      remaining -= take;
      bitPosition_ += take;
    }
    return true;
  }
  while (remaining > 0) {
    if (bitPosition_ == 8) {
      partialByte_ = 0;
      bitPosition_ = 0;
    }
    const int available = 8 - bitPosition_;
    const int take = std::min(remaining, available);
    const uint32_t piece = (value >> (remaining - take)) & LowBitMask(take);
    partialByte_ = static_cast<uint8_t>(partialByte_ + (piece << (available - take)));
    remaining -= take;
    bitPosition_ += take;
    // A completed byte is never held back.
    if (bitPosition_ == 8 && Transfer(&partialByte_, 1) != 1) return false;
  }
  return true;
}

bool BitStream::AlignToByte() {
  if (bitPosition_ == 8) return true;
  if (!IsReading() && Transfer(&partialByte_, 1) != 1) return false;
  partialByte_ = 0;
  bitPosition_ = 8;
  return true;
}

bool BitStream::TransferExactly(void* buffer, int32_t count) {
  if (count == 0) return true;
  return Transfer(buffer, count) == count;
}

bool DataStream::CopyFrom(BitStream& source) {
  if (!source.IsReading() || IsReading()) return false;
  std::vector<uint8_t> chunk(0x10000);
  for (;;) {
    if (source.AtEnd()) return true;
    const int32_t got = source.Transfer(chunk.data(), static_cast<int32_t>(chunk.size()));
    // Some sources only learn of their end by reading it (an inflater).
    if (got < 1) return got == 0 && source.AtEnd();
    if (!TransferExactly(chunk.data(), got)) return false;
  }
}

FileStream::FileStream(const wchar_t* path, bool reading, bool littleEndian, OpenFailure failure)
    : DataStream(littleEndian), reading_(reading) {
  handle_ = reading ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    if (failure == OpenFailure::kShow) ShowError(L"Failed to open file %s", path ? path : L"");
    return;
  }
  LARGE_INTEGER size;
  if (GetFileSizeEx(handle_, &size)) size_ = size.QuadPart;
}

FileStream::~FileStream() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool FileStream::Seek(int64_t position) {
  if (position < 0 || position > size_) return false;
  LARGE_INTEGER target;
  target.QuadPart = position;
  if (SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN)) {
    position_ = position;
    return true;
  }
  // Keep the position the system actually has.
  LARGE_INTEGER zero = {}, current = {};
  position_ = SetFilePointerEx(handle_, zero, &current, FILE_CURRENT) ? current.QuadPart : 0;
  return false;
}

int32_t FileStream::Transfer(void* buffer, int32_t count) {
  if (!buffer || count <= 0) return -1;
  DWORD done = 0;
  if (reading_) {
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
    position_ += done;
  } else {
    if (!WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
    position_ += done;
    size_ = std::max(size_, position_);
  }
  return static_cast<int32_t>(done);
}

BufferStream::BufferStream(bool reading, void* memory, size_t length)
    : reading_(reading),
      begin_(static_cast<uint8_t*>(memory)),
      end_(begin_ ? begin_ + length : begin_),
      cursor_(begin_) {}

BufferStream::BufferStream(const void* memory, size_t length)
    : BufferStream(true, const_cast<void*>(memory), length) {}

bool BufferStream::Seek(int64_t position) {
  if (position < 0 || position > end_ - begin_) return false;
  cursor_ = begin_ + position;
  return true;
}

int32_t BufferStream::Transfer(void* buffer, int32_t count) {
  if (!buffer || count <= 0) return -1;
  const int32_t moved = static_cast<int32_t>(std::min<int64_t>(count, end_ - cursor_));
  if (moved > 0) {
    if (reading_) {
      memcpy(buffer, cursor_, static_cast<size_t>(moved));
    } else {
      memcpy(cursor_, buffer, static_cast<size_t>(moved));
    }
    cursor_ += moved;
  }
  return moved;
}

MemOut::MemOut() { buffer_.reserve(256); }

void MemOut::TakeBuffer(std::vector<uint8_t>& out) {
  buffer_.swap(out);
  buffer_.clear();
  position_ = 0;
  highWater_ = 0;
}

bool MemOut::Seek(int64_t position) {
  if (position < 0 || position > highWater_) return false;
  position_ = static_cast<int32_t>(position);
  return true;
}

int32_t MemOut::Transfer(void* buffer, int32_t count) {
  if (!buffer || count <= 0) return -1;
  const int64_t needed = static_cast<int64_t>(position_) + count;
  if (needed > INT32_MAX) return -1;
  // Bytes up to the high water are overwritten, the rest appended: no zero-fill of space that is
  // written next, and a buffer taken back by TakeBuffer keeps its capacity.
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const size_t overwritten = std::min(buffer_.size() - static_cast<size_t>(position_), static_cast<size_t>(count));
  memcpy(buffer_.data() + position_, bytes, overwritten);
  buffer_.insert(buffer_.end(), bytes + overwritten, bytes + count);
  position_ = static_cast<int32_t>(needed);
  highWater_ = std::max(highWater_, position_);
  return count;
}

int BitsForUnsigned(uint32_t value) {
  int low = 0;
  int high = 32;
  while (high != low + 1) {
    const int middle = (low + high) / 2;
    if (value & (0xFFFFFFFFu << middle)) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return high;
}

int BitsForSigned(int32_t value) {
  return BitsForUnsigned(static_cast<uint32_t>(value < 0 ? ~value : value)) + 1;
}

uint32_t LowBitMask(int bits) {
  // Twice (1 << (n - 1)) minus 1, so that 32 bits give all ones without a 32-bit shift.
  return (1u << (bits - 1)) * 2u - 1u;
}
