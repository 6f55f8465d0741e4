// Stand-in for the outside VP6 codec library "vp6vfw.dll" (FourCC VP62), for tests and the demo
// only; never shipped. It answers the messages a host sends the real codec: open and close,
// ICM_GETINFO, ICM_GETSTATE and ICM_SETSTATE over a 0x104-byte state block, and the compress
// messages. Its frames are placeholders: a VP6-shaped frame header (frame type, quantizer, version
// and profile, macroblock rows and columns) followed by one byte per 16x16 macroblock, the mean of
// its green samples. When the environment names a file in VP6_STANDIN_STATE_FILE, every accepted
// ICM_SETSTATE writes the block there, so a test can check what a host set; a number in
// VP6_STANDIN_INFO_RESULT becomes ICM_GETINFO's answer, so a test can play a codec that describes
// itself wrongly. A number n in VP6_STANDIN_EMPTY_FRAME makes the n-th frame (from 0, counted per
// codec instance from its ICM_COMPRESS_BEGIN) come out empty, as a failing codec's would.

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "common/handle.h"

namespace {

constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');
constexpr size_t kStateSize = 0x104;
constexpr wchar_t kStateFileVariable[] = L"VP6_STANDIN_STATE_FILE";
constexpr wchar_t kInfoResultVariable[] = L"VP6_STANDIN_INFO_RESULT";
constexpr wchar_t kEmptyFrameVariable[] = L"VP6_STANDIN_EMPTY_FRAME";
constexpr int kMaxDimension = 16 * 255;  // the frame header holds macroblock counts in one byte

// State block fields the stand-in itself reads or sets up (32-bit little-endian).
constexpr size_t kBitrateOffset = 0x14;
constexpr size_t kQuantizerMaxOffset = 0x18;
constexpr size_t kAutoKeyFrameOffset = 0x2C;
constexpr size_t kMaxKeyFrameIntervalOffset = 0x38;

constexpr size_t kFrameHeaderBytes = 6;

struct Instance {
  uint8_t state[kStateSize];
  uint32_t framesSinceKey = 0;
  int64_t framesCompressed = 0;  // since ICM_COMPRESS_BEGIN
  int64_t emptyFrame = -1;       // the frame answered with no bytes; -1 none
};

std::mutex instancesLock;
std::set<Instance*> instances;

uint32_t Field(const Instance& codec, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, codec.state + offset, sizeof(value));
  return value;
}

void SetField(Instance& codec, size_t offset, uint32_t value) { std::memcpy(codec.state + offset, &value, 4); }

void ResetState(Instance& codec) {
  std::memset(codec.state, 0, kStateSize);
  SetField(codec, kBitrateOffset, 400);
  SetField(codec, kQuantizerMaxOffset, 56);
  SetField(codec, kAutoKeyFrameOffset, 1);
  SetField(codec, kMaxKeyFrameIntervalOffset, 120);
}

bool IsVp62(DWORD code) { return (code | 0x20202020u) == (kVp62 | 0x20202020u); }

Instance* FindInstance(DWORD_PTR driverId) {
  std::lock_guard<std::mutex> lock(instancesLock);
  auto* codec = reinterpret_cast<Instance*>(driverId);
  return instances.count(codec) ? codec : nullptr;
}

LRESULT Open(const ICOPEN* open) {
  // The driver-level open of a host that loads the library itself.
  if (!open) return 1;
  if ((open->fccType | 0x20202020u) != ICTYPE_VIDEO) return 0;
  if (open->fccHandler != 0 && !IsVp62(open->fccHandler)) return 0;
  auto* codec = new (std::nothrow) Instance;
  if (!codec) return 0;
  ResetState(*codec);
  try {
    std::lock_guard<std::mutex> lock(instancesLock);
    instances.insert(codec);
  } catch (...) {
    delete codec;
    return 0;
  }
  const_cast<ICOPEN*>(open)->dwError = ICERR_OK;
  return reinterpret_cast<LRESULT>(codec);
}

LRESULT Close(DWORD_PTR driverId) {
  std::lock_guard<std::mutex> lock(instancesLock);
  auto* codec = reinterpret_cast<Instance*>(driverId);
  if (instances.erase(codec)) delete codec;
  return 1;
}

bool IsAcceptedInput(const BITMAPINFOHEADER* input) {
  return input && input->biCompression == BI_RGB && (input->biBitCount == 24 || input->biBitCount == 32) &&
         input->biWidth > 0 && input->biWidth <= kMaxDimension && input->biHeight != 0 &&
         std::abs(input->biHeight) <= kMaxDimension;
}

bool IsMatchingOutput(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  return IsVp62(output->biCompression) && output->biWidth == input->biWidth &&
         std::abs(output->biHeight) == std::abs(input->biHeight);
}

int MacroblockRows(const BITMAPINFOHEADER* input) { return (std::abs(input->biHeight) + 15) / 16; }
int MacroblockColumns(const BITMAPINFOHEADER* input) { return (input->biWidth + 15) / 16; }

LRESULT FrameBound(const BITMAPINFOHEADER* input) {
  return static_cast<LRESULT>(kFrameHeaderBytes) + MacroblockRows(input) * MacroblockColumns(input);
}

LRESULT Query(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (!IsAcceptedInput(input)) return ICERR_BADFORMAT;
  return !output || IsMatchingOutput(input, output) ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT GetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (!output) return sizeof(BITMAPINFOHEADER);
  if (!IsAcceptedInput(input)) return ICERR_BADFORMAT;
  *output = {};
  output->biSize = sizeof(BITMAPINFOHEADER);
  output->biWidth = input->biWidth;
  output->biHeight = std::abs(input->biHeight);
  output->biPlanes = 1;
  output->biBitCount = 24;
  output->biCompression = kVp62;
  output->biSizeImage = static_cast<DWORD>(FrameBound(input));
  return ICERR_OK;
}

LRESULT GetInfo(ICINFO* info, LPARAM size) {
  if (!info) return sizeof(ICINFO);
  if (size < static_cast<LPARAM>(sizeof(ICINFO))) return 0;
  info->dwSize = sizeof(ICINFO);
  info->fccType = ICTYPE_VIDEO;
  info->fccHandler = kVp62;
  info->dwFlags = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL;
  info->dwVersion = 0x00060002;
  info->dwVersionICM = ICVERSION;
  wcscpy(info->szName, L"VP62");
  wcscpy(info->szDescription, L"VP6 stand-in codec");
  wchar_t answer[16];
  const DWORD length = GetEnvironmentVariableW(kInfoResultVariable, answer, 16);
  if (length > 0 && length < 16) return _wtoi(answer);
  return sizeof(ICINFO);
}

LRESULT GetState(const Instance& codec, void* buffer, LPARAM size) {
  if (!buffer) return kStateSize;
  if (size < static_cast<LPARAM>(kStateSize)) return ICERR_BADSIZE;
  std::memcpy(buffer, codec.state, kStateSize);
  return ICERR_OK;
}

// The frame number in VP6_STANDIN_EMPTY_FRAME, or -1.
int64_t EmptyFrameSetting() {
  wchar_t text[24];
  const DWORD length = GetEnvironmentVariableW(kEmptyFrameVariable, text, 24);
  if (length == 0 || length >= 24) return -1;
  wchar_t* end = nullptr;
  const long long frame = wcstoll(text, &end, 10);
  return end != text && *end == L'\0' && frame >= 0 ? frame : -1;
}

void WriteStateFile(const Instance& codec) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(kStateFileVariable, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  HandleGuard guard(CloseHandle, file);
  DWORD written = 0;
  WriteFile(file, codec.state, kStateSize, &written, nullptr);
}

// Returns the bytes taken, as the host expects.
LRESULT SetState(Instance& codec, const void* buffer, LPARAM size) {
  if (!buffer) {
    ResetState(codec);
    return 0;
  }
  if (size < static_cast<LPARAM>(kStateSize)) return ICERR_BADSIZE;
  std::memcpy(codec.state, buffer, kStateSize);
  WriteStateFile(codec);
  return kStateSize;
}

uint8_t MacroblockMean(const BITMAPINFOHEADER* input, const uint8_t* pixels, int row, int column) {
  const int width = input->biWidth;
  const int height = std::abs(input->biHeight);
  const int pixelBytes = input->biBitCount / 8;
  const int64_t stride = (int64_t{width} * input->biBitCount + 31) / 32 * 4;
  uint32_t sum = 0;
  uint32_t count = 0;
  for (int y = row * 16; y < height && y < row * 16 + 16; ++y)
    for (int x = column * 16; x < width && x < column * 16 + 16; ++x, ++count)
      sum += pixels[y * stride + x * pixelBytes + 1];
  return static_cast<uint8_t>(count ? sum / count : 0);
}

LRESULT Compress(Instance& codec, ICCOMPRESS* compress, LPARAM size) {
  if (!compress || size < static_cast<LPARAM>(sizeof(ICCOMPRESS))) return ICERR_BADPARAM;
  const BITMAPINFOHEADER* input = compress->lpbiInput;
  BITMAPINFOHEADER* output = compress->lpbiOutput;
  if (!IsAcceptedInput(input) || !output || !compress->lpInput || !compress->lpOutput) return ICERR_BADFORMAT;
  if (codec.framesCompressed++ == codec.emptyFrame) {
    output->biSizeImage = 0;
    if (compress->lpdwFlags) *compress->lpdwFlags = 0;
    return ICERR_OK;
  }

  const uint32_t interval = Field(codec, kMaxKeyFrameIntervalOffset);
  const bool autoKey = Field(codec, kAutoKeyFrameOffset) != 0;
  const bool key = (compress->dwFlags & ICCOMPRESS_KEYFRAME) || codec.framesSinceKey == 0 ||
                   (autoKey && interval > 0 && codec.framesSinceKey >= interval);
  codec.framesSinceKey = key ? 1 : codec.framesSinceKey + 1;

  const uint32_t quantizer = Field(codec, kQuantizerMaxOffset) & 0x3F;
  auto* frame = static_cast<uint8_t*>(compress->lpOutput);
  const int rows = MacroblockRows(input);
  const int columns = MacroblockColumns(input);
  frame[0] = static_cast<uint8_t>((key ? 0x00 : 0x80) | quantizer << 1);
  frame[1] = 0x46;  // version 8, profile 3
  frame[2] = static_cast<uint8_t>(rows);
  frame[3] = static_cast<uint8_t>(columns);
  frame[4] = static_cast<uint8_t>(rows);
  frame[5] = static_cast<uint8_t>(columns);
  const auto* pixels = static_cast<const uint8_t*>(compress->lpInput);
  uint8_t* means = frame + kFrameHeaderBytes;
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column) *means++ = MacroblockMean(input, pixels, row, column);

  output->biSizeImage = static_cast<DWORD>(FrameBound(input));
  if (compress->lpdwFlags) *compress->lpdwFlags = key ? AVIIF_KEYFRAME : 0;
  if (compress->lpckid) *compress->lpckid = kVp62;
  return ICERR_OK;
}

LRESULT Dispatch(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  const auto* header1 = reinterpret_cast<const BITMAPINFOHEADER*>(param1);
  switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE: return 1;
    case DRV_QUERYCONFIGURE: return 0;
    case DRV_OPEN: return Open(reinterpret_cast<const ICOPEN*>(param2));
    case DRV_CLOSE: return Close(driverId);
    case ICM_GETINFO: return GetInfo(reinterpret_cast<ICINFO*>(param1), param2);
    case ICM_COMPRESS_QUERY: return Query(header1, reinterpret_cast<const BITMAPINFOHEADER*>(param2));
    case ICM_COMPRESS_GET_FORMAT: return GetFormat(header1, reinterpret_cast<BITMAPINFOHEADER*>(param2));
    case ICM_COMPRESS_GET_SIZE: return IsAcceptedInput(header1) ? FrameBound(header1) : ICERR_BADFORMAT;
    default: break;
  }
  if (message < DRV_USER) return DefDriverProc(driverId, driver, message, param1, param2);
  Instance* codec = FindInstance(driverId);
  if (!codec) return ICERR_BADHANDLE;
  switch (message) {
    case ICM_GETSTATE: return GetState(*codec, reinterpret_cast<void*>(param1), param2);
    case ICM_SETSTATE: return SetState(*codec, reinterpret_cast<const void*>(param1), param2);
    case ICM_COMPRESS_BEGIN: {
      const LRESULT result = Query(header1, reinterpret_cast<const BITMAPINFOHEADER*>(param2));
      if (result == ICERR_OK) {
        codec->framesSinceKey = 0;
        codec->framesCompressed = 0;
        codec->emptyFrame = EmptyFrameSetting();
      }
      return result;
    }
    case ICM_COMPRESS: return Compress(*codec, reinterpret_cast<ICCOMPRESS*>(param1), param2);
    case ICM_COMPRESS_END:
      codec->framesSinceKey = 0;
      return ICERR_OK;
    case ICM_COMPRESS_FRAMES_INFO: return ICERR_OK;
    default: return ICERR_UNSUPPORTED;
  }
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  try {
    return Dispatch(driverId, driver, message, param1, param2);
  } catch (...) {
    return message < DRV_USER ? 0 : ICERR_MEMORY;
  }
}
