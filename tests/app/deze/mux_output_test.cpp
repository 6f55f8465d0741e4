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

// The file header at the start of the stream.
SwfFileHeader HeadOf(const TestStream& stream) {
  const std::vector<uint8_t> head = stream.Bytes(0, 64);
  SwfFileHeader header;
  BufferStream in(head.data(), head.size());
  EXPECT_TRUE(header.Exchange(in));
  return header;
}

// The tags of the stream's bytes from `start` on, up to `count` bytes.
std::vector<SwfTag> TagsFrom(const TestStream& stream, int64_t start, int64_t count) {
  const std::vector<uint8_t> tail = stream.Bytes(start, count);
  BufferStream in(tail.data(), tail.size());
  std::vector<SwfTag> tags;
  while (!in.AtEnd()) {
    RecordHeader tag;
    if (!tag.Exchange(in)) break;
    SwfTag read{tag.code, std::vector<uint8_t>(static_cast<size_t>(tag.length))};
    if (!read.body.empty() && !in.TransferExactly(read.body.data(), tag.length)) break;
    tags.push_back(std::move(read));
  }
  return tags;
}

int CountTags(const std::vector<SwfTag>& tags, int32_t code) {
  return static_cast<int>(std::count_if(tags.begin(), tags.end(), [code](const SwfTag& tag) { return tag.code == code; }));
}

// A movie into a TestStream with a recording handler, which pads it right after its header to
// `padTo` bytes when that is given; the sink keeps only the small writes.
struct PaddedMovie {
  explicit PaddedMovie(const std::vector<CMediaType>& types, int64_t padTo = -1)
      : stream(NewStream()), movie(types, nullptr, stream.Get()), handler("pad", &log) {
    handler.header = [this, padTo](MuxSettings*, BitStream* out) -> HRESULT {
      if (padTo >= 0 && !PadMovieTo(*out, padTo)) return E_FAIL;
      movieStart = out->GetPosition();
      return S_OK;
    };
    movie.Muxer()->AddHandler(&handler);
  }
  static ComPtr<TestStream> NewStream() {
    ComPtr<TestStream> created;
    *created.Clear() = new TestStream;
    return created;
  }

  ComPtr<TestStream> stream;
  MuxGraph movie;
  std::vector<std::string> log;
  RecordingHandler handler;
  int64_t movieStart = 0;  // behind the padding
};

// The movie is padded to 1000 bytes below 4 GiB; frames of 200 bytes then fit four times.
TEST_F(MuxOutput, AMovieNearFourGiBEndsBeforeTheFrameThatWouldPassIt) {
  constexpr int64_t kRoom = 1000;
  RunWithDeadline(kDeadlineMs, [&] {
    TraceCapture trace;
    PaddedMovie padded({Vp6Type(64, 48)}, kMaxMovieBytes - kRoom);
    MuxGraph& movie = padded.movie;
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(S_OK, movie.Video()->Push(VideoBytes(i, 200), i, i + 1)) << i;
    EXPECT_EQ(S_FALSE, movie.Video()->Push(VideoBytes(4, 200), 4, 5));
    EXPECT_EQ(S_FALSE, movie.Video()->Push(VideoBytes(5, 200), 5, 6));
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_EQ(kMuxFinished | kMuxFrameCapReached, padded.handler.flagsAtFinish);
    EXPECT_EQ(4, padded.handler.framesAtFinish);
    EXPECT_NE(std::wstring::npos, trace.Text().find(L"past 4294967295 bytes")) << trace.Text();
    EXPECT_EQ(S_OK, movie.graph.Stop());

    ASSERT_EQ(kMaxMovieBytes - kRoom, padded.movieStart);
    const SwfFileHeader header = HeadOf(*padded.stream.Get());
    EXPECT_EQ(padded.stream->Size(), static_cast<int64_t>(header.FileLength));
    EXPECT_EQ(4, header.FrameCount);

    // What follows the padding: four frames and the End tag, with NumFrames patched to 4.
    const std::vector<SwfTag> tags = TagsFrom(*padded.stream.Get(), padded.movieStart, kRoom);
    ASSERT_FALSE(tags.empty());
    ASSERT_EQ(kTagDefineVideoStream, tags.front().code);
    EXPECT_EQ(4, Le16(tags.front().body, 2));
    EXPECT_EQ(4, CountTags(tags, kTagVideoFrame));
    EXPECT_EQ(4, CountTags(tags, kTagShowFrame));
    EXPECT_EQ(kTagEnd, tags.back().code);
  });
}

// Video ends after one or two frames; sound goes on alone until the frame that would pass 4 GiB is
// left out. The video wrote nothing in that frame, so its NumFrames keeps every frame it wrote.
TEST_F(MuxOutput, AFinishedVideoInputKeepsItsFramesAtTheLimit) {
  constexpr int64_t kRoom = 1500;
  for (int videoFrames : {1, 2}) {
    SCOPED_TRACE(videoFrames);
    RunWithDeadline(kDeadlineMs, [&] {
      PaddedMovie padded({Vp6Type(64, 48), Mp3Type(22050, 1)}, kMaxMovieBytes - kRoom);
      MuxGraph& movie = padded.movie;
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, videoFrames));
      EXPECT_EQ(S_OK, movie.Video()->SendEndOfStream());
      EXPECT_EQ(S_FALSE, PushAudio(movie.Audio(), Mp3Frames(22050, 80), 22050));
      EXPECT_EQ(kMuxFinished | kMuxFrameCapReached, padded.handler.flagsAtFinish);
      EXPECT_EQ(S_OK, movie.graph.Stop());

      const std::vector<SwfTag> tags = TagsFrom(*padded.stream.Get(), padded.movieStart, kRoom);
      ASSERT_FALSE(tags.empty());
      ASSERT_EQ(kTagDefineVideoStream, tags.front().code);
      EXPECT_EQ(videoFrames, CountTags(tags, kTagVideoFrame));
      EXPECT_EQ(videoFrames, Le16(tags.front().body, 2));  // NumFrames
      EXPECT_GT(CountTags(tags, kTagShowFrame), videoFrames);
      EXPECT_EQ(kTagEnd, tags.back().code);
    });
  }
}

// The header is rewritten before the handlers hear of the finish: a rewrite that fails reaches
// them as an error. Here the sink's Seek fails at the end (a lossless movie seeks nowhere else).
TEST_F(MuxOutput, AHeaderThatCannotBeRewrittenFailsTheMovie) {
  RunWithDeadline(kDeadlineMs, [] {
    PaddedMovie watched({RgbVideoType(8, 8, 32)});
    MuxGraph& movie = watched.movie;
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, movie.Video()->Push(Filled(8 * 8 * 4, 0x40), 0, 1));
    EXPECT_EQ(S_OK, movie.Video()->Push(Filled(8 * 8 * 4, 0x80), 1, 2));
    watched.stream->refuseSeek = true;
    EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
    EXPECT_EQ(kMuxFinished | kMuxError, watched.handler.flagsAtFinish);
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

// An input whose closing write fails (the VP6 stream's frame count, inside its definition) fails
// the movie, which is still kept for its frames: its header tells the length and the frames written.
TEST_F(MuxOutput, AFailedClosingWriteStillLeavesTheRealLengthInTheHeader) {
  RunWithDeadline(kDeadlineMs, [] {
    PaddedMovie watched({Vp6Type(64, 48)});
    MuxGraph& movie = watched.movie;
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 3));
    const int64_t definition = watched.movieStart;
    watched.stream->refuseWriteAt = [definition](int64_t position) {
      return position > definition && position < definition + 16;
    };
    EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
    EXPECT_EQ(kMuxFinished | kMuxError, watched.handler.flagsAtFinish);
    EXPECT_EQ(S_OK, movie.graph.Stop());
    const SwfFileHeader header = HeadOf(*watched.stream.Get());
    EXPECT_EQ(watched.stream->Size(), header.FileLength);
    EXPECT_EQ(3, header.FrameCount);
  });
}

// A handler that writes past 4 GiB before the first frame: the End tag ends beyond what FileLength
// can hold. The movie fails, the handlers are told, and the header never gets a wrapped length.
TEST_F(MuxOutput, AMoviePastFourGiBAtTheFinishFailsWithoutAWrappedLength) {
  constexpr int64_t kPast = 100;
  RunWithDeadline(kDeadlineMs, [] {
    PaddedMovie padded({Vp6Type(64, 48)}, kMaxMovieBytes + kPast);
    MuxGraph& movie = padded.movie;
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(E_FAIL, movie.Video()->Push(VideoBytes(0, 200), 0, 1));
    EXPECT_EQ(kMuxFinished | kMuxFrameCapReached | kMuxError, padded.handler.flagsAtFinish);
    EXPECT_EQ(S_OK, movie.graph.Stop());
    const int64_t length = kMaxMovieBytes + kPast + 2;
    ASSERT_EQ(length, padded.stream->Size());
    EXPECT_NE(static_cast<uint32_t>(length), HeadOf(*padded.stream.Get()).FileLength);
  });
}

// A video that ends before its first frame gives a movie without any picture: it fails, with or
// without sound, and stays well-formed.
TEST_F(MuxOutput, AVideoThatEndsBeforeItsFirstFrameFailsTheMovie) {
  for (bool withSound : {false, true}) {
    SCOPED_TRACE(withSound ? "with sound" : "video only");
    RunWithDeadline(kDeadlineMs, [&] {
      std::vector<CMediaType> types = {Vp6Type(64, 48)};
      if (withSound) types.push_back(Mp3Type(22050, 1));
      PaddedMovie watched(types);
      MuxGraph& movie = watched.movie;
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      if (withSound) {
        EXPECT_EQ(S_OK, PushAudio(movie.Audio(), Mp3Frames(22050, 2), 22050));
      }
      EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
      EXPECT_EQ(kMuxFinished | kMuxError | kMuxNoVideoFrame, watched.handler.flagsAtFinish);
      EXPECT_EQ(0, watched.handler.framesAtFinish);
      EXPECT_EQ(S_OK, movie.graph.Stop());
      ExpectWellFormed(watched.stream->Bytes(), 0);
    });
  }
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

// A VP6 sample whose type differs only in what the input does not depend on (the target
// rectangle, the bit rate) is taken, and QueryAccept says so; another frame size is neither.
TEST_F(MuxOutput, ATypeThatKeepsWhatTheInputWasPreparedForIsTaken) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48)});
    ASSERT_EQ(S_OK, movie.Connect());
    CMediaType retargeted = Vp6Type(64, 48);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(retargeted.Format());
    info->rcTarget = {0, 0, 64, 48};
    info->dwBitRate = 700000;
    const CMediaType larger = Vp6Type(128, 96);
    IPin* input = movie.Input(0);
    EXPECT_EQ(S_OK, input->QueryAccept(&retargeted));
    EXPECT_EQ(S_FALSE, input->QueryAccept(&larger));
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 1));
    EXPECT_EQ(S_OK, movie.Video()->PushWithType(VideoBytes(1), retargeted));
    EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());
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
    EXPECT_EQ(test.written ? EncodeResult::kWritten : EncodeResult::kFailed,
              encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), 0, out));
    EXPECT_EQ(test.characterId + (test.written ? 1 : 0), settings.nextCharacterId);
    EXPECT_EQ(test.depth + (test.written ? 1 : 0), settings.nextDepth);
  }
}

}  // namespace
