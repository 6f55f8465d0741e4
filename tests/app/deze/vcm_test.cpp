// The Video-for-Windows driver wrappers: exact message sequences against the logging test codec,
// and compress/decompress round trips through real codecs (velto, Wine's msrle32).

#include "app/deze/source/vcm.h"

#include <gtest/gtest.h>

#include "common/bitmap.h"
#include "tests/app/deze/codecs.h"

namespace {

constexpr DWORD kMrle = mmioFOURCC('M', 'R', 'L', 'E');

struct Expected {
  DWORD_PTR driverId;
  uintptr_t handle;
  UINT message;
};

void ExpectCalls(const std::vector<Expected>& expected) {
  const std::vector<TestCodecCall> calls = CodecCalls();
  ASSERT_EQ(expected.size(), calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(expected[i].driverId, calls[i].driverId) << i;
    EXPECT_EQ(expected[i].handle, reinterpret_cast<uintptr_t>(calls[i].driver)) << i;
    EXPECT_EQ(expected[i].message, calls[i].message) << i;
  }
}

using VcmDllSequence = WithTestCodec;

TEST_F(VcmDllSequence, OpensMessagesAndClosesInTheDriverOrder) {
  for (bool compress : {true, false}) {
    TestCodecReset();
    {
      VcmDll codec(TestCodecPath().c_str(), kTestFourCC, compress);
      ASSERT_TRUE(codec.IsOpen());
      EXPECT_EQ(kTestFourCC, codec.GetFourCC());
      // Pointer-wide parameters reach the codec whole.
      const LPARAM wide1 = static_cast<LPARAM>(sizeof(LPARAM) == 8 ? 0x123456789ABCDEF0ll : 0x9ABCDEF0l);
      const LPARAM wide2 = -2;
      EXPECT_EQ(ICERR_UNSUPPORTED, codec.DriverMessage(ICM_GETSTATE, wide1, wide2));
      const std::vector<TestCodecCall> calls = CodecCalls();
      ASSERT_EQ(5u, calls.size());
      EXPECT_EQ(wide1, calls[4].param1);
      EXPECT_EQ(wide2, calls[4].param2);
      // Only the instance open carries the open block.
      EXPECT_FALSE(calls[2].hasOpen);
      ASSERT_TRUE(calls[3].hasOpen);
      const ICOPEN& open = calls[3].open;
      EXPECT_EQ(sizeof(ICOPEN), open.dwSize);
      EXPECT_EQ(ICTYPE_VIDEO, open.fccType);
      EXPECT_EQ(kTestFourCC, open.fccHandler);
      EXPECT_EQ(compress ? DWORD{ICMODE_COMPRESS} : DWORD{ICMODE_DECOMPRESS}, open.dwFlags);
      EXPECT_EQ(0u, open.dwVersion);
      EXPECT_EQ(0, static_cast<LONG>(open.dwError));
    }
    ExpectCalls({{0, 13, DRV_LOAD},
                 {0, 13, DRV_ENABLE},
                 {13, 13, DRV_OPEN},
                 {0, 1, DRV_OPEN},
                 {kTestInstanceId, 1, ICM_GETSTATE},
                 {kTestInstanceId, 1, DRV_CLOSE},
                 {kTestDriverId, 13, DRV_CLOSE},
                 {0, 13, DRV_DISABLE},
                 {0, 13, DRV_FREE}});
  }
}

TEST_F(VcmDllSequence, FailedOpensAreNeverClosed) {
  // The driver-level open refused: no instance open, no close, but the library is let go.
  TestCodecSetHook([](const TestCodecCall* call, LRESULT* result) {
    if (call->message != DRV_OPEN || call->hasOpen) return FALSE;
    *result = 0;
    return TRUE;
  });
  {
    VcmDll codec(TestCodecPath().c_str(), kTestFourCC, true);
    EXPECT_FALSE(codec.IsOpen());
    EXPECT_EQ(kDriverNotOpen, codec.DriverMessage(ICM_GETINFO, 0, 0));
  }
  ExpectCalls({{0, 13, DRV_LOAD}, {0, 13, DRV_ENABLE}, {13, 13, DRV_OPEN}, {0, 13, DRV_DISABLE}, {0, 13, DRV_FREE}});

  // The instance open refused: only the driver is closed.
  TestCodecReset();
  TestCodecSetHook([](const TestCodecCall* call, LRESULT* result) {
    if (call->message != DRV_OPEN || !call->hasOpen) return FALSE;
    *result = 0;
    return TRUE;
  });
  {
    VcmDll codec(TestCodecPath().c_str(), kTestFourCC, true);
    EXPECT_FALSE(codec.IsOpen());
  }
  ExpectCalls({{0, 13, DRV_LOAD},
               {0, 13, DRV_ENABLE},
               {13, 13, DRV_OPEN},
               {0, 1, DRV_OPEN},
               {kTestDriverId, 13, DRV_CLOSE},
               {0, 13, DRV_DISABLE},
               {0, 13, DRV_FREE}});

  // A library without DriverProc, and none at all: not open, and nothing is sent.
  for (const wchar_t* path : {L"version.dll", L"no-such-codec.dll"}) {
    VcmDll codec(path, kTestFourCC, true);
    EXPECT_FALSE(codec.IsOpen());
    EXPECT_EQ(kDriverNotOpen, codec.DriverMessage(ICM_GETINFO, 0, 0));
  }
  VcmDll none(nullptr, kTestFourCC, true);
  EXPECT_FALSE(none.IsOpen());
}

// Wine's run-length codec, reached in each of the three ways.
TEST(VcmDriver, OpensWinesRunLengthCodecThreeWays) {
  CountedPtr<VcmDriver> codecs[] = {
      CountedPtr<VcmDriver>(new VcmDll(L"msrle32.dll", kMrle, true)),
      CountedPtr<VcmDriver>(new VcmIc(mmioFOURCC('m', 'r', 'l', 'e'), true)),
      CountedPtr<VcmDriver>(new VcmDrv(mmioFOURCC('m', 'r', 'l', 'e'), true)),
  };
  for (const auto& codec : codecs) {
    ASSERT_TRUE(codec->IsOpen());
    ICINFO info = {};
    EXPECT_EQ(static_cast<LRESULT>(sizeof(ICINFO)), codec->DriverMessage(ICM_GETINFO, P(&info), sizeof(info)));
    EXPECT_EQ(ICTYPE_VIDEO, info.fccType);
    // An 8-bit frame is accepted, a 24-bit one is not.
    DibBuffer format(16, 8, 8);
    EXPECT_EQ(ICERR_OK, codec->DriverMessage(ICM_COMPRESS_QUERY, P(format.GetHeader()), 0));
    EXPECT_NE(ICERR_OK, codec->DriverMessage(ICM_COMPRESS_QUERY, P(DibBuffer(16, 8, 24).GetHeader()), 0));
  }
  EXPECT_FALSE(VcmIc(kTestFourCC, true).IsOpen());
  EXPECT_EQ(kDriverNotOpen, VcmDrv(kTestFourCC, true).DriverMessage(ICM_GETINFO, 0, 0));
}

// Encoder -> decoder -> sink over one codec library, for two runs of frames; each frame must come
// back as it went in.
void CheckRoundTrip(const wchar_t* library, DWORD fourcc, int bits, DWORD compression) {
  CountedPtr<VcmDriver> compressor(new VcmDll(library, fourcc, true));
  CountedPtr<VcmDriver> decompressor(new VcmDll(library, fourcc, false));
  ASSERT_TRUE(compressor->IsOpen() && decompressor->IsOpen());
  auto* decoder = new VcmDecoder(decompressor);
  auto* sink = new FrameSink;
  CountedPtr<MediaIn> decoderRef(decoder);
  decoder->SetSink(CountedPtr<MediaIn>(sink));
  VcmEncoder encoder(compressor);
  encoder.SetSink(decoderRef);

  DibBuffer format(40, 24, bits);
  if (bits <= 8) {
    // Wine's run-length codec insists on a counted colour table.
    format.GetHeader()->biClrUsed = 1u << bits;
    FillGreyColourTable(reinterpret_cast<RGBQUAD*>(format.GetData() + sizeof(BITMAPINFOHEADER)), bits);
  }
  ASSERT_TRUE(encoder.SetFormat(format));
  EXPECT_EQ(compression, encoder.GetOutputFormat().GetCompression());
  EXPECT_EQ(bits, sink->format.GetBitCount());
  EXPECT_EQ(BI_RGB, sink->format.GetCompression());
  // Two runs: the negotiated output format serves again after the first run's frames.
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(encoder.Begin());
    ASSERT_TRUE(decoder->Begin());
    for (int i = 0; i < 6; ++i) {
      const Bytes frame = PatternFrame(40, 24, bits, i);
      ASSERT_TRUE(encoder.ProcessFrame(FrameData(frame.data(), static_cast<int32_t>(frame.size()), i == 0)));
      ASSERT_EQ(static_cast<size_t>(run * 6 + i + 1), sink->frames.size());
      EXPECT_EQ(frame, sink->frames.back()) << run << " " << i;
    }
    encoder.End();
    decoder->End();
  }
  // A frame of the wrong size never reaches the codec.
  const Bytes wrong(40 * 24 * bits / 8 - 1);
  EXPECT_FALSE(encoder.ProcessFrame(FrameData(wrong.data(), static_cast<int32_t>(wrong.size()), true)));
}

TEST(VcmPipeline, RoundTripsThroughVeltoAt32Bits) { CheckRoundTrip(VeltoPath().c_str(), kWbvk, 32, kWbvk); }

TEST(VcmPipeline, RoundTripsThroughMsrleAt8Bits) { CheckRoundTrip(L"msrle32.dll", kMrle, 8, BI_RLE8); }

using VcmPipelineChecks = WithTestCodec;

// The test codec as a tiny compressor: formats of 40 bytes, frames of `frameSize` bytes.
LRESULT g_reportedSize = 0;

BOOL TinyCompressor(const TestCodecCall* call, LRESULT* result) {
  switch (call->message) {
    case ICM_COMPRESS_QUERY:
    case ICM_COMPRESS_BEGIN:
    case ICM_COMPRESS_END: *result = ICERR_OK; return TRUE;
    case ICM_COMPRESS_GET_FORMAT:
      if (call->param2) {
        *reinterpret_cast<BITMAPINFOHEADER*>(call->param2) = *reinterpret_cast<const BITMAPINFOHEADER*>(call->param1);
        reinterpret_cast<BITMAPINFOHEADER*>(call->param2)->biCompression = kTestFourCC;
      }
      *result = call->param2 ? ICERR_OK : sizeof(BITMAPINFOHEADER);
      return TRUE;
    case ICM_COMPRESS_GET_SIZE: *result = 100; return TRUE;
    case ICM_COMPRESS: {
      const auto* compress = reinterpret_cast<const ICCOMPRESS*>(call->param1);
      compress->lpbiOutput->biSizeImage = static_cast<DWORD>(g_reportedSize);
      *compress->lpdwFlags = AVIIF_KEYFRAME;
      *result = ICERR_OK;
      return TRUE;
    }
    default: return FALSE;
  }
}

TEST_F(VcmPipelineChecks, RefusesShortFormatsAndOversizedFrames) {
  TestCodecSetHook(TinyCompressor);
  CountedPtr<VcmDriver> codec(new VcmDll(TestCodecPath().c_str(), kTestFourCC, true));
  auto* sink = new FrameSink;
  VcmEncoder encoder(codec);
  EXPECT_TRUE(encoder.SetSink(CountedPtr<MediaIn>(sink)));

  const int before = TestCodecCallCount();
  EXPECT_FALSE(encoder.SetFormat(DibBuffer(std::vector<uint8_t>(39))));
  EXPECT_EQ(before, TestCodecCallCount());

  ASSERT_TRUE(encoder.SetFormat(DibBuffer(4, 4, 32)));
  const Bytes frame(64);
  g_reportedSize = 100;
  EXPECT_TRUE(encoder.ProcessFrame(FrameData(frame.data(), 64, true)));
  ASSERT_EQ(1u, sink->frames.size());
  EXPECT_EQ(100u, sink->frames[0].size());
  // The codec claims more than the buffer it announced.
  g_reportedSize = 101;
  EXPECT_FALSE(encoder.ProcessFrame(FrameData(frame.data(), 64, true)));
  EXPECT_EQ(1u, sink->frames.size());

  // Without a sink the format goes nowhere.
  VcmEncoder unconnected(codec);
  EXPECT_FALSE(unconnected.SetFormat(DibBuffer(4, 4, 32)));
  VcmEncoder noDriver{CountedPtr<VcmDriver>()};
  EXPECT_EQ(kDriverNotOpen, noDriver.DriverMessage(ICM_GETINFO, 0, 0));
}

}  // namespace
