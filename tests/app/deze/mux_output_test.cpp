// What the multiplexer leaves in its sink's stream: the movie and nothing else before its End tag,
// with a FileLength that says where that tag ends, whatever the stream held before, whether it can
// be cut, and however close to 4 GiB the movie gets. Also the inputs' refusals that keep a movie
// sound: a sample of another media type, identifiers and depths beyond 16 bits.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/deze/source/swfout.h"
#include "app/deze/source/swfvid.h"
#include "tests/app/deze/mux_harness.h"
#include "tests/support/capture.h"

namespace {

class MuxOutput : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::vector<uint8_t> Filled(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

TEST_F(MuxOutput, StreamOverOldDataUncuttableAndShortWrites) {
  const struct {
    const char* name;
    bool refuseCut;
    ULONG maxWrite;
    int32_t written;  // of 10 bytes asked
    int64_t sizeAfterCut;
  } cases[] = {
      {"old data", false, ULONG_MAX, 10, 10},
      {"cannot be cut", true, ULONG_MAX, 10, 5000},
      {"short writes", false, 3, 3, 3},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ComPtr<TestStream> stream;
    *stream.Clear() = new TestStream(Filled(5000, 0xAB));
    stream->refuseSetSize = test.refuseCut;
    stream->maxWrite = test.maxWrite;
    MuxOutStream out;
    out.Attach(stream.Get());
    EXPECT_EQ(5000, out.GetPosition());
    EXPECT_EQ(5000, out.GetSize());
    ASSERT_TRUE(out.Seek(0));
    std::vector<uint8_t> movie = Filled(10, 0x11);
    EXPECT_EQ(test.written, out.Transfer(movie.data(), 10));
    EXPECT_EQ(test.written, out.GetPosition());
    EXPECT_EQ(!test.refuseCut, out.CutHere());
    EXPECT_EQ(test.sizeAfterCut, out.GetSize());
    EXPECT_EQ(test.sizeAfterCut, stream->Size());
    const std::vector<uint8_t> bytes = stream->Bytes();
    EXPECT_EQ(Filled(static_cast<size_t>(test.written), 0x11), std::vector<uint8_t>(bytes.begin(), bytes.begin() + test.written));
    // A seek never goes past what the stream holds.
    EXPECT_FALSE(out.Seek(test.sizeAfterCut + 1));
    out.Attach(nullptr);
  }
}

// A stream that held 5000 bytes, with and without a cut; the same graph run twice on one stream,
// a long movie and then a short one.
TEST_F(MuxOutput, FileLengthEndsAtTheEndTag) {
  for (bool refuseCut : {false, true}) {
    SCOPED_TRACE(refuseCut ? "cannot be cut" : "cut");
    RunWithDeadline(kDeadlineMs, [&] {
      ComPtr<TestStream> stream;
      *stream.Clear() = new TestStream(Filled(5000, 0xAB));
      stream->refuseSetSize = refuseCut;
      MuxGraph movie({Vp6Type(64, 48)}, nullptr, stream.Get());
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 2));
      EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());  // the movie ended with it
      EXPECT_EQ(S_OK, movie.graph.Stop());
      const std::vector<uint8_t> bytes = stream->Bytes();
      const SwfMovie parsed = ParseMovie(bytes);
      ASSERT_LE(parsed.header.FileLength, bytes.size());
      ExpectWellFormed(std::vector<uint8_t>(bytes.begin(), bytes.begin() + parsed.header.FileLength), 2);
      // A stream that cannot be cut keeps its old tail behind the End tag.
      EXPECT_EQ(refuseCut ? 5000u : parsed.header.FileLength, bytes.size());
    });
  }

  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48)});
    ASSERT_EQ(S_OK, movie.Connect());
    for (int frames : {6, 2}) {
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, frames));
      EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());  // the movie ended with it
      EXPECT_EQ(S_OK, movie.graph.Stop());
      ExpectWellFormed(movie.Bytes(), frames);
    }
  });
}

// The handler pads the movie to 1000 bytes below 4 GiB with two tags from memory never touched; the
// sink keeps only the small writes. Frames of 200 bytes then fit four times.
TEST_F(MuxOutput, AMovieNearFourGiBEndsBeforeTheFrameThatWouldPassIt) {
  constexpr int32_t kFillerTag = 1023;  // a code no reader knows; it skips the body
  constexpr int64_t kRoom = 1000;
  constexpr int32_t kTagHeaderBytes = 6;
  const size_t fillerMax = 0x80000000u;
  void* filler = VirtualAlloc(nullptr, fillerMax, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
  ASSERT_NE(nullptr, filler);
  int64_t movieStart = 0;  // behind the filler

  RunWithDeadline(kDeadlineMs, [&] {
    TraceCapture trace;
    ComPtr<TestStream> stream;
    *stream.Clear() = new TestStream;
    MuxGraph movie({Vp6Type(64, 48)}, nullptr, stream.Get());
    std::vector<std::string> log;
    RecordingHandler handler("pad", &log);
    handler.header = [&](MuxSettings*, BitStream* out) -> HRESULT {
      const int64_t padding = kMaxMovieBytes - kRoom - out->GetPosition();
      const int32_t first = static_cast<int32_t>(padding / 2 - kTagHeaderBytes);
      const int32_t second = static_cast<int32_t>(padding - first - 2 * kTagHeaderBytes);
      for (int32_t length : {first, second}) {
        if (!WriteRecordHeader(*out, kFillerTag, length) || out->Transfer(filler, length) != length) return E_FAIL;
      }
      movieStart = out->GetPosition();
      return S_OK;
    };
    movie.Muxer()->AddHandler(&handler);
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(S_OK, movie.Video()->Push(VideoBytes(i, 200), i, i + 1)) << i;
    EXPECT_EQ(S_FALSE, movie.Video()->Push(VideoBytes(4, 200), 4, 5));
    EXPECT_EQ(S_FALSE, movie.Video()->Push(VideoBytes(5, 200), 5, 6));
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_EQ(kMuxFinished | kMuxFrameCapReached, handler.flagsAtFinish);
    EXPECT_EQ(4, handler.framesAtFinish);
    EXPECT_NE(std::wstring::npos, trace.Text().find(L"past 4294967295 bytes")) << trace.Text();
    EXPECT_EQ(S_OK, movie.graph.Stop());

    ASSERT_EQ(kMaxMovieBytes - kRoom, movieStart);
    const std::vector<uint8_t> head = stream->Bytes(0, 64);
    SwfFileHeader header;
    BufferStream headIn(head.data(), head.size());
    ASSERT_TRUE(header.Exchange(headIn));
    EXPECT_EQ(stream->Size(), static_cast<int64_t>(header.FileLength));
    EXPECT_EQ(4, header.FrameCount);

    // What follows the filler: four frames and the End tag, with NumFrames patched to 4.
    const std::vector<uint8_t> tail = stream->Bytes(movieStart, kRoom);
    ASSERT_LE(tail.size(), static_cast<size_t>(kRoom));
    BufferStream in(tail.data(), tail.size());
    std::vector<int32_t> codes;
    int numFrames = -1;
    while (!in.AtEnd()) {
      RecordHeader tag;
      ASSERT_TRUE(tag.Exchange(in));
      std::vector<uint8_t> body(static_cast<size_t>(tag.length));
      ASSERT_TRUE(body.empty() || in.TransferExactly(body.data(), tag.length));
      if (tag.code == kTagDefineVideoStream) numFrames = Le16(body, 2);
      codes.push_back(tag.code);
    }
    EXPECT_EQ(4, numFrames);
    EXPECT_EQ(4, std::count(codes.begin(), codes.end(), kTagVideoFrame));
    EXPECT_EQ(4, std::count(codes.begin(), codes.end(), kTagShowFrame));
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(kTagEnd, codes.back());
  });
  VirtualFree(filler, 0, MEM_RELEASE);
}

// An 8×8 RGB32 movie, then a sample announcing its own type again (taken) and one announcing 16×16
// (refused): the movie ends there, failed and well-formed.
TEST_F(MuxOutput, ASampleOfAnotherMediaTypeEndsTheMovieWithAnError) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({RgbVideoType(8, 8, 32)});
    movie.Video()->SetBuffers(2, 16 * 16 * 4);
    std::vector<std::string> log;
    RecordingHandler handler("h", &log);
    movie.Muxer()->AddHandler(&handler);
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, movie.Video()->Push(Filled(8 * 8 * 4, 0x40), 0, 1));
    EXPECT_EQ(S_OK, movie.Video()->PushWithType(Filled(8 * 8 * 4, 0x80), RgbVideoType(8, 8, 32)));
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, movie.Video()->PushWithType(Filled(16 * 16 * 4, 0xC0), RgbVideoType(16, 16, 32)));
    EXPECT_EQ(kMuxFinished | kMuxError, handler.flagsAtFinish);
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_TRUE(FAILED(movie.Video()->Push(Filled(8 * 8 * 4, 0x40), 2, 3)));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    ExpectWellFormed(movie.Bytes(), 2);
  });
}

TEST(Vp6Writer, TakesOnlySixteenBitIdentifiersAndDepths) {
  const struct {
    int32_t characterId;
    int32_t depth;
    bool written;
  } cases[] = {
      {0xFFFF, 0xFFFE, true},
      {0x10000, 1, false},
      {1, 0xFFFF, false},
      {0x7FFFFFFF, 0x7FFFFFFF, false},
  };
  const std::vector<uint8_t> frame = VideoBytes(0);
  for (const auto& test : cases) {
    SCOPED_TRACE(test.characterId);
    MuxSettings settings;
    settings.width = 64;
    settings.height = 48;
    settings.nextCharacterId = test.characterId;
    settings.nextDepth = test.depth;
    SwfVp6Encoder encoder(&settings);
    MemOut out;
    EXPECT_EQ(test.written, encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), 0, out));
    EXPECT_EQ(test.characterId + (test.written ? 1 : 0), settings.nextCharacterId);
    EXPECT_EQ(test.depth + (test.written ? 1 : 0), settings.nextDepth);
  }
}

}  // namespace
