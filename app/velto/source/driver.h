#pragma once
// The Video-for-Windows driver of the wbvk codec. The codec manager of any host opens instances
// through DriverProc and sends them the DRV_* and ICM_* messages; each instance keeps the previous
// frame its delta frames are coded against, and its work buffers, from frame to frame.

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/zstream.h"

constexpr int kDefaultLevel = 6;
constexpr int kKeyFrameInterval = 80;

// One open codec, identified to the codec manager by its address. The manager serialises the
// messages of one instance, so it has no lock.
struct CodecInstance {
  explicit CodecInstance(DWORD fourcc);

  DWORD fourcc;
  int versionMajor = 1;
  int versionMinor = 0;
  int level = kDefaultLevel;  // 1..9; reaches the deflater only before the first frame
  int keyFrameInterval = kKeyFrameInterval;
  std::unique_ptr<ZlibDeflater> deflater;
  std::vector<uint8_t> previousFrame;
  std::vector<uint8_t> compressWork;
  int frameCounter = 0;  // frames since the last key frame
  std::unique_ptr<ZlibInflater> inflater;
  std::vector<uint8_t> decodedFrame;
  std::vector<uint8_t> decompressWork;
};

// The geometry of an uncompressed or compressed frame header, sizes in 64 bits.
struct FrameGeometry {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  int64_t stride = 0;
  int64_t imageSize = 0;
  // Every size the codec works out for the frame fits in 32 bits.
  bool valid = false;
};
FrameGeometry GeometryOf(const BITMAPINFOHEADER* header);

// The host's output buffer size for a compressed frame: the worst-case code stream plus deflate's
// worst-case growth. -1 for a geometry the codec refuses.
int64_t CompressedFrameBound(const FrameGeometry& geometry);

// The four characters compared ignoring case.
bool SameFourcc(DWORD a, DWORD b);

// The whole driver behind the library's DriverProc export. No exception leaves it.
LRESULT CodecDriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2);
