#include "app/velto/source/driver.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/app/velto/codec.h"

namespace {

TEST(DriverMessages, FixedAnswersAndUnknownIds) {
  EXPECT_EQ(Send(0, DRV_LOAD), 1);
  EXPECT_EQ(Send(0, DRV_QUERYCONFIGURE), 1);
  EXPECT_EQ(Open(mmioFOURCC('v', 'i', 'd', 's'), kWbvk), 0u);
  LRESULT error = 0;
  const DWORD_PTR stale = Open(ICTYPE_VIDEO, kWbvk, &error);
  EXPECT_EQ(error, ICERR_OK);
  Codec codec;  // opened before the close, so it cannot take the stale address
  EXPECT_EQ(Send(stale, DRV_CLOSE), 1);
  DWORD value = 0;
  EXPECT_EQ(codec.Send(ICM_GETDEFAULTKEYFRAMERATE, P(&value)), ICERR_OK);
  EXPECT_EQ(value, 80u);
  EXPECT_EQ(codec.Send(ICM_GETDEFAULTQUALITY, P(&value)), ICERR_OK);
  EXPECT_EQ(value, 10000u);
  EXPECT_EQ(codec.Send(ICM_CONFIGURE, -1), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_ABOUT, -1), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_DRAW_BEGIN), ICERR_UNSUPPORTED);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESSEX), ICERR_UNSUPPORTED);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_PALETTE), ICERR_BADFORMAT);
  EXPECT_EQ(codec.Send(ICM_USER + 0x300), ICERR_UNSUPPORTED);
  EXPECT_EQ(codec.Send(DRV_USER - 1), DefDriverProc(codec.Id(), nullptr, DRV_USER - 1, 0, 0));

  // Stale and made-up ids are refused, never followed.
  const uint8_t state[2] = {0x10, 3};
  EXPECT_EQ(Send(stale, ICM_SETSTATE, P(state), 2), ICERR_BADHANDLE);
  EXPECT_EQ(Send(stale, ICM_COMPRESS), ICERR_BADHANDLE);
  EXPECT_EQ(Send(stale, DRV_CLOSE), 0);
  EXPECT_EQ(Send(0x1234, ICM_DECOMPRESS_QUERY), ICERR_BADHANDLE);
  EXPECT_EQ(Send(0, DRV_CONFIGURE), 0);  // needs an instance's level; shows nothing
  // Every message that works on an instance is refused for a made-up id and answered for an open one.
  for (UINT message : {ICM_COMPRESS_GET_FORMAT, ICM_COMPRESS_QUERY, ICM_COMPRESS_BEGIN, ICM_COMPRESS, ICM_COMPRESS_END,
                       ICM_DECOMPRESS_GET_FORMAT, ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_BEGIN, ICM_DECOMPRESS,
                       ICM_DECOMPRESS_END, ICM_GETSTATE, ICM_SETSTATE}) {
    EXPECT_EQ(Send(0x1234, message), ICERR_BADHANDLE) << message;
    const LRESULT answer = codec.Send(message);
    EXPECT_NE(answer, ICERR_BADHANDLE) << message;
    EXPECT_NE(answer, ICERR_UNSUPPORTED) << message;
  }
  // Wine asks for the information with id 0: the codec's defaults answer.
  ICINFO info = {};
  EXPECT_EQ(Send(0, ICM_GETINFO, P(&info), sizeof(info)), 568);
  EXPECT_EQ(info.fccHandler, kWbvk);
  EXPECT_STREQ(info.szDescription, L"Quillory Codec");
}

TEST(DriverState, InformationAndState) {
  Codec codec(mmioFOURCC('W', 'B', 'V', 'K'));
  EXPECT_EQ(codec.Send(ICM_GETINFO), 568);
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
  EXPECT_STREQ(info.szDriver, L"velto.dll");

  EXPECT_EQ(codec.Send(ICM_GETSTATE), 2);
  uint8_t state[2] = {};
  EXPECT_EQ(codec.Send(ICM_GETSTATE, P(state), 1), ICERR_ERROR);
  ASSERT_EQ(codec.Send(ICM_GETSTATE, P(state), 2), ICERR_OK);
  EXPECT_EQ(state[0], 0x10);
  EXPECT_EQ(state[1], 6);
  const std::pair<int, int> levels[] = {{0, 1}, {200, 9}, {4, 4}, {10, 9}};  // state byte 1, level
  for (const auto& [byte1, level] : levels) {
    const uint8_t set[2] = {0xFF, static_cast<uint8_t>(byte1)};
    EXPECT_EQ(codec.Send(ICM_SETSTATE, P(set), 2), ICERR_OK);
    EXPECT_EQ(codec.Level(), level) << byte1;
  }
  EXPECT_EQ(codec.Send(ICM_SETSTATE, P(state), 1), ICERR_ERROR);
  EXPECT_EQ(codec.Send(ICM_SETSTATE), ICERR_OK);
  EXPECT_EQ(codec.Level(), 6);
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
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, P(&packed), P(&rgb)), ICERR_OK);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, P(&rgb), P(&rgb)), ICERR_BADFORMAT);
  packed.biSizeImage = imageSize;
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_OK);
  packed.biSizeImage = imageSize - 1;
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&packed)), ICERR_BADFORMAT);
  BITMAPINFOHEADER otherSize = DibHeader(34, 7, 24, kWbvk);
  EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&rgb), P(&otherSize)), ICERR_BADFORMAT);
  for (const BITMAPINFOHEADER& header : {DibHeader(16, 16, 16, BI_BITFIELDS), DibHeader(16, -16, 32),
                                         DibHeader(16, 16, 4), DibHeader(40000, 40000, 32)}) {
    BITMAPINFOHEADER out;
    EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, P(&header)), ICERR_BADFORMAT);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, P(&header)), ICERR_BADFORMAT);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, P(&header), P(&out)), ICERR_BADFORMAT);
  }

  EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, P(&rgb)), 40);
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
  ASSERT_EQ(codec.Send(ICM_COMPRESS_BEGIN, P(&input)), ICERR_OK);
  for (int i = 0; i < 200; ++i) {
    const Codec::Compressed compressed = codec.Compress(frame, i == 170 ? ICCOMPRESS_KEYFRAME : 0);
    ASSERT_EQ(compressed.result, ICERR_OK) << i;
    EXPECT_EQ(compressed.key, i == 0 || i == 80 || i == 160 || i == 170) << i;
    EXPECT_EQ(compressed.key, compressed.data != Bytes({0, 1})) << i;
  }
}

// Frames grow without a BEGIN, noise leaves deflate nothing to gain, and the compressed frame still
// fits the size the host was told; a 2-byte frame repeats the kept frame.
TEST(DriverFrames, GrowingAndIncompressibleFramesRoundTrip) {
  std::mt19937 random(6);
  for (int bits : {8, 16, 24, 32}) {
    Codec codec;
    Codec reader;
    codec.SetLevel(bits == 8 ? 9 : 1);
    for (int size : {17, 255}) {
      TestFrame frame(size, size / 2 + 1, bits);
      for (uint8_t& byte : frame.bytes) byte = static_cast<uint8_t>(random());
      for (int i = 0; i < 2; ++i) {
        ChangeSome(frame, random);
        const Codec::Compressed compressed = codec.Compress(frame);
        ASSERT_EQ(compressed.result, ICERR_OK) << bits << " " << size;
        EXPECT_EQ(compressed.key, i == 0);
        TestFrame decoded(frame.width, frame.height, bits);
        ASSERT_EQ(reader.Decompress(compressed.data, decoded), ICERR_OK);
        EXPECT_TRUE(decoded.SamePixels(frame)) << bits << " " << size << " " << i;
        TestFrame repeated(frame.width, frame.height, bits);
        ASSERT_EQ(reader.Decompress({0, 1}, repeated), ICERR_OK);
        EXPECT_EQ(repeated.bytes, decoded.bytes);
      }
    }
  }
}

TEST(DriverFrames, RefusesBadFrameCalls) {
  Codec codec;
  EXPECT_EQ(codec.Send(ICM_COMPRESS), ICERR_BADPARAM);
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS), ICERR_BADPARAM);
  TestFrame frame(8, 8, 32);
  BITMAPINFOHEADER input = DibHeader(8, 8, 32);
  BITMAPINFOHEADER output = DibHeader(8, 9, 32, kWbvk);
  Bytes out(4096);
  DWORD flags = 0;
  ICCOMPRESS compress = Frame(&input, frame.bytes.data(), &output, out.data(), &flags);
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
  ICDECOMPRESS decompress = Unframe(&packed, const_cast<uint8_t*>(valid.data()), &small, out.data());
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress)), ICERR_ERROR);
  small.biSizeImage = 0;
  EXPECT_EQ(codec.Send(ICM_DECOMPRESS, P(&decompress), sizeof(decompress)), ICERR_OK);
}

}  // namespace
