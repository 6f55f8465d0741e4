#pragma once
// Codec instances driven straight through the library's driver procedure, as the codec manager
// drives them.

#include <gtest/gtest.h>

#include <vector>

#include "app/velto/source/driver.h"
#include "tests/app/velto/frames.h"
#include "tests/support/guarded.h"

using Bytes = std::vector<uint8_t>;

inline constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');

inline LPARAM P(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

inline LRESULT Send(DWORD_PTR id, UINT message, LPARAM param1 = 0, LPARAM param2 = 0) {
  return CodecDriverProc(id, nullptr, message, param1, param2);
}

inline DWORD_PTR Open(DWORD type, DWORD handler, LRESULT* error = nullptr) {
  ICOPEN open = {};
  open.dwSize = sizeof(open);
  open.fccType = type;
  open.fccHandler = handler;
  open.dwError = ICERR_ERROR;
  const DWORD_PTR id = static_cast<DWORD_PTR>(Send(0, DRV_OPEN, 0, P(&open)));
  if (error) *error = open.dwError;
  return id;
}

inline ICCOMPRESS Frame(BITMAPINFOHEADER* input, void* bits, BITMAPINFOHEADER* output, void* packed, DWORD* flags) {
  ICCOMPRESS compress = {};
  compress.lpbiInput = input;
  compress.lpInput = bits;
  compress.lpbiOutput = output;
  compress.lpOutput = packed;
  compress.lpdwFlags = flags;
  return compress;
}

inline ICDECOMPRESS Unframe(BITMAPINFOHEADER* input, void* packed, BITMAPINFOHEADER* output, void* bits) {
  ICDECOMPRESS decompress = {};
  decompress.lpbiInput = input;
  decompress.lpInput = packed;
  decompress.lpbiOutput = output;
  decompress.lpOutput = bits;
  return decompress;
}

// An instance opened the way the codec manager opens one; frames go through guarded buffers of
// exactly the sizes the host knows.
class Codec {
 public:
  explicit Codec(DWORD handler = kWbvk) : id_(Open(ICTYPE_VIDEO, handler)) {}
  ~Codec() { Send(id_, DRV_CLOSE); }

  DWORD_PTR Id() const { return id_; }
  LRESULT Send(UINT message, LPARAM param1 = 0, LPARAM param2 = 0) { return ::Send(id_, message, param1, param2); }
  int Level() {
    uint8_t state[2] = {};
    Send(ICM_GETSTATE, P(state), 2);
    return state[1];
  }
  void SetLevel(int level) {
    const uint8_t state[2] = {0x10, static_cast<uint8_t>(level)};
    Send(ICM_SETSTATE, P(state), 2);
  }

  struct Compressed {
    LRESULT result;
    Bytes data;
    bool key;
  };
  Compressed Compress(const TestFrame& frame, DWORD flags = 0) {
    BITMAPINFOHEADER input = DibHeader(frame.width, frame.height, frame.bitCount);
    BITMAPINFOHEADER output = DibHeader(frame.width, frame.height, frame.bitCount, kWbvk);
    GuardedBuffer out(static_cast<size_t>(Send(ICM_COMPRESS_GET_SIZE, P(&input))));
    DWORD frameFlags = 0;
    DWORD ckid = 0;
    ICCOMPRESS compress = Frame(&input, const_cast<uint8_t*>(frame.bytes.data()), &output, out.data(), &frameFlags);
    compress.dwFlags = flags;
    compress.lpckid = &ckid;
    const LRESULT result = Send(ICM_COMPRESS, P(&compress), sizeof(compress));
    EXPECT_EQ(ckid, result == ICERR_OK ? kWbvk : 0u);
    return {result, result == ICERR_OK ? out.Bytes(output.biSizeImage) : Bytes(), (frameFlags & AVIIF_KEYFRAME) != 0};
  }
  LRESULT Decompress(const Bytes& data, TestFrame& frame) {
    BITMAPINFOHEADER input =
        DibHeader(frame.width, frame.height, frame.bitCount, kWbvk, static_cast<DWORD>(data.size()));
    BITMAPINFOHEADER output = DibHeader(frame.width, frame.height, frame.bitCount);
    GuardedBuffer in(data);
    GuardedBuffer out(frame.bytes.size());
    ICDECOMPRESS decompress = Unframe(&input, in.data(), &output, out.data());
    const LRESULT result = Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress));
    if (result == ICERR_OK) frame.bytes = out.Bytes(frame.bytes.size());
    return result;
  }

 private:
  DWORD_PTR id_;
};

