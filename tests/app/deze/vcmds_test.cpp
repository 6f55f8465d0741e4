// The codec wrapper filter in Wine's filter graph: velto.dll as a real codec, the logging test
// codec for what the filter sends, the VP6 stand-in on the converter's path.

#include "app/deze/source/vcmds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "common/module.h"
#include "tests/app/deze/codecs.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;
constexpr int kWidth = 40;
constexpr int kHeight = 24;
constexpr size_t kFrameBytes = kWidth * kHeight * 4;

VcmEncoderFilter* NewEncoder() {
  HRESULT result = S_OK;
  return static_cast<VcmEncoderFilter*>(VcmEncoderFilter::CreateInstance(nullptr, &result));
}

struct EncoderGraph : TransformChain<VcmEncoderFilter> {
  explicit EncoderGraph(const CMediaType& type) : TransformChain(type, NewEncoder()) {}
  const VIDEOINFOHEADER& OutputInfo() const {
    return *reinterpret_cast<const VIDEOINFOHEADER*>(middle->OutputPin()->CurrentMediaType().Format());
  }
};

class VcmEncoderFilterTest : public WithTestCodec {
 protected:
  void TearDown() override {
    WithTestCodec::TearDown();
    EXPECT_EQ("", LiveObjects());
  }
};

// Decodes the samples in order with velto, from the output format the filter negotiated.
std::vector<Bytes> DecodeWithVelto(const CMediaType& outputType, const std::vector<CapturedSample>& samples) {
  auto* sink = new FrameSink;
  VcmDecoder decoder(CountedPtr<VcmDriver>(new VcmDll(VeltoPath().c_str(), kWbvk, false)));
  decoder.SetSink(CountedPtr<MediaIn>(sink));
  const BYTE* header = outputType.Format() + offsetof(VIDEOINFOHEADER, bmiHeader);
  const BYTE* end = outputType.Format() + outputType.FormatLength();
  EXPECT_TRUE(decoder.SetFormat(DibBuffer(std::vector<uint8_t>(header, end))));
  EXPECT_TRUE(decoder.Begin());
  for (const CapturedSample& sample : samples)
    EXPECT_TRUE(decoder.ProcessFrame(FrameData(sample.bytes.data(), static_cast<int32_t>(sample.bytes.size()), true)));
  decoder.End();
  std::vector<Bytes> frames = sink->frames;
  decoder.SetSink(CountedPtr<MediaIn>());
  return frames;
}

TEST_F(VcmEncoderFilterTest, CompressesWithVeltoAcrossTwoRuns) {
  RunWithDeadline(kDeadlineMs, [] {
    EncoderGraph chain(RgbVideoType(kWidth, kHeight, 32));
    ASSERT_EQ(S_OK, chain.middle->LoadDriver(VeltoPath().c_str(), kWbvk));
    ASSERT_EQ(S_OK, chain.Connect());
    const CMediaType& output = chain.middle->OutputPin()->CurrentMediaType();
    EXPECT_EQ(FOURCCMap(kWbvk), output.subtype);
    EXPECT_EQ(1128u, output.FormatLength());
    EXPECT_EQ(kWbvk, chain.OutputInfo().bmiHeader.biCompression);
    EXPECT_TRUE(output.bTemporalCompression);

    std::vector<Bytes> sent;
    // Stop and run again: the connection's output header must still be the one negotiated.
    for (int run = 0; run < 2; ++run) {
      ASSERT_EQ(S_OK, chain.graph.Run());
      // A short frame fails alone; the codec never reads past the sample.
      const Bytes frame = PatternFrame(kWidth, kHeight, 32, 9);
      EXPECT_EQ(E_FAIL, chain.source->Pin(0)->Push(Bytes(frame.begin(), frame.end() - 4), 0, 1));
      for (int i = 0; i < 4; ++i) {
        const int index = run * 4 + i;
        sent.push_back(PatternFrame(kWidth, kHeight, 32, index));
        EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(sent.back(), index * 400000, (index + 1) * 400000, false));
      }
      ASSERT_EQ(S_OK, chain.graph.Stop());
    }
    EXPECT_EQ(40u * 24u * 4u, chain.OutputInfo().bmiHeader.biSizeImage);

    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(8u, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 400000, samples[i].start);
      EXPECT_EQ(static_cast<REFERENCE_TIME>(i + 1) * 400000, samples[i].stop);
      // Every frame goes to the codec as a key frame request; velto makes one each time.
      EXPECT_TRUE(samples[i].syncPoint);
      EXPECT_LT(samples[i].bytes.size(), kFrameBytes);
    }
    EXPECT_EQ(sent, DecodeWithVelto(output, samples));
  });
}

// The test codec in front of velto: every ICM_COMPRESS is recorded, and the codec's key-frame flag
// is cleared on every second frame.
std::mutex g_compressLock;
std::vector<ICCOMPRESS> g_compressed;
DriverProcFunction g_velto = nullptr;

BOOL AlternateKeyFrames(const TestCodecCall* call, LRESULT* result) {
  if (call->message != ICM_COMPRESS) return FALSE;
  *result = g_velto(call->driverId, call->driver, call->message, call->param1, call->param2);
  auto* compress = reinterpret_cast<ICCOMPRESS*>(call->param1);
  std::lock_guard<std::mutex> lock(g_compressLock);
  if (g_compressed.size() % 2 == 1) *compress->lpdwFlags &= ~AVIIF_KEYFRAME;
  g_compressed.push_back(*compress);
  return TRUE;
}

TEST_F(VcmEncoderFilterTest, SyncPointsFollowTheCodecAndBeginEndBracketStreaming) {
  g_velto = GetProcedure<DriverProcFunction>(LoadLibraryW(VeltoPath().c_str()), "DriverProc");
  ASSERT_NE(nullptr, g_velto);
  g_compressed.clear();
  ASSERT_TRUE(TestCodecForwardTo(VeltoPath().c_str()));
  TestCodecSetHook(AlternateKeyFrames);
  RunWithDeadline(kDeadlineMs, [] {
    EncoderGraph chain(RgbVideoType(kWidth, kHeight, 32));
    ASSERT_EQ(S_OK, chain.middle->LoadDriver(TestCodecPath().c_str(), kWbvk));
    ASSERT_EQ(S_OK, chain.Connect());
    const size_t connected = CodecMessages().size();
    ASSERT_EQ(S_OK, chain.graph.Run());
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(PatternFrame(kWidth, kHeight, 32, i), i, i + 1));
    ASSERT_EQ(S_OK, chain.graph.Stop());

    const std::vector<UINT> messages = CodecMessages();
    EXPECT_EQ((std::vector<UINT>{ICM_COMPRESS_BEGIN, ICM_COMPRESS, ICM_COMPRESS, ICM_COMPRESS, ICM_COMPRESS,
                                 ICM_COMPRESS_END}),
              std::vector<UINT>(messages.begin() + static_cast<ptrdiff_t>(connected), messages.end()));
    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(4u, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(i % 2 == 0, samples[i].syncPoint) << i;
  });
  ASSERT_EQ(4u, g_compressed.size());
  for (const ICCOMPRESS& compress : g_compressed) {
    EXPECT_EQ(DWORD{ICCOMPRESS_KEYFRAME}, compress.dwFlags);
    EXPECT_EQ(1, compress.lFrameNum);
    EXPECT_EQ(0u, compress.dwQuality);
    EXPECT_EQ(0u, compress.dwFrameSize);
    EXPECT_EQ(nullptr, compress.lpckid);
    EXPECT_EQ(nullptr, compress.lpbiPrev);
    EXPECT_EQ(nullptr, compress.lpPrev);
  }
}

TEST_F(VcmEncoderFilterTest, CodecLoadingAndDriverMessages) {
  VcmEncoderFilter* filter = NewEncoder();
  ComPtr<IBaseFilter> filterRef(filter);
  ComPtr<IVcmDriver> driver = ComPtr<IVcmDriver>::QueryFrom(filterRef.Get());
  ComPtr<IAMVfwCompressDialogs> dialogs = ComPtr<IAMVfwCompressDialogs>::QueryFrom(filterRef.Get());
  ASSERT_TRUE(driver.IsValid() && dialogs.IsValid());
  ComPtr<IUnknown> byPlatformId;
  EXPECT_EQ(S_OK, filter->QueryInterface(IID_IAMVfwCompressDialogs, reinterpret_cast<void**>(byPlatformId.Clear())));

  EXPECT_EQ(kDriverNotOpen, dialogs->SendDriverMessage(ICM_GETSTATE, 0, 0));
  EXPECT_EQ(E_NOTIMPL, dialogs->ShowDialog(VfwCompressDialog_Config, nullptr));

  EXPECT_EQ(E_POINTER, driver->LoadDriver(nullptr, kWbvk));
  ASSERT_EQ(S_OK, driver->LoadDriver(VeltoPath().c_str(), kWbvk));
  EXPECT_EQ(2, driver->DriverMessage(ICM_GETSTATE, 0, 0));  // the size of velto's state
  // A null path keeps the codec in place; a library that is no codec replaces it.
  EXPECT_EQ(E_POINTER, driver->LoadDriver(nullptr, kWbvk));
  EXPECT_EQ(2, dialogs->SendDriverMessage(ICM_GETSTATE, 0, 0));
  EXPECT_EQ(E_FAIL, driver->LoadDriver(L"version.dll", kWbvk));
  EXPECT_EQ(kDriverNotOpen, driver->DriverMessage(ICM_GETSTATE, 0, 0));

  // Without a codec no input is taken and no output offered.
  const CMediaType rgb = RgbVideoType(8, 8, 32);
  EXPECT_EQ(S_FALSE, filter->CheckInputType(&rgb));
  EXPECT_EQ(E_POINTER, filter->CheckInputType(nullptr));

  // The codec cannot change under a running graph.
  RunWithDeadline(kDeadlineMs, [] {
    EncoderGraph chain(RgbVideoType(kWidth, kHeight, 32));
    ASSERT_EQ(S_OK, chain.middle->LoadDriver(VeltoPath().c_str(), kWbvk));
    ASSERT_EQ(S_OK, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(VFW_E_NOT_STOPPED, chain.middle->LoadDriver(L"version.dll", kWbvk));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(PatternFrame(kWidth, kHeight, 32, 0), 0, 1));
    ASSERT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(1u, chain.sink->Samples().size());
    EXPECT_EQ(S_OK, chain.middle->LoadDriver(VeltoPath().c_str(), kWbvk));
  });
}

// The test codec as a compressor with formats of a chosen size whose frames are 10,000 bytes.
LRESULT g_formatSize = sizeof(BITMAPINFOHEADER);

BOOL FixedSizeCompressor(const TestCodecCall* call, LRESULT* result) {
  const auto* input = reinterpret_cast<const BITMAPINFOHEADER*>(call->param1);
  switch (call->message) {
    case ICM_COMPRESS_QUERY: *result = input->biBitCount == 32 ? ICERR_OK : ICERR_BADFORMAT; return TRUE;
    case ICM_COMPRESS_GET_FORMAT:
      if (call->param2) {
        auto* output = reinterpret_cast<BITMAPINFOHEADER*>(call->param2);
        std::memset(output, 0xEE, static_cast<size_t>(g_formatSize));  // the codec fills all of it
        *output = *input;
        output->biCompression = kTestFourCC;
        output->biSizeImage = 10000;
      }
      *result = call->param2 ? ICERR_OK : g_formatSize;
      return TRUE;
    case ICM_COMPRESS_GET_SIZE: *result = 12345; return TRUE;
    default: return FALSE;
  }
}

TEST_F(VcmEncoderFilterTest, TypesFormatsAndBuffers) {
  TestCodecSetHook(FixedSizeCompressor);
  RunWithDeadline(kDeadlineMs, [] {
    EncoderGraph chain(RgbVideoType(kWidth, kHeight, 32));
    VcmEncoderFilter* filter = chain.middle;
    ASSERT_EQ(S_OK, filter->LoadDriver(TestCodecPath().c_str(), kTestFourCC));
    CMediaType type;
    EXPECT_EQ(E_INVALIDARG, filter->GetMediaType(-1, &type));
    EXPECT_EQ(E_INVALIDARG, filter->GetMediaType(0, nullptr));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, filter->GetMediaType(1, &type));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, filter->GetMediaType(0, &type));

    // A compressed input is refused without asking the codec; the codec refuses 24 bits.
    const int before = TestCodecCallCount();
    const CMediaType compressed = RgbVideoType(kWidth, kHeight, 24, kVp62);
    EXPECT_EQ(S_FALSE, filter->CheckInputType(&compressed));
    EXPECT_EQ(before, TestCodecCallCount());
    const CMediaType rgb24 = RgbVideoType(kWidth, kHeight, 24);
    EXPECT_EQ(S_FALSE, filter->CheckInputType(&rgb24));

    ASSERT_EQ(S_OK, chain.ConnectInput());
    ASSERT_EQ(S_OK, filter->GetMediaType(0, &type));
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
    EXPECT_EQ(MEDIATYPE_Video, type.majortype);
    EXPECT_EQ(FOURCCMap(kTestFourCC), type.subtype);
    EXPECT_EQ(FORMAT_VideoInfo, type.formattype);
    EXPECT_FALSE(type.bFixedSizeSamples);
    EXPECT_TRUE(type.bTemporalCompression);
    EXPECT_EQ(ULONG{kWidth * kHeight * 4}, type.lSampleSize);
    EXPECT_EQ(1128u, type.FormatLength());
    EXPECT_EQ(400000, info->AvgTimePerFrame);
    // 10,000 bytes a frame at 25 frames a second.
    EXPECT_EQ(2000000u, info->dwBitRate);

    // The proposed type stays as it was; only what the codec makes of the input is accepted.
    const CMediaType proposed(type);
    EXPECT_EQ(S_OK, filter->CheckTransform(&chain.middle->InputPin()->CurrentMediaType(), &proposed));
    EXPECT_TRUE(proposed == type);
    CMediaType other(type);
    reinterpret_cast<VIDEOINFOHEADER*>(other.Format())->bmiHeader.biWidth = kWidth + 2;
    EXPECT_EQ(E_FAIL, filter->CheckTransform(&chain.middle->InputPin()->CurrentMediaType(), &other));

    // A codec format larger than the usual block makes the block larger.
    g_formatSize = 2000;
    ASSERT_EQ(S_OK, filter->GetMediaType(0, &type));
    EXPECT_EQ(2048u, type.FormatLength());
    g_formatSize = sizeof(BITMAPINFOHEADER);

    ASSERT_EQ(S_OK, chain.ConnectOutput());
    ALLOCATOR_PROPERTIES properties = {};
    ASSERT_EQ(S_OK, filter->OutputPin()->Allocator()->GetProperties(&properties));
    EXPECT_EQ(1, properties.cBuffers);
    EXPECT_LE(12345, properties.cbBuffer);
  });

  RunWithDeadline(kDeadlineMs, [] {
    CMediaType noRate = RgbVideoType(kWidth, kHeight, 32);
    reinterpret_cast<VIDEOINFOHEADER*>(noRate.Format())->AvgTimePerFrame = 0;
    EncoderGraph chain(noRate);
    ASSERT_EQ(S_OK, chain.middle->LoadDriver(TestCodecPath().c_str(), kTestFourCC));
    ASSERT_EQ(S_OK, chain.ConnectInput());
    CMediaType type;
    EXPECT_EQ(E_FAIL, chain.middle->GetMediaType(0, &type));
    EXPECT_TRUE(FAILED(chain.ConnectOutput()));
  });
}

// The converter's path: the VP6 stand-in loaded by file name, its state read through the filter.
TEST_F(VcmEncoderFilterTest, CarriesTheVp6StandIn) {
  RunWithDeadline(kDeadlineMs, [] {
    EncoderGraph chain(RgbVideoType(64, 48, 32));
    chain.source->Pin(0)->SetBuffers(2, 64 * 48 * 4);
    ASSERT_EQ(S_OK, chain.middle->LoadDriver(Beside(L"vp6vfw.dll").c_str(), kVp62));
    EXPECT_EQ(0x104, chain.middle->SendDriverMessage(ICM_GETSTATE, 0, 0));
    ASSERT_EQ(S_OK, chain.Connect());
    // {32365056-0000-0010-8000-00AA00389B71}
    EXPECT_EQ(0x32365056u, chain.middle->OutputPin()->CurrentMediaType().subtype.Data1);
    ASSERT_EQ(S_OK, chain.graph.Run());
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(PatternFrame(64, 48, 32, i), i * 400000, (i + 1) * 400000));
    ASSERT_EQ(S_OK, chain.graph.Stop());
    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(3u, samples.size());
    for (const CapturedSample& sample : samples) {
      ASSERT_EQ(6u + 4u * 3u, sample.bytes.size());  // header and one byte per 16x16 block
      EXPECT_EQ(0, sample.bytes[0] & 0x80);             // key frames
      EXPECT_EQ(3, sample.bytes[2]);
      EXPECT_EQ(4, sample.bytes[3]);
      EXPECT_TRUE(sample.syncPoint);
    }
  });
}

}  // namespace
