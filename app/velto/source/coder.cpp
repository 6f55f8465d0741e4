#include "app/velto/source/coder.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "common/error.h"

namespace {

constexpr uint8_t kEscape = 0;
constexpr uint8_t kEndOfLine = 0;
constexpr uint8_t kEndOfImage = 1;
constexpr uint8_t kJump = 2;
constexpr int kMaxCount = 255;
constexpr int64_t kMaxStream = INT32_MAX;

// A pixel of kBytes bytes as one comparable value.
template <int kBytes>
inline uint32_t LoadPixel(const uint8_t* pixel) {
  if constexpr (kBytes == 1) {
    return *pixel;
  } else if constexpr (kBytes == 2) {
    uint16_t value;
    memcpy(&value, pixel, 2);
    return value;
  } else if constexpr (kBytes == 3) {
    uint16_t low;
    memcpy(&low, pixel, 2);
    return low | static_cast<uint32_t>(pixel[2]) << 16;
  } else {
    uint32_t value;
    memcpy(&value, pixel, 4);
    return value;
  }
}

// The first pixel at or after `from` whose bytes differ between the rows, or `width` when none does.
// Compares 16 bytes at a time: unchanged screen areas are skipped at memory speed.
template <int kBytes>
int FirstChangedPixel(const uint8_t* current, const uint8_t* previous, int from, int width) {
  size_t offset = static_cast<size_t>(from) * kBytes;
  const size_t end = static_cast<size_t>(width) * kBytes;
  while (offset + 16 <= end) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current + offset));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + offset));
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
    if (equal != 0xFFFF) {
      offset += static_cast<size_t>(__builtin_ctz(~equal));
      return static_cast<int>(offset / kBytes);
    }
    offset += 16;
  }
  while (offset < end && current[offset] == previous[offset]) ++offset;
  return static_cast<int>(offset / kBytes);
}

// Appends code words to the output; the caller has sized it for the worst case.
template <int kBytes>
class CodeWriter {
 public:
  explicit CodeWriter(uint8_t* output) : start_(output), out_(output) {}

  int32_t Length() const { return static_cast<int32_t>(out_ - start_); }

  // A run of any length, split into words of at most 255.
  void Run(int count, const uint8_t* pixel) {
    while (count > kMaxCount) {
      Word(kMaxCount, pixel);
      count -= kMaxCount;
    }
    Word(static_cast<uint8_t>(count), pixel);
  }

  // 1 or 2 pixels go out as runs of one: literal counts 1 and 2 are the escapes.
  void Literal(const uint8_t* first, int count) {
    if (count < 3) {
      for (int i = 0; i < count; ++i) Word(1, first + i * kBytes);
      return;
    }
    *out_++ = kEscape;
    *out_++ = static_cast<uint8_t>(count);
    memcpy(out_, first, static_cast<size_t>(count) * kBytes);
    out_ += static_cast<size_t>(count) * kBytes;
    // Keeps every word of an 8-bit stream at an even offset.
    if (kBytes == 1 && (count & 1)) *out_++ = 0;
  }

  void EndOfLine() { Escape(kEndOfLine); }
  void EndOfImage() { Escape(kEndOfImage); }

  // Moves the decoder's position from (x, y) to (toX, toY), at most 255 columns and rows per word.
  // A target left of the position is reached through the end of the row before it.
  void Jump(int x, int y, int toX, int toY, int width) {
    while (x != toX || y != toY) {
      if (toX < x) {
        if (toY <= y) return;  // never asked for: a target behind the position
        const int dx = std::min(kMaxCount, width - x);
        const int dy = std::min(kMaxCount, toY - 1 - y);
        if (dy == 0) {
          EndOfLine();
          x = 0;
          ++y;
        } else {
          JumpWord(dx, dy);
          x += dx;
          y += dy;
          if (x == width) {
            EndOfLine();
            x = 0;
            ++y;
          }
        }
      } else {
        const int dx = std::min(kMaxCount, toX - x);
        const int dy = std::min(kMaxCount, toY - y);
        JumpWord(dx, dy);
        x += dx;
        y += dy;
      }
    }
  }

 private:
  void Word(uint8_t count, const uint8_t* pixel) {
    *out_++ = count;
    memcpy(out_, pixel, kBytes);
    out_ += kBytes;
  }
  void Escape(uint8_t code) {
    *out_++ = kEscape;
    *out_++ = code;
  }
  void JumpWord(int dx, int dy) {
    *out_++ = kEscape;
    *out_++ = kJump;
    *out_++ = static_cast<uint8_t>(dx);
    *out_++ = static_cast<uint8_t>(dy);
  }

  uint8_t* start_;
  uint8_t* out_;
};

// The group still open at the end of a row: a run or a literal of the pixels from `start` on.
template <int kBytes>
void FinishRow(CodeWriter<kBytes>& writer, const uint8_t* row, int start, int width, bool isRun) {
  const int count = width - start;
  if (count > 0) {
    if (isRun)
      writer.Run(count, row + start * kBytes);
    else
      writer.Literal(row + start * kBytes, count);
  }
  writer.EndOfLine();
}

bool CheckArguments(const void* a, const void* b, int width, int height, int bitCount) {
  if (!a || !b || width < 1 || height < 1) return false;
  const int64_t worst = MaxStreamSize(width, height, bitCount);
  return worst > 0 && worst <= kMaxStream;
}

// Groups the pixels of each row into runs and literals of at most 255 pixels.
template <int kBytes>
int32_t EncodeKey(const void* frame, void* output, int width, int height) {
  if (!CheckArguments(frame, output, width, height, kBytes * 8)) return -1;
  const int64_t stride = FrameStride(width, kBytes * 8);
  CodeWriter<kBytes> writer(static_cast<uint8_t*>(output));
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(frame) + y * stride;
    int start = 0;
    bool isRun = true;
    uint32_t left = LoadPixel<kBytes>(row);
    for (int i = 1; i < width; ++i) {
      const uint32_t value = LoadPixel<kBytes>(row + i * kBytes);
      const int count = i - start + 1;
      const bool same = count == 1 || value == left;
      left = value;
      if (isRun && same) {
        // The run grows as long as the value repeats.
        while (i + 1 < width && LoadPixel<kBytes>(row + (i + 1) * kBytes) == value) ++i;
        continue;
      }
      if (count < 3) {
        isRun = isRun && same;
      } else if (isRun) {
        writer.Run(count - 1, row + start * kBytes);
        start = i;
      } else if (same) {
        writer.Literal(row + start * kBytes, count - 2);
        start = i - 1;
        isRun = true;
      } else if (count == kMaxCount) {
        writer.Literal(row + start * kBytes, kMaxCount);
        start = i + 1;
        isRun = true;
      }
    }
    FinishRow(writer, row, start, width, isRun);
  }
  writer.EndOfImage();
  return writer.Length();
}

// The key encoder's grouping plus an `unchanged` flag per group: unchanged literal groups are
// jumped over, unchanged rows and row tails become one pending jump that the next changed pixel
// writes. Unchanged runs inside a changed area are written as runs.
template <int kBytes>
int32_t EncodeDelta(const void* previousFrame, const void* frame, void* output, int width, int height) {
  if (!CheckArguments(previousFrame, frame, width, height, kBytes * 8) || !output) return -1;
  const int64_t stride = FrameStride(width, kBytes * 8);
  CodeWriter<kBytes> writer(static_cast<uint8_t*>(output));
  bool pending = false;
  int pendingX = 0;
  int pendingY = 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(frame) + y * stride;
    const uint8_t* before = static_cast<const uint8_t*>(previousFrame) + y * stride;
    int start = 0;
    bool isRun = true;
    bool unchanged = true;
    int i = 0;
    if (pending) {
      i = FirstChangedPixel<kBytes>(row, before, 0, width);
      if (i == width) continue;
      writer.Jump(pendingX, pendingY, i, y, width);
      pending = false;
      start = i;
      unchanged = false;
      ++i;
    }
    for (; i < width; ++i) {
      const uint32_t value = LoadPixel<kBytes>(row + i * kBytes);
      const bool same = i == start || value == LoadPixel<kBytes>(row + (i - 1) * kBytes);
      const bool kept = value == LoadPixel<kBytes>(before + i * kBytes);
      const int count = i - start + 1;
      if (unchanged && kept) {
        // Skip the unchanged span; a run group stays a run only while the value repeats.
        const int end = FirstChangedPixel<kBytes>(row, before, i + 1, width);
        isRun = isRun && same;
        for (int j = i + 1; isRun && j < end; ++j)
          isRun = LoadPixel<kBytes>(row + j * kBytes) == LoadPixel<kBytes>(row + (j - 1) * kBytes);
        i = end - 1;
      } else if (isRun && same) {
        unchanged = unchanged && kept;
      } else if (count < 3) {
        isRun = isRun && same;
        unchanged = unchanged && kept;
      } else if (isRun) {
        writer.Run(count - 1, row + start * kBytes);
        start = i;
        unchanged = kept;
      } else if (unchanged) {
        writer.Jump(start, y, i, y, width);
        start = i;
        isRun = true;
        unchanged = false;
      } else if (same) {
        writer.Literal(row + start * kBytes, count - 2);
        start = i - 1;
        isRun = true;
        unchanged = false;
      } else if (kept) {
        writer.Literal(row + start * kBytes, count - 1);
        start = i;
        isRun = true;
        unchanged = true;
      } else if (count == kMaxCount) {
        writer.Literal(row + start * kBytes, kMaxCount);
        start = i + 1;
        isRun = true;
        unchanged = true;
      }
    }
    if (unchanged) {
      pending = true;
      pendingX = start;
      pendingY = y;
    } else {
      FinishRow(writer, row, start, width, isRun);
    }
  }
  writer.EndOfImage();
  return writer.Length();
}

// Fills count pixels with one value.
template <int kBytes>
void FillPixels(uint8_t* target, const uint8_t* value, int count) {
  if constexpr (kBytes == 1) {
    memset(target, *value, static_cast<size_t>(count));
  } else {
    for (int i = 0; i < count; ++i) memcpy(target + i * kBytes, value, kBytes);
  }
}

template <int kBytes>
bool Decode(const uint8_t* in, const uint8_t* end, uint8_t* frame, size_t stride, int height) {
  // DecodeFrame's size check keeps the image under 2^30 bytes, so positions fit a size_t in both
  // builds. The column stops one past the image end, where every write is skipped anyway.
  const size_t imageSize = stride * static_cast<size_t>(height);
  const size_t lastColumn = imageSize / kBytes + 1;
  size_t x = 0;
  int y = 0;
  size_t offset = 0;  // of the write position from the frame start
  for (;;) {
    if (in >= end) {
      Trace(L"Warning: no end-of-image code found\n");
      return false;
    }
    const int count = *in++;
    if (count != 0) {
      // A run past the image end is not written, and its value is read as the next code word:
      // every host must read a damaged stream the same way.
      const size_t bytes = static_cast<size_t>(count) * kBytes;
      if (offset + bytes > imageSize) continue;
      if (end - in < kBytes) break;
      FillPixels<kBytes>(frame + offset, in, count);
      offset += bytes;
      x += count;
      in += kBytes;
      continue;
    }
    if (in >= end) break;
    const int code = *in++;
    if (code == kEndOfLine) {
      ++y;
      x = 0;
      offset = y * stride;
      if (y >= height && (end - in < 2 || in[0] != kEscape || in[1] != kEndOfImage)) {
        Trace(L"Error: next y is out of image.\n");
        return false;
      }
    } else if (code == kEndOfImage) {
      return true;
    } else if (code == kJump) {
      if (end - in < 2) break;
      const int dx = in[0];
      const int dy = in[1];
      in += 2;
      if (dy >= height - y) {
        Trace(L"Error: jump out of image bounds.\n");
        return false;
      }
      y += dy;
      x = std::min(x + dx, lastColumn);
      offset = y * stride + x * kBytes;
    } else {
      // Likewise a literal past the image end: reading goes on right after its count.
      const size_t bytes = static_cast<size_t>(code) * kBytes;
      if (offset + bytes > imageSize) continue;
      const size_t words = bytes + (kBytes == 1 ? (code & 1) : 0);
      if (static_cast<size_t>(end - in) < words) break;
      memcpy(frame + offset, in, bytes);
      offset += bytes;
      x += code;
      in += words;
    }
  }
  Trace(L"Error: code word cut short by the end of the stream.\n");
  return false;
}

}  // namespace

bool IsCodedDepth(int bitCount) { return bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32; }

int64_t FrameStride(int width, int bitCount) {
  if (width < 1 || !IsCodedDepth(bitCount)) return -1;
  return (int64_t{width} * bitCount + 31) / 32 * 4;
}

int64_t FrameImageSize(int width, int height, int bitCount) {
  const int64_t stride = FrameStride(width, bitCount);
  if (stride < 0 || height < 1) return -1;
  return stride * height;
}

int64_t MaxStreamSize(int width, int height, int bitCount) {
  const int64_t stride = FrameStride(width, bitCount);
  if (stride < 0 || height < 1) return -1;
  return (stride / 4 * 8 + 2) * height + 2;
}

int32_t EncodeKeyFrame8(const void* frame, void* output, int width, int height) {
  return EncodeKey<1>(frame, output, width, height);
}
int32_t EncodeKeyFrame16(const void* frame, void* output, int width, int height) {
  return EncodeKey<2>(frame, output, width, height);
}
int32_t EncodeKeyFrame24(const void* frame, void* output, int width, int height) {
  return EncodeKey<3>(frame, output, width, height);
}
int32_t EncodeKeyFrame32(const void* frame, void* output, int width, int height) {
  return EncodeKey<4>(frame, output, width, height);
}

int32_t EncodeDeltaFrame8(const void* previous, const void* frame, void* output, int width, int height) {
  return EncodeDelta<1>(previous, frame, output, width, height);
}
int32_t EncodeDeltaFrame16(const void* previous, const void* frame, void* output, int width, int height) {
  return EncodeDelta<2>(previous, frame, output, width, height);
}
int32_t EncodeDeltaFrame24(const void* previous, const void* frame, void* output, int width, int height) {
  return EncodeDelta<3>(previous, frame, output, width, height);
}
int32_t EncodeDeltaFrame32(const void* previous, const void* frame, void* output, int width, int height) {
  return EncodeDelta<4>(previous, frame, output, width, height);
}

int32_t EncodeKeyFrame(const void* frame, void* output, int width, int height, int bitCount) {
  switch (bitCount) {
    case 8: return EncodeKeyFrame8(frame, output, width, height);
    case 16: return EncodeKeyFrame16(frame, output, width, height);
    case 24: return EncodeKeyFrame24(frame, output, width, height);
    case 32: return EncodeKeyFrame32(frame, output, width, height);
    default: return -1;
  }
}

int32_t EncodeDeltaFrame(const void* previous, const void* frame, void* output, int width, int height,
                         int bitCount) {
  switch (bitCount) {
    case 8: return EncodeDeltaFrame8(previous, frame, output, width, height);
    case 16: return EncodeDeltaFrame16(previous, frame, output, width, height);
    case 24: return EncodeDeltaFrame24(previous, frame, output, width, height);
    case 32: return EncodeDeltaFrame32(previous, frame, output, width, height);
    default: return -1;
  }
}

bool DecodeFrame(const void* stream, int32_t length, void* frame, int width, int height, int bitCount) {
  if (!CheckArguments(stream, frame, width, height, bitCount) || length <= 0) return false;
  const uint8_t* in = static_cast<const uint8_t*>(stream);
  const uint8_t* end = in + length;
  uint8_t* out = static_cast<uint8_t*>(frame);
  const size_t stride = static_cast<size_t>(FrameStride(width, bitCount));
  switch (bitCount) {
    case 8: return Decode<1>(in, end, out, stride, height);
    case 16: return Decode<2>(in, end, out, stride, height);
    case 24: return Decode<3>(in, end, out, stride, height);
    default: return Decode<4>(in, end, out, stride, height);
  }
}
