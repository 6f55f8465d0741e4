#include "app/velto/source/driver.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/app/velto/frames.h"
#include "tests/app/velto/guarded.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');

LPARAM P(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

// An instance opened the way the codec manager opens one.
class Codec {
 public:
  explicit Codec(DWORD handler = kWbvk) {
    ICOPEN open = {};
    open.dwSize = sizeof(open);
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = handler;
    open.dwError = ICERR_ERROR;
    id_ = static_cast<DWORD_PTR>(CodecDriverProc(0, nullptr, DRV_OPEN, 0, P(&open)));
    openError_ = open.dwError;
  }
  ~Codec() { CodecDriverProc(id_, nullptr, DRV_CLOSE, 0, 0); }

  DWORD_PTR Id() const { return id_; }
  LRESULT OpenError() const { return openError_; }
  LRESULT Send(UINT message, LPARAM param1 = 0, LPARAM param2 = 0) {
    return CodecDriverProc(id_, nullptr, message, param1, param2);
  }
  void SetLevel(int level) {
    const uint8_t state[2] = {0x10, static_cast<uint8_t>(level)};
    Send(ICM_SETSTATE, P(state), 2);
  }

  struct Compressed {
    LRESULT result;
    Bytes data;
    bool key;
    DWORD ckid;
  };
  Compressed Compress(const TestFrame& frame, DWORD flags = 0) {
    BITMAPINFOHEADER input = DibHeader(frame.width, frame.height, frame.bitCount);
    BITMAPINFOHEADER output = DibHeader(frame.width, frame.height, frame.bitCount, kWbvk);
    const LRESULT bound = Send(ICM_COMPRESS_GET_SIZE, P(&input));
    // Exactly the size the host was told: deflate must not write a byte more.
    GuardedBuffer out(static_cast<size_t>(bound));
    DWORD frameFlags = 0;
    DWORD ckid = 0;
    ICCOMPRESS compress = {};
    compress.dwFlags = flags;
    compress.lpbiOutput = &output;
    compress.lpOutput = out.data();
    compress.lpbiInput = &input;
    compress.lpInput = const_cast<uint8_t*>(frame.bytes.data());
    compress.lpckid = &ckid;
    compress.lpdwFlags = &frameFlags;
    const LRESULT result = Send(ICM_COMPRESS, P(&compress), sizeof(compress));
    Compressed compressed{result, Bytes(), (frameFlags & AVIIF_KEYFRAME) != 0, ckid};
    if (result == ICERR_OK) compressed.data = out.Bytes(output.biSizeImage);
    return compressed;
  }
  LRESULT Decompress(const Bytes& data, TestFrame& frame) {
    BITMAPINFOHEADER input = DibHeader(frame.width, frame.height, frame.bitCount, kWbvk,
                                    static_cast<DWORD>(data.size()));
    BITMAPINFOHEADER output = DibHeader(frame.width, frame.height, frame.bitCount);
    GuardedBuffer in(data);
    GuardedBuffer out(frame.bytes.size());
    ICDECOMPRESS decompress = {};
    decompress.lpbiInput = &input;
    decompress.lpInput = in.data();
    decompress.lpbiOutput = &output;
    decompress.lpOutput = out.data();
    const LRESULT result = Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress));
    if (result == ICERR_OK) frame.bytes = out.Bytes(frame.bytes.size());
    return result;
  }

 private:
  DWORD_PTR id_ = 0;
  LRESULT openError_ = 0;
};

TEST(DriverMessages, AnswersTheFixedMessages) {
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_LOAD, 0, 0), 1);
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_INSTALL, 0, 0), 1);
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_QUERYCONFIGURE, 0, 0), 1);

  Codec codec;
  ASSERT_NE(codec.Id(), 0u);
  EXPECT_EQ(codec.OpenError(), ICERR_OK);
  DWORD value = 0;
  EXPECT_EQ(codec.Send(ICM_GETDEFAULTKEYFRAMERATE, P(&value)), ICERR_OK);
  EXPECT_EQ(value, 80u);
  EXPECT_EQ(codec.Send(ICM_GETDEFAULTQUALITY, P(&value)), ICERR_OK);
  EXPECT_EQ(value, 10000u);
  EXPECT_EQ(codec.Send(ICM_GETDEFAULTQUALITY, 0), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_CONFIGURE, -1), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_ABOUT, -1), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_DRAW_BEGIN), ICERR_UNSUPPORTED);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESSEX), ICERR_UNSUPPORTED);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_PALETTE), ICERR_BADFORMAT);
  EXPECT_EQ(codec.Send(ICM_USER + 0x300), ICERR_UNSUPPORTED);
  // Below the codec range: DefDriverProc, which knows nothing of this message.
  EXPECT_EQ(codec.Send(DRV_USER - 1), DefDriverProc(codec.Id(), nullptr, DRV_USER - 1, 0, 0));
}

TEST(DriverMessages, OpensOnlyVideoCodecs) {
  ICOPEN open = {};
  open.dwSize = sizeof(open);
  open.fccType = mmioFOURCC('v', 'i', 'd', 's');
  open.fccHandler = kWbvk;
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_OPEN, 0, P(&open)), 0);

  // Without an ICOPEN the instance takes the codec's own code.
  const DWORD_PTR id = static_cast<DWORD_PTR>(CodecDriverProc(0, nullptr, DRV_OPEN, 0, 0));
  ASSERT_NE(id, 0u);
  ICINFO info = {};
  EXPECT_EQ(CodecDriverProc(id, nullptr, ICM_GETINFO, P(&info), sizeof(info)), static_cast<LRESULT>(sizeof(info)));
  EXPECT_TRUE(SameFourcc(info.fccHandler, kWbvk));
  EXPECT_EQ(CodecDriverProc(id, nullptr, DRV_CLOSE, 0, 0), 1);
}

TEST(DriverMessages, UnknownAndStaleIdsAreRefused) {
  DWORD_PTR stale = 0;
  {
    Codec codec;
    stale = codec.Id();
  }
  const uint8_t state[2] = {0x10, 3};
  EXPECT_EQ(CodecDriverProc(stale, nullptr, ICM_SETSTATE, P(state), 2), ICERR_BADHANDLE);
  EXPECT_EQ(CodecDriverProc(stale, nullptr, ICM_COMPRESS, 0, 0), ICERR_BADHANDLE);
  EXPECT_EQ(CodecDriverProc(stale, nullptr, DRV_CLOSE, 0, 0), 0);
  EXPECT_EQ(CodecDriverProc(0x1234, nullptr, ICM_DECOMPRESS_QUERY, 0, 0), ICERR_BADHANDLE);
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_CLOSE, 0, 0), 1);
  // Configuring needs an instance's level: nothing is shown.
  EXPECT_EQ(CodecDriverProc(0, nullptr, DRV_CONFIGURE, 0, 0), 0);

  // Wine asks for the information with id 0: the codec's defaults answer.
  ICINFO info = {};
  EXPECT_EQ(CodecDriverProc(0, nullptr, ICM_GETINFO, P(&info), sizeof(info)), static_cast<LRESULT>(sizeof(info)));
  EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
  EXPECT_EQ(info.fccHandler, kWbvk);
  EXPECT_STREQ(info.szDescription, L"Quillory Codec");
}

TEST(DriverState, InformationBlock) {
  Codec codec(mmioFOURCC('W', 'B', 'V', 'K'));
  EXPECT_EQ(codec.Send(ICM_GETINFO, 0, 0), 568);
  ICINFO info;
  memset(&info, 0xCC, sizeof(info));
  EXPECT_EQ(codec.Send(ICM_GETINFO, P(&info), 567), 0);
  EXPECT_EQ(info.dwSize, 0xCCCCCCCCu);

  wcscpy(info.szDriver, L"velto.dll");
  ASSERT_EQ(codec.Send(ICM_GETINFO, P(&info), sizeof(info)), 568);
  EXPECT_EQ(info.dwSize, 568u);
  EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
  EXPECT_EQ(info.fccHandler, mmioFOURCC('W', 'B', 'V', 'K'));
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(VIDCF_TEMPORAL));
  EXPECT_EQ(info.dwVersion, 0x10000u);
  EXPECT_EQ(info.dwVersionICM, 0x104u);
  EXPECT_STREQ(info.szName, L"wbvk");
  EXPECT_STREQ(info.szDescription, L"Quillory Codec");
  EXPECT_STREQ(info.szDriver, L"velto.dll");
}

TEST(DriverState, TwoByteState) {
  Codec codec;
  EXPECT_EQ(codec.Send(ICM_GETSTATE, 0, 0), 2);
  uint8_t state[2] = {};
  EXPECT_EQ(codec.Send(ICM_GETSTATE, P(state), 1), ICERR_ERROR);
  ASSERT_EQ(codec.Send(ICM_GETSTATE, P(state), 2), ICERR_OK);
  EXPECT_EQ(state[0], 0x10);
  EXPECT_EQ(state[1], 6);

  const struct {
    uint8_t byte1;
    int level;
  } cases[] = {{0, 1}, {200, 9}, {4, 4}, {9, 9}, {10, 9}};
  for (const auto& c : cases) {
    const uint8_t set[2] = {0xFF, c.byte1};
    EXPECT_EQ(codec.Send(ICM_SETSTATE, P(set), 2), ICERR_OK);
    codec.Send(ICM_GETSTATE, P(state), 2);
    EXPECT_EQ(state[1], c.level) << int{c.byte1};
  }
  EXPECT_EQ(codec.Send(ICM_SETSTATE, P(state), 1), ICERR_ERROR);
  EXPECT_EQ(codec.Send(ICM_SETSTATE, 0, 0), ICERR_OK);
  codec.Send(ICM_GETSTATE, P(state), 2);
  EXPECT_EQ(state[1], 6);
}

TEST(DriverFormats, QueriesAndSizes) {
  Codec codec;
  BITMAPINFOHEADER one = DibHeader(1, 1, 8);
  EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, P(&one)), 44);
  BITMAPINFOHEADER screen = DibHeader(640, 480, 32);
  EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, P(&screen)),
            static_cast<LRESULT>(((640 * 8 + 2) * 480 + 2) * 1.015625 + 32));

  BITMAPINFOHEADER rgb = DibHeader(33, 7, 24);
  const DWORD imageSize = 100 * 7;  // stride 100
  BITMAPINFOHEADER packed = DibHeader(33, 7, 24, mmioFOURCC('W', 'b', 'V', 'k'));
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), 0), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_OK);
  packed.biSizeImage = imageSize;
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_OK);
  packed.biSizeImage = imageSize - 1;
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_BADFORMAT);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, P(&packed), P(&rgb)), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, P(&rgb), P(&rgb)), ICERR_BADFORMAT);

  const BITMAPINFOHEADER refused[] = {DibHeader(16, 16, 16, BI_BITFIELDS), DibHeader(16, -16, 32), DibHeader(0, 16, 32),
                                      DibHeader(16, 16, 4), DibHeader(40000, 40000, 32)};
  for (const BITMAPINFOHEADER& header : refused) {
    EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&header), 0), ICERR_BADFORMAT);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, P(&header), 0), ICERR_BADFORMAT);
    BITMAPINFOHEADER out;
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, P(&header), P(&out)), ICERR_BADFORMAT);
  }
  // Input and output of different geometry.
  BITMAPINFOHEADER other = DibHeader(34, 7, 24, kWbvk);
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&other)), ICERR_BADFORMAT);

  EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, P(&rgb), 0), 40);
  BITMAPINFOHEADER out[2];
  memset(out, 0xCC, sizeof(out));
  BITMAPV4HEADER larger = {};
  memcpy(&larger, &rgb, sizeof(rgb));
  larger.bV4Size = sizeof(larger);
  larger.bV4SizeImage = 12345;
  ASSERT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, P(&larger), P(out)), ICERR_OK);
  EXPECT_EQ(out[0].biSize, 40u);
  EXPECT_EQ(out[0].biCompression, kWbvk);
  EXPECT_EQ(out[0].biSizeImage, 12345u);
  EXPECT_EQ(out[0].biWidth, 33);
  EXPECT_EQ(out[1].biSize, 0xCCCCCCCCu);  // 40 bytes written, no more
  ASSERT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, P(&packed), P(out)), ICERR_OK);
  EXPECT_EQ(out[0].biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(out[0].biSizeImage, imageSize);
}

TEST(DriverFrames, KeyFramesAndUnchangedFrames) {
  Codec codec;
  std::mt19937 random(5);
  TestFrame frame(64, 48, 32);
  FillScreenLike(frame, random);
  BITMAPINFOHEADER input = DibHeader(64, 48, 32);
  BITMAPINFOHEADER output = DibHeader(64, 48, 32, kWbvk);
  ASSERT_EQ(codec.Send(ICM_COMPRESS_BEGIN, P(&input), P(&output)), ICERR_OK);

  std::vector<bool> keys;
  for (int i = 0; i < 200; ++i) {
    const Codec::Compressed compressed = codec.Compress(frame, i == 170 ? ICCOMPRESS_KEYFRAME : 0);
    ASSERT_EQ(compressed.result, ICERR_OK) << i;
    EXPECT_EQ(compressed.ckid, kWbvk);
    keys.push_back(compressed.key);
    if (!compressed.key) {
      EXPECT_EQ(compressed.data, (Bytes{0, 1})) << i;
    }
  }
  for (int i = 0; i < 200; ++i) EXPECT_EQ(keys[i], i == 0 || i == 80 || i == 160 || i == 170) << i;
  EXPECT_EQ(codec.Send(ICM_COMPRESS_END), ICERR_OK);
}

TEST(DriverFrames, RoundTripAtEveryDepthWithoutBegin) {
  std::mt19937 random(6);
  for (int bits : {8, 16, 24, 32}) {
    Codec codec;
    Codec reader;
    // Frames grow without a BEGIN in between: the buffers follow.
    for (int size : {17, 64, 255}) {
      TestFrame previous(size, size / 2 + 1, bits);
      FillScreenLike(previous, random);
      for (int i = 0; i < 3; ++i) {
        TestFrame current = previous;
        ChangeSome(current, random);
        const Codec::Compressed compressed = codec.Compress(current);
        ASSERT_EQ(compressed.result, ICERR_OK) << bits << " " << size;
        EXPECT_EQ(compressed.key, i == 0) << bits << " " << size;
        TestFrame decoded(current.width, current.height, bits);
        ASSERT_EQ(reader.Decompress(compressed.data, decoded), ICERR_OK) << bits << " " << size;
        EXPECT_TRUE(decoded.SamePixels(current)) << bits << " " << size << " " << i;
        previous = current;
      }
    }
    // A frame without changes decompresses to the kept frame.
    TestFrame decoded(255, 128, bits);
    TestFrame before = decoded;
    ASSERT_EQ(reader.Decompress({0, 1}, before), ICERR_OK);
    ASSERT_EQ(reader.Decompress({}, decoded), ICERR_OK);
    EXPECT_EQ(decoded.bytes, before.bytes);
  }
}

TEST(DriverFrames, IncompressibleFramesFitTheAnnouncedSize) {
  std::mt19937 random(7);
  for (int bits : {8, 16, 24, 32}) {
    for (int level : {1, 9}) {
      Codec codec;
      codec.SetLevel(level);
      TestFrame noise(97, 31, bits);
      for (uint8_t& byte : noise.bytes) byte = static_cast<uint8_t>(random());
      const Codec::Compressed key = codec.Compress(noise);
      ASSERT_EQ(key.result, ICERR_OK);
      TestFrame decoded(97, 31, bits);
      ASSERT_EQ(codec.Decompress(key.data, decoded), ICERR_OK);
      EXPECT_TRUE(decoded.SamePixels(noise));
    }
  }
}

TEST(DriverFrames, RefusesBadFrameCalls) {
  Codec codec;
  EXPECT_EQ(codec.Send(ICM_COMPRESS, 0, 0), ICERR_BADPARAM);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS, 0, 0), ICERR_BADPARAM);

  TestFrame frame(8, 8, 32);
  BITMAPINFOHEADER input = DibHeader(8, 8, 32);
  BITMAPINFOHEADER output = DibHeader(8, 9, 32, kWbvk);
  Bytes out(4096);
  DWORD flags = 0;
  ICCOMPRESS compress = {};
  compress.lpbiInput = &input;
  compress.lpInput = frame.bytes.data();
  compress.lpbiOutput = &output;
  compress.lpOutput = out.data();
  compress.lpdwFlags = &flags;
  EXPECT_EQ(codec.Send(ICM_COMPRESS, P(&compress), sizeof(compress)), ICERR_BADFORMAT);
  compress.lpInput = nullptr;
  output.biHeight = 8;
  EXPECT_EQ(codec.Send(ICM_COMPRESS, P(&compress), sizeof(compress)), ICERR_BADPARAM);

  // Damaged data and an output declared too small fail the frame.
  TestFrame decoded(8, 8, 32);
  EXPECT_EQ(codec.Decompress({0x78, 0x9C, 1, 2, 3, 4, 5}, decoded), ICERR_ERROR);
  const Bytes valid = codec.Compress(frame).data;
  BITMAPINFOHEADER packed = DibHeader(8, 8, 32, kWbvk, static_cast<DWORD>(valid.size()));
  BITMAPINFOHEADER small = DibHeader(8, 8, 32, BI_RGB, 8 * 8 * 4 - 1);
  ICDECOMPRESS decompress = {};
  decompress.lpbiInput = &packed;
  decompress.lpInput = const_cast<uint8_t*>(valid.data());
  decompress.lpbiOutput = &small;
  decompress.lpOutput = out.data();
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress)), ICERR_ERROR);
  small.biSizeImage = 0;
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress)), ICERR_OK);
}

}  // namespace
