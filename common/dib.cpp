#include "common/dib.h"

#include <climits>
#include <cstdlib>

namespace {

constexpr size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);

bool IsDibBitCount(int bitCount) {
  switch (bitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

}  // namespace

BITMAPINFOHEADER MakeDibHeader(int32_t width, int32_t height, int bitCount, DWORD compression, DWORD imageSize) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bitCount);
  header.biCompression = compression;
  header.biSizeImage = imageSize;
  return header;
}

int64_t StrideOf(const BITMAPINFOHEADER& header) {
  if (header.biWidth < 1 || header.biBitCount < 1) return 0;
  return (int64_t{header.biBitCount} * header.biWidth + 31) / 32 * 4;
}

int64_t ImageSizeOf(const BITMAPINFOHEADER& header) { return std::llabs(int64_t{header.biHeight}) * StrideOf(header); }

const BITMAPINFOHEADER* HeaderOf(const std::vector<uint8_t>& bytes) {
  return bytes.size() < kHeaderBytes ? nullptr : reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data());
}

DibBuffer::DibBuffer(const DibBuffer& other) {
  if (other.bytes_.size() >= kHeaderBytes) bytes_ = other.bytes_;
}

BITMAPINFOHEADER* DibBuffer::GetHeader() {
  return bytes_.size() < kHeaderBytes ? nullptr : reinterpret_cast<BITMAPINFOHEADER*>(bytes_.data());
}

const BITMAPINFOHEADER* DibBuffer::GetHeader() const { return HeaderOf(bytes_); }

BITMAPINFOHEADER* DibBuffer::Allocate(size_t bytes) {
  if (bytes < kHeaderBytes) return nullptr;
  bytes_.resize(bytes);
  return GetHeader();
}

BITMAPINFOHEADER* DibBuffer::Create(int32_t width, int32_t height, int bitCount, DWORD compression,
                                    DWORD imageSize) {
  bytes_.clear();
  if (width < 1 || height == 0 || !IsDibBitCount(bitCount)) return nullptr;
  BITMAPINFOHEADER header = MakeDibHeader(width, height, bitCount, compression, imageSize);
  const int64_t colours = bitCount <= 8 ? int64_t{1} << bitCount : 0;
  const int64_t pixelBytes = ImageSizeOf(header);
  const int64_t total = static_cast<int64_t>(kHeaderBytes) + 4 * colours + pixelBytes;
  if (total > INT32_MAX) return nullptr;
  if (compression == BI_RGB) header.biSizeImage = static_cast<DWORD>(pixelBytes);
  bytes_.assign(static_cast<size_t>(total), 0);
  *GetHeader() = header;
  return GetHeader();
}

int64_t DibBuffer::GetImageSize() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? ImageSizeOf(*header) : 0;
}

DWORD DibBuffer::GetSizeImage() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? header->biSizeImage : 0;
}

bool DibBuffer::SetSizeImage(DWORD size) {
  BITMAPINFOHEADER* header = GetHeader();
  if (!header) return false;
  header->biSizeImage = size;
  return true;
}

int32_t DibBuffer::GetWidth() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? header->biWidth : 0;
}

int32_t DibBuffer::GetHeight() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? header->biHeight : 0;
}

int DibBuffer::GetBitCount() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? header->biBitCount : 0;
}

DWORD DibBuffer::GetCompression() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? header->biCompression : 0;
}

int64_t DibBuffer::GetStride() const {
  const BITMAPINFOHEADER* header = GetHeader();
  return header ? StrideOf(*header) : 0;
}

int64_t DibBuffer::GetSignedStride() const { return GetHeight() <= 0 ? GetStride() : -GetStride(); }

uint8_t* DibBuffer::GetTopRow(uint8_t* bits) const {
  const int32_t height = GetHeight();
  if (!bits || height <= 0) return bits;
  return bits + GetStride() * (int64_t{height} - 1);
}

void FrameData::Set(const std::vector<uint8_t>& bytes) {
  // A frame's size is a signed 32-bit count: a larger vector cannot be described.
  const bool describable = !bytes.empty() && bytes.size() <= INT32_MAX;
  data = describable ? bytes.data() : nullptr;
  size = describable ? static_cast<int32_t>(bytes.size()) : 0;
}
