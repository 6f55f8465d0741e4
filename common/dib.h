#pragma once
// A device-independent bitmap packed whole into one byte vector: the BITMAPINFOHEADER, the colour
// table, then the pixels - the layout Video-for-Windows codecs take and give. Sizes are worked out
// in 64 bits; a bitmap whose bytes do not fit in 32 bits is refused.

#include <windows.h>

#include <cstdint>
#include <vector>

class DibBuffer {
 public:
  DibBuffer() = default;
  explicit DibBuffer(size_t bytes) { Allocate(bytes); }
  DibBuffer(int32_t width, int32_t height, int bitCount) { Create(width, height, bitCount, BI_RGB, 0); }
  // Copies only a source that holds a header (40 bytes or more); otherwise stays empty.
  DibBuffer(const DibBuffer& other);
  explicit DibBuffer(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  DibBuffer& operator=(const DibBuffer& other) = default;

  // Fewer than 40 bytes: null and nothing changes; else the vector gets that length.
  BITMAPINFOHEADER* Allocate(size_t bytes);
  // Header, zeroed colour table (2^bits entries at 8 bits or fewer) and zeroed pixels. Null (and an
  // empty vector) for a width below 1, a height of 0, a bit count other than 1, 2, 4, 8, 16, 24, 32,
  // or a bitmap larger than 2 GiB. biSizeImage is the pixel size for BI_RGB, else imageSize.
  BITMAPINFOHEADER* Create(int32_t width, int32_t height, int bitCount, DWORD compression, DWORD imageSize);

  // Null when the vector is shorter than 40 bytes.
  BITMAPINFOHEADER* GetHeader();
  const BITMAPINFOHEADER* GetHeader() const;
  size_t GetSize() const { return bytes_.size(); }
  uint8_t* GetData() { return bytes_.data(); }
  const uint8_t* GetData() const { return bytes_.data(); }
  const std::vector<uint8_t>& GetBytes() const { return bytes_; }

  // abs(height) * stride; 0 without a header.
  int64_t GetImageSize() const;
  DWORD GetSizeImage() const;
  bool SetSizeImage(DWORD size);
  int32_t GetWidth() const;
  int32_t GetHeight() const;
  int GetBitCount() const;
  DWORD GetCompression() const;
  // The row length in bytes, rows padded to 4 bytes; 0 without a header or for a width below 1.
  int64_t GetStride() const;
  // Positive for a top-down image (height 0 or less), negative for a bottom-up one.
  int64_t GetSignedStride() const;
  // The start of the top row of pixels held apart from this buffer.
  uint8_t* GetTopRow(uint8_t* bits) const;

 private:
  std::vector<uint8_t> bytes_;
};

// A 40-byte header with one plane and every field not named here zero.
BITMAPINFOHEADER MakeDibHeader(int32_t width, int32_t height, int bitCount, DWORD compression = BI_RGB,
                               DWORD imageSize = 0);
// Row length in bytes of a header given alone, rows padded to 4 bytes; 0 for a width or bit count
// below 1.
int64_t StrideOf(const BITMAPINFOHEADER& header);
// abs(biHeight) * stride.
int64_t ImageSizeOf(const BITMAPINFOHEADER& header);
// The vector's first byte as a header; null when it is shorter than 40 bytes.
const BITMAPINFOHEADER* HeaderOf(const std::vector<uint8_t>& bytes);

// One frame handed from one pipeline stage to the next; the data is not owned.
struct FrameData {
  FrameData() = default;
  FrameData(const uint8_t* frameData, int32_t frameSize, bool keyFrame)
      : data(frameData), size(frameSize), key(keyFrame) {}
  // Data and size of the vector; null and 0 for an empty one.
  void Set(const std::vector<uint8_t>& bytes);

  const uint8_t* data = nullptr;
  int32_t size = 0;
  bool key = true;
};
