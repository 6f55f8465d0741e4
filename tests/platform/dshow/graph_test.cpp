// The base classes in Wine's filter graph manager: a test source and sinks built on them,
// connected, run, flushed and stopped by the graph.

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

class Graph : public testing::Test {
 protected:
  // Every filter, pin and media type of a test is gone once its graph is.
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> values) { return values; }

// A source with one byte-stream pin per sink, all in one graph and connected.
struct Chain {
  explicit Chain(int pins = 1, const GUID& sinkAccepts = GUID_NULL) {
    std::vector<CMediaType> types(static_cast<size_t>(pins), CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None));
    source = new TestSource(types);
    sourceRef = source;
    EXPECT_EQ(S_OK, graph.Add(source, L"source"));
    for (int i = 0; i < pins; ++i) {
      sinks.push_back(new TestSink(sinkAccepts));
      sinkRefs.emplace_back(sinks.back());
      EXPECT_EQ(S_OK, graph.Add(sinks.back(), (L"sink " + std::to_wstring(i)).c_str()));
    }
  }
  HRESULT Connect(int pin = 0) { return graph.Connect(source->Pin(pin), sinks.at(static_cast<size_t>(pin))->Pin()); }

  TestGraph graph;
  TestSource* source = nullptr;
  ComPtr<IBaseFilter> sourceRef;
  std::vector<TestSink*> sinks;
  std::vector<ComPtr<IBaseFilter>> sinkRefs;
};

TEST_F(Graph, SourceToSinkRunsToCompletion) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    ASSERT_EQ(S_OK, chain.Connect());
    TestSourcePin* out = chain.source->Pin(0);
    TestSink* sink = chain.sinks[0];

    AM_MEDIA_TYPE upstreamType;
    AM_MEDIA_TYPE downstreamType;
    ASSERT_EQ(S_OK, out->ConnectionMediaType(&upstreamType));
    ASSERT_EQ(S_OK, sink->Pin()->ConnectionMediaType(&downstreamType));
    EXPECT_TRUE(CMediaType(upstreamType) == CMediaType(downstreamType));
    EXPECT_EQ(MEDIATYPE_Stream, upstreamType.majortype);
    FreeMediaType(upstreamType);
    FreeMediaType(downstreamType);
    ComPtr<IPin> peer;
    ASSERT_EQ(S_OK, sink->Pin()->ConnectedTo(peer.Clear()));
    EXPECT_EQ(static_cast<IPin*>(out), peer.Get());

    ASSERT_EQ(S_OK, chain.graph.Pause());
    EXPECT_EQ(S_OK, out->Push(Bytes({1, 2, 3}), 0, 10));
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(S_OK, out->Push(Bytes({4}), 10, 20, false));
    EXPECT_EQ(S_OK, out->PushWithoutTimes(Bytes({5})));
    EXPECT_EQ(S_OK, out->SendEndOfStream());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    // Stopped: the allocator is decommitted and the pin refuses.
    EXPECT_TRUE(FAILED(out->Push(Bytes({6}), 30, 40)));

    const std::vector<CapturedSample> samples = sink->Samples();
    ASSERT_EQ(3u, samples.size());
    EXPECT_EQ(Bytes({1, 2, 3}), samples[0].bytes);
    EXPECT_EQ(S_OK, samples[0].timeResult);
    EXPECT_TRUE(samples[0].syncPoint);
    EXPECT_EQ(Bytes({4}), samples[1].bytes);
    EXPECT_EQ(10, samples[1].start);
    EXPECT_EQ(20, samples[1].stop);
    EXPECT_FALSE(samples[1].syncPoint);
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, samples[2].timeResult);
    EXPECT_EQ(1, sink->EndOfStreams());
  });
}

TEST_F(Graph, StreamEndedWhilePausedCompletesAtRun) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    ASSERT_EQ(S_OK, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Pause());
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(Bytes({1}), 0, 1));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->SendEndOfStream());
    EXPECT_FALSE(chain.graph.WaitForEvent(EC_COMPLETE, 300));
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    // Pausing and running again does not complete a second time.
    ASSERT_EQ(S_OK, chain.graph.Pause());
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_FALSE(chain.graph.WaitForEvent(EC_COMPLETE, 300));
    EXPECT_EQ(S_OK, chain.graph.Stop());
  });
}

TEST_F(Graph, GraphCompletesWhenEveryRendererHasEnded) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain(2);
    ASSERT_EQ(S_OK, chain.Connect(0));
    ASSERT_EQ(S_OK, chain.Connect(1));

    IBaseFilter* source = chain.source;
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, source->EnumPins(pins.Clear()));
    IPin* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, pins->Next(3, found, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IPin*>(chain.source->Pin(1)), found[1]);
    found[0]->Release();
    found[1]->Release();
    ComPtr<IPin> byName;
    EXPECT_EQ(S_OK, source->FindPin(L"Out 1", byName.Clear()));
    EXPECT_EQ(found[1], byName.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND, source->FindPin(L"Out 2", byName.Clear()));
    FILTER_INFO info;
    ASSERT_EQ(S_OK, source->QueryFilterInfo(&info));
    EXPECT_STREQ(L"source", info.achName);
    EXPECT_EQ(static_cast<IFilterGraph*>(chain.graph.Get()), info.pGraph);
    info.pGraph->Release();

    ASSERT_EQ(S_OK, chain.graph.Run());
    ComPtr<IReferenceClock> clock;
    EXPECT_EQ(S_OK, source->GetSyncSource(clock.Clear()));
    EXPECT_TRUE(clock.IsValid());  // the graph's default clock
    EXPECT_EQ(S_OK, chain.source->Pin(1)->Push(Bytes({7}), 0, 1));
    EXPECT_EQ(S_OK, chain.source->Pin(0)->SendEndOfStream());
    EXPECT_FALSE(chain.graph.WaitForEvent(EC_COMPLETE, 300));
    EXPECT_EQ(S_OK, chain.source->Pin(1)->SendEndOfStream());
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(0u, chain.sinks[0]->Samples().size());
    EXPECT_EQ(1u, chain.sinks[1]->Samples().size());
  });
}

TEST_F(Graph, RefusedTypeLeavesBothPinsFree) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain(1, MEDIATYPE_Audio);
    EXPECT_TRUE(FAILED(chain.Connect()));
    EXPECT_FALSE(chain.source->Pin(0)->IsConnected());
    EXPECT_FALSE(chain.sinks[0]->Pin()->IsConnected());
    EXPECT_EQ(nullptr, chain.source->Pin(0)->Allocator());
  });
}

TEST_F(Graph, PinsReconnectAfterDisconnectButNotWhileRunning) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    ASSERT_EQ(S_OK, chain.Connect());
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(VFW_E_NOT_STOPPED, chain.source->Pin(0)->Disconnect());
    ASSERT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(S_OK, chain.graph.Get()->Disconnect(chain.source->Pin(0)));
    EXPECT_EQ(S_OK, chain.graph.Get()->Disconnect(chain.sinks[0]->Pin()));
    EXPECT_EQ(S_FALSE, chain.sinks[0]->Pin()->Disconnect());
    ASSERT_EQ(S_OK, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(S_OK, chain.source->Pin(0)->Push(Bytes({9}), 0, 1));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    EXPECT_EQ(1u, chain.sinks[0]->Samples().size());
  });
}

TEST_F(Graph, FlushDropsSamplesUntilItEndsAndSegmentsPass) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    ASSERT_EQ(S_OK, chain.Connect());
    TestSourcePin* out = chain.source->Pin(0);
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(S_OK, out->DeliverBeginFlush());
    EXPECT_EQ(S_FALSE, out->Push(Bytes({1}), 0, 1));
    EXPECT_EQ(S_OK, out->DeliverEndFlush());
    EXPECT_EQ(S_OK, out->SendNewSegment(5000, 9000, 2.0));
    EXPECT_EQ(S_OK, out->Push(Bytes({2}), 0, 1));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    TestSink* sink = chain.sinks[0];
    ASSERT_EQ(1u, sink->Samples().size());
    EXPECT_EQ(Bytes({2}), sink->Samples()[0].bytes);
    EXPECT_EQ(1, sink->Flushes());
    EXPECT_EQ(5000, sink->SegmentStart());
    EXPECT_EQ(2.0, sink->SegmentRate());
  });
}

TEST_F(Graph, RefusedTypeChangeStopsTheStreamUntilAFlush) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain(1, MEDIATYPE_Stream);
    ASSERT_EQ(S_OK, chain.Connect());
    TestSourcePin* out = chain.source->Pin(0);
    ASSERT_EQ(S_OK, chain.graph.Run());
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, out->PushWithType(Bytes({1}), CountedType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)));
    EXPECT_TRUE(chain.graph.WaitForEvent(EC_ERRORABORT, 5000));
    EXPECT_EQ(VFW_E_RUNTIME_ERROR, out->Push(Bytes({2}), 0, 1));
    EXPECT_EQ(S_OK, out->DeliverBeginFlush());
    EXPECT_EQ(S_OK, out->DeliverEndFlush());
    EXPECT_EQ(S_OK, out->PushWithType(Bytes({3}), CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None)));
    EXPECT_EQ(S_OK, chain.graph.Stop());
    ASSERT_EQ(1u, chain.sinks[0]->Samples().size());
    EXPECT_EQ(Bytes({3}), chain.sinks[0]->Samples()[0].bytes);
  });
}

TEST_F(Graph, StopFreesAThreadWaitingForABuffer) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    TestSourcePin* out = chain.source->Pin(0);
    out->SetBuffers(1, 16);
    chain.sinks[0]->HoldSamples();
    ASSERT_EQ(S_OK, chain.Connect());
    ASSERT_EQ(S_OK, chain.graph.Run());
    HRESULT first = E_FAIL;
    HRESULT second = S_OK;
    std::thread streaming([&] {
      first = out->Push(Bytes({1}), 0, 1);
      second = out->Push(Bytes({2}), 1, 2);  // waits: the sink holds the only buffer
    });
    Sleep(200);
    EXPECT_EQ(S_OK, chain.graph.Stop());
    streaming.join();
    EXPECT_EQ(S_OK, first);
    EXPECT_TRUE(FAILED(second));
  });
}

TEST_F(Graph, SeekingPassesUpstreamFromTheRenderer) {
  RunWithDeadline(kDeadlineMs, [] {
    Chain chain;
    chain.source->Pin(0)->SetDuration(123456789);
    auto sinkSeeking = ComPtr<IMediaSeeking>::QueryFrom(chain.sinkRefs[0].Get());
    ASSERT_TRUE(sinkSeeking.IsValid());
    LONGLONG duration = 0;
    EXPECT_EQ(E_NOTIMPL, sinkSeeking->GetDuration(&duration));
    ASSERT_EQ(S_OK, chain.Connect());
    EXPECT_EQ(S_OK, sinkSeeking->GetDuration(&duration));
    EXPECT_EQ(123456789, duration);
    auto graphSeeking = ComPtr<IMediaSeeking>::QueryFrom(chain.graph.Get());
    duration = 0;
    EXPECT_EQ(S_OK, graphSeeking->GetDuration(&duration));
    EXPECT_EQ(123456789, duration);
    // The source pin has no IMediaPosition.
    auto position = ComPtr<IMediaPosition>::QueryFrom(chain.sinkRefs[0].Get());
    REFTIME length = 0;
    EXPECT_EQ(E_NOTIMPL, position->get_Duration(&length));
  });
}

}  // namespace
