#include "app/deze/source/flip.h"

#include <gtest/gtest.h>

#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

class Flip : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

// source -> Frame Flip -> sink for frames of one format.
struct FlipGraph : TransformChain<FlipFilter> {
  explicit FlipGraph(const CMediaType& type) : TransformChain(type, NewFlip()) {}
  static FlipFilter* NewFlip() {
    HRESULT result = S_OK;
    return static_cast<FlipFilter*>(FlipFilter::CreateInstance(nullptr, &result));
  }
};

std::vector<uint8_t> Frame(size_t bytes) {
  std::vector<uint8_t> frame(bytes);
  for (size_t i = 0; i < bytes; ++i) frame[i] = static_cast<uint8_t>(i * 7 + 1);
  return frame;
}

std::vector<uint8_t> RowsReversed(const std::vector<uint8_t>& frame, size_t stride) {
  std::vector<uint8_t> flipped;
  for (size_t row = frame.size() / stride; row-- > 0;)
    flipped.insert(flipped.end(), frame.begin() + row * stride, frame.begin() + (row + 1) * stride);
  return flipped;
}

TEST_F(Flip, TurnsFramesUpsideDownRowByRow) {
  const struct {
    int32_t width, height;
    int bits;
    size_t stride;
  } cases[] = {
      {1, 1, 32, 4}, {2, 2, 32, 8}, {2, 3, 32, 8}, {3, 2, 24, 12}, {3, -3, 24, 12}, {5, 4, 16, 12},
  };
  RunWithDeadline(kDeadlineMs, [&] {
    for (const auto& c : cases) {
      FlipGraph chain(RgbVideoType(c.width, c.height, c.bits));
      ASSERT_EQ(S_OK, chain.Connect());
      ASSERT_EQ(S_OK, chain.graph.Run());
      const std::vector<uint8_t> frame = Frame(c.stride * static_cast<size_t>(std::abs(c.height)));
      EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(frame, 0, 400000));
      EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(frame, 400000, 800000));
      EXPECT_EQ(S_OK, chain.graph.Stop());
      const std::vector<CapturedSample> samples = chain.sink->Samples();
      ASSERT_EQ(2u, samples.size());
      EXPECT_EQ(RowsReversed(frame, c.stride), samples[1].bytes) << c.width << "x" << c.height << "x" << c.bits;
      EXPECT_EQ(400000, samples[1].start);
    }
  });
}

TEST_F(Flip, TakesUncompressedVideoOnly) {
  FlipFilter* flip = FlipGraph::NewFlip();
  ComPtr<IBaseFilter> flipRef(flip);
  const struct {
    CMediaType type;
    HRESULT expected;
  } cases[] = {
      {RgbVideoType(4, 4, 32), S_OK},
      {RgbVideoType(4, 4, 16, BI_BITFIELDS), S_OK},
      {RgbVideoType(4, 4, 24, MAKEFOURCC('V', 'P', '6', '2')), S_FALSE},
      {RgbVideoType(4, 4, 8, BI_RLE8), S_FALSE},
      {CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM), VFW_E_TYPE_NOT_ACCEPTED},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, flip->CheckInputType(&c.type));
  EXPECT_EQ(E_POINTER, flip->CheckInputType(nullptr));
  EXPECT_EQ(L"In", flip->InputPin()->Name());
  EXPECT_EQ(L"Out", flip->OutputPin()->Name());

  RunWithDeadline(kDeadlineMs, [] {
    FlipGraph chain(RgbVideoType(4, 4, 24, MAKEFOURCC('V', 'P', '6', '2')));
    EXPECT_TRUE(FAILED(chain.Connect()));
    EXPECT_FALSE(chain.middle->InputPin()->IsConnected());
  });
}

TEST_F(Flip, ShortFrameFailsAndTheNextOnePasses) {
  RunWithDeadline(kDeadlineMs, [] {
    FlipGraph chain(RgbVideoType(4, 3, 32));
    ASSERT_EQ(S_OK, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Run());
    const std::vector<uint8_t> frame = Frame(48);
    EXPECT_EQ(E_FAIL, chain.source->Pin(0)->Push(std::vector<uint8_t>(frame.begin(), frame.end() - 1), 0, 1));
    EXPECT_EQ(E_FAIL, chain.source->Pin(0)->Push({}, 0, 1));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(frame, 1, 2));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(1u, samples.size());
    EXPECT_EQ(RowsReversed(frame, 16), samples[0].bytes);
  });
}

TEST_F(Flip, CopiesFramesItMayNotWriteInPlace) {
  RunWithDeadline(kDeadlineMs, [] {
    for (bool readOnlySource : {false, true}) {
      FlipGraph chain(RgbVideoType(2, 2, 32));
      if (readOnlySource)
        chain.source->Pin(0)->SetReadOnly(true);
      else
        chain.sink->InsistOnOwnAllocator();
      ASSERT_EQ(S_OK, chain.Connect());
      EXPECT_TRUE(chain.middle->UsingDifferentAllocators());
      EXPECT_NE(chain.source->Pin(0)->Allocator(), chain.sink->Pin()->Allocator());
      ASSERT_EQ(S_OK, chain.graph.Run());
      const std::vector<uint8_t> frame = Frame(16);
      EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(frame, 5, 6, false));
      EXPECT_EQ(S_OK, chain.graph.Stop());
      const std::vector<CapturedSample> samples = chain.sink->Samples();
      ASSERT_EQ(1u, samples.size());
      EXPECT_EQ(RowsReversed(frame, 8), samples[0].bytes);
      EXPECT_EQ(5, samples[0].start);
      EXPECT_FALSE(samples[0].syncPoint);
    }
  });
}

}  // namespace
