#pragma once
// Buffers that end right before a no-access page, so that a read or write past their end faults at
// once instead of going unseen.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    usable_ = (size + page - 1) / page * page;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, usable_ + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_) VirtualProtect(base_ + usable_, page, PAGE_NOACCESS, &old);
    data_ = base_ ? base_ + usable_ - size : nullptr;
  }
  GuardedBuffer(const void* contents, size_t size) : GuardedBuffer(size) {
    if (data_ && size) memcpy(data_, contents, size);
  }
  explicit GuardedBuffer(const std::vector<uint8_t>& contents) : GuardedBuffer(contents.data(), contents.size()) {}
  ~GuardedBuffer() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // New contents, again right before the no-access page; false when they do not fit the pages.
  bool Refill(const uint8_t* contents, size_t size) {
    if (!base_ || size > usable_) return false;
    data_ = base_ + usable_ - size;
    size_ = size;
    if (size) memcpy(data_, contents, size);
    return true;
  }

  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  std::vector<uint8_t> Bytes(size_t count) const { return std::vector<uint8_t>(data_, data_ + count); }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t usable_ = 0;
  size_t size_;
};
