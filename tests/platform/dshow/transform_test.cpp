// The transform base classes in Wine's filter graph manager: a plain transform and an in-place
// pass-through between a test source and a test sink.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

class Transform : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> values) { return values; }

// Writes each sample's bytes reversed into a new buffer.
class Reverser : public CTransformFilter {
 public:
  Reverser() : CTransformFilter(L"Reverser", nullptr, GUID_NULL) {}

  HRESULT CheckInputType(const CMediaType* type) override {
    return *type->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
  }
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override { return *in == *out ? S_OK : S_FALSE; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(InputPin()->CurrentMediaType());
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = 64;
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(request, &actual);
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    in->GetPointer(&from);
    out->GetPointer(&to);
    const long length = in->GetActualDataLength();
    std::reverse_copy(from, from + length, to);
    return out->SetActualDataLength(length);
  }
  HRESULT StartStreaming() override {
    ++started;
    return S_OK;
  }
  HRESULT StopStreaming() override {
    ++stopped;
    return S_OK;
  }

  int started = 0;
  int stopped = 0;

 private:
  LiveCount live_{LiveKind::kFilter};
};

CMediaType StreamType() { return CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None); }

TEST_F(Transform, TransformBracketsStreamingAndCopiesSampleProperties) {
  RunWithDeadline(kDeadlineMs, [] {
    TransformChain<Reverser> chain(StreamType(), new Reverser);
    ASSERT_EQ(S_OK, chain.ConnectInput());
    ASSERT_EQ(S_OK, chain.ConnectOutput());
    EXPECT_EQ(L"In", chain.middle->InputPin()->Name());
    EXPECT_EQ(L"Out", chain.middle->OutputPin()->Name());
    ASSERT_EQ(S_OK, chain.graph.Pause());
    EXPECT_EQ(1, chain.middle->started);
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(Bytes({1, 2, 3}), 40, 80, false));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->SendEndOfStream());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    ASSERT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(1, chain.middle->stopped);
    ASSERT_EQ(S_OK, chain.graph.Run());
    ASSERT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(2, chain.middle->started);
    EXPECT_EQ(2, chain.middle->stopped);

    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(1u, samples.size());
    EXPECT_EQ(Bytes({3, 2, 1}), samples[0].bytes);
    EXPECT_EQ(40, samples[0].start);
    EXPECT_EQ(80, samples[0].stop);
    EXPECT_FALSE(samples[0].syncPoint);
  });
}

TEST_F(Transform, OutputConnectsOnlyAfterTheInput) {
  RunWithDeadline(kDeadlineMs, [] {
    TransformChain<Reverser> chain(StreamType(), new Reverser);
    EXPECT_TRUE(FAILED(chain.ConnectOutput()));
    ASSERT_EQ(S_OK, chain.ConnectInput());
    ASSERT_EQ(S_OK, chain.ConnectOutput());
    // Pausing with the input gone ends the stream downstream instead of starting it.
    ASSERT_EQ(S_OK, chain.graph.Get()->Disconnect(chain.source->Pin(0)));
    ASSERT_EQ(S_OK, chain.graph.Get()->Disconnect(chain.middle->InputPin()));
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(0, chain.middle->started);
    EXPECT_EQ(S_OK, chain.graph.Stop());
  });
}

TEST_F(Transform, InPlaceFilterPassesOneBufferThroughAndStreamEvents) {
  RunWithDeadline(kDeadlineMs, [] {
    TransformChain<TestPassThrough> chain(StreamType(), new TestPassThrough);
    chain.source->Pin(0)->SetDuration(777);
    ASSERT_EQ(S_OK, chain.ConnectInput());
    ASSERT_EQ(S_OK, chain.ConnectOutput());
    EXPECT_FALSE(chain.middle->UsingDifferentAllocators());
    EXPECT_EQ(chain.source->Pin(0)->Allocator(), chain.sink->Pin()->Allocator());
    EXPECT_TRUE(chain.middle->OutputPin()->CurrentMediaType() == chain.source->Pin(0)->CurrentMediaType());

    LONGLONG duration = 0;
    EXPECT_EQ(S_OK, ComPtr<IMediaSeeking>::QueryFrom(chain.graph.Get())->GetDuration(&duration));
    EXPECT_EQ(777, duration);

    ASSERT_EQ(S_OK, chain.graph.Run());
    TestSourcePin* out = chain.source->Pin(0);
    EXPECT_EQ(S_OK, out->DeliverBeginFlush());
    EXPECT_EQ(S_OK, out->DeliverEndFlush());
    EXPECT_EQ(S_OK, out->SendNewSegment(300, 900, 1.0));
    EXPECT_EQ(S_OK, out->Push(Bytes({5, 6}), 0, 1));
    EXPECT_EQ(S_OK, out->SendEndOfStream());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(1, chain.middle->Transformed());
    ASSERT_EQ(1u, chain.sink->Samples().size());
    EXPECT_EQ(Bytes({5, 6}), chain.sink->Samples()[0].bytes);
    EXPECT_EQ(1, chain.sink->Flushes());
    EXPECT_EQ(300, chain.sink->SegmentStart());
  });
}

TEST_F(Transform, InPlaceFilterCopiesWhenDownstreamKeepsItsOwnAllocator) {
  RunWithDeadline(kDeadlineMs, [] {
    TransformChain<TestPassThrough> chain(StreamType(), new TestPassThrough);
    chain.sink->InsistOnOwnAllocator();
    ASSERT_EQ(S_OK, chain.ConnectInput());
    ASSERT_EQ(S_OK, chain.ConnectOutput());
    EXPECT_TRUE(chain.middle->UsingDifferentAllocators());
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(Bytes({1, 2, 3, 4}), 11, 22, false));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->PushWithoutTimes(Bytes({9})));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    const std::vector<CapturedSample> samples = chain.sink->Samples();
    ASSERT_EQ(2u, samples.size());
    EXPECT_EQ(Bytes({1, 2, 3, 4}), samples[0].bytes);
    EXPECT_EQ(11, samples[0].start);
    EXPECT_EQ(22, samples[0].stop);
    EXPECT_FALSE(samples[0].syncPoint);
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, samples[1].timeResult);
  });
}

}  // namespace
