#include "app/velto/source/driver.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "app/velto/source/coder.h"
#include "app/velto/source/dialogs.h"
#include "common/fourcc.h"
#include "common/sync.h"

namespace {

constexpr DWORD kFourccText = mmioFOURCC('w', 'b', 'v', 'k');
constexpr wchar_t kCodecName[] = L"wbvk";
constexpr wchar_t kCodecDescription[] = L"Quillory Codec";
constexpr DWORD kDefaultQuality = 10000;
constexpr int kStateSize = 2;
constexpr LONG_PTR kQueryDialog = -1;
constexpr DWORD kKeyFrameFlag = AVIIF_KEYFRAME;

// The instances DRV_OPEN handed out, so that a stale or made-up driver id is refused instead of
// followed. Only the look-up is locked; the codec manager serialises each instance's messages.
class InstanceTable {
 public:
  void Add(CodecInstance* instance) {
    ScopedLock lock(&section_);
    instances_.push_back(instance);
  }
  bool Remove(CodecInstance* instance) {
    ScopedLock lock(&section_);
    auto found = std::find(instances_.begin(), instances_.end(), instance);
    if (found == instances_.end()) return false;
    instances_.erase(found);
    return true;
  }
  CodecInstance* Find(DWORD_PTR id) {
    ScopedLock lock(&section_);
    auto found = std::find(instances_.begin(), instances_.end(), reinterpret_cast<CodecInstance*>(id));
    return found == instances_.end() ? nullptr : *found;
  }

 private:
  CriticalSection section_;
  std::vector<CodecInstance*> instances_;
};

InstanceTable& Instances() {
  static InstanceTable table;
  return table;
}

// The worst-case code stream grown by deflate's worst case for incompressible data.
int64_t StreamBound(int64_t codeStream) { return codeStream + codeStream / 64 + 32; }

bool SameGeometry(const FrameGeometry& a, const FrameGeometry& b) {
  return a.width == b.width && a.height == b.height && a.bitCount == b.bitCount;
}

// Input and output formats of a compression or decompression.
bool QueryFormats(const CodecInstance& codec, const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
                  bool compress) {
  const FrameGeometry geometry = GeometryOf(input);
  if (!geometry.valid) return false;
  if (compress ? input->biCompression != BI_RGB : !SameFourcc(input->biCompression, codec.fourcc)) return false;
  if (!output) return true;
  if (!SameGeometry(geometry, GeometryOf(output))) return false;
  if (output->biSizeImage != 0 && output->biSizeImage != geometry.imageSize) return false;
  return compress ? SameFourcc(output->biCompression, codec.fourcc) : output->biCompression == BI_RGB;
}

LRESULT CompressGetFormat(const CodecInstance& codec, const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (!output) return sizeof(BITMAPINFOHEADER);
  if (!GeometryOf(input).valid || input->biCompression != BI_RGB) return ICERR_BADFORMAT;
  *output = *input;
  output->biSize = sizeof(BITMAPINFOHEADER);
  output->biCompression = codec.fourcc;
  return ICERR_OK;
}

LRESULT DecompressGetFormat(const CodecInstance& codec, const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (!output) return sizeof(BITMAPINFOHEADER);
  const FrameGeometry geometry = GeometryOf(input);
  if (!geometry.valid || !SameFourcc(input->biCompression, codec.fourcc)) return ICERR_BADFORMAT;
  *output = *input;
  output->biSize = sizeof(BITMAPINFOHEADER);
  output->biCompression = BI_RGB;
  output->biSizeImage = static_cast<DWORD>(geometry.imageSize);
  return ICERR_OK;
}

LRESULT CompressGetSize(const BITMAPINFOHEADER* input) {
  const int64_t bound = CompressedFrameBound(GeometryOf(input));
  return bound < 0 ? ICERR_BADFORMAT : static_cast<LRESULT>(bound);
}

LRESULT GetState(const CodecInstance& codec, void* buffer, LPARAM size) {
  if (!buffer) return kStateSize;
  if (size < kStateSize) return ICERR_ERROR;
  uint8_t* state = static_cast<uint8_t*>(buffer);
  state[0] = static_cast<uint8_t>((codec.versionMinor & 0x0F) ^ (codec.versionMajor << 4));
  state[1] = static_cast<uint8_t>(codec.level);
  return ICERR_OK;
}

LRESULT SetState(CodecInstance& codec, const void* buffer, LPARAM size) {
  if (!buffer) {
    codec.level = kDefaultLevel;
    return ICERR_OK;
  }
  if (size < kStateSize) return ICERR_ERROR;
  codec.level = std::clamp<int>(static_cast<const uint8_t*>(buffer)[1], 1, 9);
  return ICERR_OK;
}

LRESULT GetInfo(const CodecInstance& codec, ICINFO* info, LPARAM size) {
  if (!info) return sizeof(ICINFO);
  if (size != sizeof(ICINFO)) return 0;
  info->dwSize = sizeof(ICINFO);
  info->fccType = ICTYPE_VIDEO;
  info->fccHandler = codec.fourcc;
  info->dwFlags = VIDCF_TEMPORAL;
  info->dwVersion = (static_cast<DWORD>(codec.versionMajor) << 16) + static_cast<DWORD>(codec.versionMinor);
  info->dwVersionICM = ICVERSION;
  wcsncpy(info->szName, kCodecName, std::size(info->szName));
  wcsncpy(info->szDescription, kCodecDescription, std::size(info->szDescription));
  return sizeof(ICINFO);
}

// Emptying keeps no contents: the next frame sizes the buffers again.
void ResetCompression(CodecInstance& codec) {
  codec.previousFrame.clear();
  codec.compressWork.clear();
  codec.frameCounter = 0;
}

void ResetDecompression(CodecInstance& codec) {
  codec.decodedFrame.clear();
  codec.decompressWork.clear();
}

template <class Buffer>
void GrowTo(Buffer& buffer, int64_t size) {
  if (static_cast<int64_t>(buffer.size()) < size) buffer.resize(static_cast<size_t>(size));
}

LRESULT CompressFrame(CodecInstance& codec, ICCOMPRESS* frame) {
  if (!frame || !frame->lpbiInput || !frame->lpInput || !frame->lpbiOutput || !frame->lpOutput)
    return ICERR_BADPARAM;
  const FrameGeometry geometry = GeometryOf(frame->lpbiInput);
  if (!geometry.valid || frame->lpbiInput->biCompression != BI_RGB ||
      !SameGeometry(geometry, GeometryOf(frame->lpbiOutput)))
    return ICERR_BADFORMAT;
  const int64_t capacity = CompressedFrameBound(geometry);

  if (frame->dwFlags & ICCOMPRESS_KEYFRAME) codec.frameCounter = 0;
  if (codec.frameCounter >= codec.keyFrameInterval) codec.frameCounter = 0;
  bool keyFrame = codec.frameCounter == 0;
  codec.frameCounter += 1;

  if (!codec.deflater) codec.deflater = std::make_unique<ZlibDeflater>(codec.level);
  if (static_cast<int64_t>(codec.previousFrame.size()) != geometry.imageSize) {
    codec.previousFrame.assign(static_cast<size_t>(geometry.imageSize), 0);
    keyFrame = true;
  }
  GrowTo(codec.compressWork, MaxStreamSize(geometry.width, geometry.height, geometry.bitCount));

  const int32_t length =
      keyFrame ? EncodeKeyFrame(frame->lpInput, codec.compressWork.data(), geometry.width, geometry.height,
                                geometry.bitCount)
               : EncodeDeltaFrame(codec.previousFrame.data(), frame->lpInput, codec.compressWork.data(),
                                  geometry.width, geometry.height, geometry.bitCount);
  if (length <= 0) return ICERR_ERROR;

  int32_t frameLength = length;
  if (length > 2) {
    // The host's buffer is known to hold only the bound it was told.
    frameLength = codec.deflater->Compress(codec.compressWork.data(), length, frame->lpOutput,
                                           static_cast<int32_t>(capacity));
    if (frameLength <= 0) return ICERR_ERROR;
  } else {
    memcpy(frame->lpOutput, codec.compressWork.data(), static_cast<size_t>(length));
  }

  memcpy(codec.previousFrame.data(), frame->lpInput, static_cast<size_t>(geometry.imageSize));
  frame->lpbiOutput->biSizeImage = static_cast<DWORD>(frameLength);
  if (frame->lpdwFlags) {
    if (keyFrame)
      *frame->lpdwFlags |= kKeyFrameFlag;
    else
      *frame->lpdwFlags &= ~kKeyFrameFlag;
  }
  if (frame->lpckid) *frame->lpckid = codec.fourcc;
  return ICERR_OK;
}

LRESULT DecompressFrame(CodecInstance& codec, ICDECOMPRESS* frame) {
  if (!frame || !frame->lpbiInput || !frame->lpbiOutput || !frame->lpOutput) return ICERR_BADPARAM;
  const FrameGeometry geometry = GeometryOf(frame->lpbiInput);
  if (!geometry.valid || !SameGeometry(geometry, GeometryOf(frame->lpbiOutput))) return ICERR_BADFORMAT;
  const DWORD inputLength = frame->lpbiInput->biSizeImage;
  if (frame->lpbiOutput->biSizeImage != 0 && frame->lpbiOutput->biSizeImage < geometry.imageSize) return ICERR_ERROR;

  if (!codec.inflater) codec.inflater = std::make_unique<ZlibInflater>();
  if (static_cast<int64_t>(codec.decodedFrame.size()) != geometry.imageSize)
    codec.decodedFrame.assign(static_cast<size_t>(geometry.imageSize), 0);
  const int64_t workSize = StreamBound(MaxStreamSize(geometry.width, geometry.height, geometry.bitCount));
  GrowTo(codec.decompressWork, workSize);

  // Two bytes or fewer mean "no change" and are not even parsed.
  if (inputLength > 2) {
    if (!frame->lpInput || inputLength > INT32_MAX) return ICERR_ERROR;
    const int32_t streamLength =
        codec.inflater->Decompress(frame->lpInput, static_cast<int32_t>(inputLength), codec.decompressWork.data(),
                                   static_cast<int32_t>(codec.decompressWork.size()));
    if (streamLength <= 0) return ICERR_ERROR;
    if (!DecodeFrame(codec.decompressWork.data(), streamLength, codec.decodedFrame.data(), geometry.width,
                     geometry.height, geometry.bitCount))
      return ICERR_ERROR;
  }
  memcpy(frame->lpOutput, codec.decodedFrame.data(), static_cast<size_t>(geometry.imageSize));
  return ICERR_OK;
}

LPARAM Open(const ICOPEN* open) {
  if (open && open->fccType != ICTYPE_VIDEO) return 0;
  const DWORD fourcc = open ? open->fccHandler : mmioStringToFOURCCW(kCodecName, 0);
  CodecInstance* codec = new (std::nothrow) CodecInstance(fourcc);
  if (!codec) return 0;
  Instances().Add(codec);
  if (open) const_cast<ICOPEN*>(open)->dwError = ICERR_OK;
  return reinterpret_cast<LPARAM>(codec);
}

LRESULT Close(DWORD_PTR driverId) {
  if (driverId == 0) return 1;
  CodecInstance* codec = reinterpret_cast<CodecInstance*>(driverId);
  if (!Instances().Remove(codec)) return 0;
  delete codec;
  return 1;
}

// The messages that work on an open instance: one table, which both says which messages need an
// instance and answers them.
struct InstanceMessage {
  UINT message;
  LRESULT (*answer)(CodecInstance& codec, LPARAM param1, LPARAM param2);
};

BITMAPINFOHEADER* Header(LPARAM param) { return reinterpret_cast<BITMAPINFOHEADER*>(param); }

LRESULT Configure(CodecInstance& codec, LPARAM window) {
  codec.level = ConfigureLevel(reinterpret_cast<HWND>(window), codec.level);
  return 1;
}

constexpr InstanceMessage kInstanceMessages[] = {
    {DRV_CONFIGURE, [](CodecInstance& codec, LPARAM param1, LPARAM) { return Configure(codec, param1); }},
    {ICM_CONFIGURE, [](CodecInstance& codec, LPARAM param1, LPARAM) -> LRESULT {
       return param1 == kQueryDialog ? ICERR_OK : Configure(codec, param1);
     }},
    {ICM_COMPRESS_GET_FORMAT,
     [](CodecInstance& codec, LPARAM param1, LPARAM param2) {
       return CompressGetFormat(codec, Header(param1), Header(param2));
     }},
    {ICM_COMPRESS_QUERY, [](CodecInstance& codec, LPARAM param1, LPARAM param2) -> LRESULT {
       return QueryFormats(codec, Header(param1), Header(param2), true) ? ICERR_OK : ICERR_BADFORMAT;
     }},
    {ICM_COMPRESS_BEGIN, [](CodecInstance& codec, LPARAM param1, LPARAM param2) -> LRESULT {
       if (!QueryFormats(codec, Header(param1), Header(param2), true)) return ICERR_BADFORMAT;
       ResetCompression(codec);
       return ICERR_OK;
     }},
    {ICM_COMPRESS, [](CodecInstance& codec, LPARAM param1, LPARAM) {
       return CompressFrame(codec, reinterpret_cast<ICCOMPRESS*>(param1));
     }},
    {ICM_COMPRESS_END, [](CodecInstance& codec, LPARAM, LPARAM) -> LRESULT {
       ResetCompression(codec);
       return ICERR_OK;
     }},
    {ICM_DECOMPRESS_GET_FORMAT,
     [](CodecInstance& codec, LPARAM param1, LPARAM param2) {
       return DecompressGetFormat(codec, Header(param1), Header(param2));
     }},
    {ICM_DECOMPRESS_QUERY, [](CodecInstance& codec, LPARAM param1, LPARAM param2) -> LRESULT {
       return QueryFormats(codec, Header(param1), Header(param2), false) ? ICERR_OK : ICERR_BADFORMAT;
     }},
    {ICM_DECOMPRESS_BEGIN, [](CodecInstance& codec, LPARAM param1, LPARAM param2) -> LRESULT {
       if (!QueryFormats(codec, Header(param1), Header(param2), false)) return ICERR_BADFORMAT;
       ResetDecompression(codec);
       return ICERR_OK;
     }},
    {ICM_DECOMPRESS, [](CodecInstance& codec, LPARAM param1, LPARAM) {
       return DecompressFrame(codec, reinterpret_cast<ICDECOMPRESS*>(param1));
     }},
    {ICM_DECOMPRESS_END, [](CodecInstance& codec, LPARAM, LPARAM) -> LRESULT {
       ResetDecompression(codec);
       return ICERR_OK;
     }},
    {ICM_GETSTATE, [](CodecInstance& codec, LPARAM param1, LPARAM param2) {
       return GetState(codec, reinterpret_cast<void*>(param1), param2);
     }},
    {ICM_SETSTATE, [](CodecInstance& codec, LPARAM param1, LPARAM param2) {
       return SetState(codec, reinterpret_cast<const void*>(param1), param2);
     }},
    {ICM_GETINFO, [](CodecInstance& codec, LPARAM param1, LPARAM param2) {
       return GetInfo(codec, reinterpret_cast<ICINFO*>(param1), param2);
     }},
};

const InstanceMessage* FindInstanceMessage(UINT message) {
  for (const InstanceMessage& entry : kInstanceMessages) {
    if (entry.message == message) return &entry;
  }
  return nullptr;
}

LRESULT Dispatch(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_INSTALL:
    case DRV_REMOVE:
    case DRV_QUERYCONFIGURE:
      return 1;
    case DRV_ENABLE:
    case DRV_DISABLE:
      return DefDriverProc(driverId, driver, message, param1, param2);
    case DRV_OPEN: return Open(reinterpret_cast<const ICOPEN*>(param2));
    case DRV_CLOSE: return Close(driverId);
    case ICM_COMPRESS_GET_SIZE: return CompressGetSize(reinterpret_cast<const BITMAPINFOHEADER*>(param1));
    case ICM_DRAW_BEGIN:
    case ICM_DRAW_END:
    case ICM_DRAW_QUERY:
    case ICM_DRAW:
    case ICM_DECOMPRESSEX_BEGIN:
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX:
    case ICM_DECOMPRESSEX_END:
      return ICERR_UNSUPPORTED;
    case ICM_DECOMPRESS_GET_PALETTE: return ICERR_BADFORMAT;
    case ICM_GETDEFAULTKEYFRAMERATE:
      if (param1) *reinterpret_cast<DWORD*>(param1) = kKeyFrameInterval;
      return ICERR_OK;
    case ICM_GETDEFAULTQUALITY:
      if (param1) *reinterpret_cast<DWORD*>(param1) = kDefaultQuality;
      return ICERR_OK;
    case ICM_ABOUT:
      if (param1 != kQueryDialog) ShowAbout(reinterpret_cast<HWND>(param1));
      return ICERR_OK;
    default:
      break;
  }

  const InstanceMessage* instanceMessage = FindInstanceMessage(message);
  if (!instanceMessage) {
    return message >= DRV_USER ? ICERR_UNSUPPORTED : DefDriverProc(driverId, driver, message, param1, param2);
  }
  if (message == ICM_CONFIGURE && param1 == kQueryDialog) return ICERR_OK;
  if (CodecInstance* codec = Instances().Find(driverId)) return instanceMessage->answer(*codec, param1, param2);
  // Without an instance (Wine asks for the information with id 0) the defaults answer; the
  // configuration needs an instance's level and shows nothing.
  if (message == ICM_GETINFO) {
    const CodecInstance defaults(kFourccText);
    return GetInfo(defaults, reinterpret_cast<ICINFO*>(param1), param2);
  }
  if (message == DRV_CONFIGURE) return 0;
  return ICERR_BADHANDLE;
}

}  // namespace

CodecInstance::CodecInstance(DWORD code) : fourcc(code) {}

FrameGeometry GeometryOf(const BITMAPINFOHEADER* header) {
  FrameGeometry geometry;
  if (!header) return geometry;
  geometry.width = header->biWidth;
  geometry.height = header->biHeight;
  geometry.bitCount = header->biBitCount;
  // Top-down frames (negative height) are refused.
  if (geometry.width <= 0 || geometry.height <= 0 || !IsCodedDepth(geometry.bitCount)) return geometry;
  geometry.stride = FrameStride(geometry.width, geometry.bitCount);
  geometry.imageSize = geometry.stride * geometry.height;
  geometry.valid = StreamBound(MaxStreamSize(geometry.width, geometry.height, geometry.bitCount)) <= INT32_MAX;
  return geometry;
}

int64_t CompressedFrameBound(const FrameGeometry& geometry) {
  if (!geometry.valid) return -1;
  return StreamBound(MaxStreamSize(geometry.width, geometry.height, geometry.bitCount));
}

bool SameFourcc(DWORD a, DWORD b) { return ChangeFourCCCase(a, kFourCCLower) == ChangeFourCCCase(b, kFourCCLower); }

LRESULT CodecDriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  // Nothing may unwind into the host: an allocation that fails is a failed message.
  try {
    return Dispatch(driverId, driver, message, param1, param2);
  } catch (...) {
    return message == DRV_OPEN ? 0 : message >= DRV_USER ? ICERR_MEMORY : 0;
  }
}
