#include <gtest/gtest.h>

#include "tests/support/filters.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

class Graph : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> values) { return values; }

TEST_F(Graph, SourceToSinkRunsToCompletion) {
  RunWithDeadline(kDeadlineMs, [] {
    TestGraph graph;
    ASSERT_TRUE(graph.IsValid());
    auto* source = new TestSource({CountedType(MEDIATYPE_Stream, MEDIASUBTYPE_None)});
    ComPtr<IBaseFilter> sourceRef(source);
    auto* sink = new TestSink;
    ComPtr<IBaseFilter> sinkRef(sink);
    ASSERT_EQ(S_OK, graph.Add(source, L"source"));
    ASSERT_EQ(S_OK, graph.Add(sink, L"sink"));
    ASSERT_EQ(S_OK, graph.Connect(source->Pin(0), sink->Pin()));
    ASSERT_EQ(S_OK, graph.Pause());
    EXPECT_EQ(S_OK, source->Pin(0)->Push(Bytes({1, 2, 3}), 0, 10));
    ASSERT_EQ(S_OK, graph.Run());
    EXPECT_EQ(S_OK, source->Pin(0)->Push(Bytes({4}), 10, 20, false));
    EXPECT_EQ(S_OK, source->Pin(0)->SendEndOfStream());
    EXPECT_TRUE(graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, graph.Stop());
    const std::vector<CapturedSample> samples = sink->Samples();
    ASSERT_EQ(2u, samples.size());
    EXPECT_EQ(Bytes({1, 2, 3}), samples[0].bytes);
    EXPECT_EQ(Bytes({4}), samples[1].bytes);
    EXPECT_EQ(10, samples[1].start);
    EXPECT_FALSE(samples[1].syncPoint);
  });
}

}  // namespace
