// The multiplexer on several streaming threads: flow control, streams that end at different times,
// Stop in the middle, the frame cap, runs again on the same graph, handlers, and failures that
// must end the movie once without leaving a thread blocked. Every test runs under a hard deadline.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "common/fileutil.h"
#include "tests/app/deze/mux_harness.h"

namespace {

class MuxThreads : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

// A movie for the outside checks.
void Save(const wchar_t* name, const std::vector<uint8_t>& bytes) {
  EXPECT_TRUE(WriteFileBytes(name, bytes.data(), static_cast<int64_t>(bytes.size())));
}

// Pushes on a streaming thread of its own.
struct Pusher {
  explicit Pusher(std::function<HRESULT()> push)
      : thread(StreamingThread([push, this] {
          result = push();
          done = true;
        })) {}
  // Still inside Receive after a while.
  bool Blocked() {
    Sleep(300);
    return !done;
  }
  HRESULT Join() {
    EXPECT_TRUE(WaitUntil([this] { return done.load(); }));
    thread.join();
    return result;
  }

  std::atomic<bool> done{false};
  HRESULT result = E_UNEXPECTED;
  std::thread thread;
};

struct VideoPusher : Pusher {
  VideoPusher(TestSourcePin* pin, int first, int count) : Pusher([=] { return PushVideo(pin, first, count); }) {}
};

TEST_F(MuxThreads, AFullVideoQueueWaitsUntilTheAudioAFlushOrStopLetsItGo) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)});
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 4));  // no sound yet: all four stay queued
    VideoPusher fifth(movie.Video(), 4, 1);
    EXPECT_TRUE(fifth.Blocked());
    // The sound of frame 0 lets the first frame out, which makes room.
    EXPECT_EQ(S_OK, PushAudio(movie.Audio(), Mp3Frames(22050, 1), 22050));
    EXPECT_EQ(S_OK, fifth.Join());
    // A flush lets a waiting thread go without its sample; the queue stays.
    VideoPusher sixth(movie.Video(), 5, 1);
    EXPECT_TRUE(sixth.Blocked());
    EXPECT_EQ(S_OK, movie.Video()->DeliverBeginFlush());
    EXPECT_EQ(S_FALSE, sixth.Join());
    EXPECT_EQ(S_OK, movie.Video()->DeliverEndFlush());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 5, 1));
    VideoPusher seventh(movie.Video(), 6, 1);
    EXPECT_TRUE(seventh.Blocked());
    EXPECT_EQ(S_OK, movie.graph.Stop());
    EXPECT_EQ(VFW_E_WRONG_STATE, seventh.Join());

    const std::vector<uint8_t> stopped = movie.Bytes();
    ExpectWellFormed(stopped, 1);
    EXPECT_EQ(1, Le16(ParseMovie(stopped).tags[0].body, 2));  // NumFrames of the video stream
    EXPECT_EQ(0, movie.memory->EndOfStreams());
    Save(L"stopped.swf", stopped);
    // A second Stop and late ends of stream add nothing.
    EXPECT_EQ(S_OK, movie.muxer->Stop());
    EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());
    EXPECT_EQ(S_FALSE, movie.Audio()->SendEndOfStream());
    EXPECT_EQ(stopped, movie.Bytes());
    EXPECT_EQ(0, movie.memory->EndOfStreams());
  });
}

// Each stream on its own thread, in pieces of its own size; whichever ends first, the other goes on
// alone, and the movie is the same whatever the threads' timing.
TEST_F(MuxThreads, StreamsOnTwoThreadsEndingAtDifferentTimes) {
  const struct {
    int videoFrames;
    int audioFrames;
    int swfFrames;
  } cases[] = {
      {30, 10, 30},
      // More sound than the queue holds (382 frames), so the audio thread waits too; the last
      // frame is the one whose window reaches MP3 frame 500: ceil(500 × 576 / 882).
      {40, 500, 327},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.audioFrames);
    RunWithDeadline(kDeadlineMs, [&] {
      MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)});
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      const std::vector<uint8_t> audio = Mp3Frames(22050, test.audioFrames);
      HRESULT videoEnd = E_UNEXPECTED;
      HRESULT audioEnd = E_UNEXPECTED;
      std::thread video = StreamingThread([&] {
        EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, test.videoFrames));
        videoEnd = movie.Video()->SendEndOfStream();
      });
      std::thread audioThread = StreamingThread([&] {
        EXPECT_EQ(S_OK, PushPieces(movie.Audio(), audio, 77));
        audioEnd = movie.Audio()->SendEndOfStream();
      });
      video.join();
      audioThread.join();
      // One of the two ends of stream finished the movie.
      EXPECT_TRUE((videoEnd == S_OK && audioEnd == S_FALSE) || (videoEnd == S_FALSE && audioEnd == S_OK));
      EXPECT_EQ(1, movie.memory->EndOfStreams());

      const std::vector<uint8_t> bytes = movie.Bytes();
      ExpectWellFormed(bytes, test.swfFrames);
      const SwfMovie parsed = ParseMovie(bytes);
      std::vector<uint8_t> sound;
      int videoFrame = 0;
      for (const SwfTag& tag : parsed.tags) {
        if (tag.code == kTagSoundStreamBlock) sound.insert(sound.end(), tag.body.begin() + 4, tag.body.end());
        if (tag.code != kTagVideoFrame) continue;
        EXPECT_EQ(videoFrame, Le16(tag.body, 2));
        const std::vector<uint8_t> expected = VideoBytes(videoFrame++);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tag.body.begin() + 4));
      }
      EXPECT_EQ(test.videoFrames, videoFrame);
      EXPECT_EQ(audio, sound);
      EXPECT_EQ(S_OK, movie.graph.Stop());
    });
  }
}

// At 0.5 fps a frame's sound window spans 88200 samples, more than a block's SampleCount counts:
// each block still takes every MP3 frame its window needs, so the sound keeps in step with the
// picture and never waits on a full queue while the frame loop waits for it.
TEST_F(MuxThreads, ASlowMovieWithSoundFinishesInStep) {
  constexpr int kFrames = 40;
  constexpr int64_t kWindow = 88200;  // samples of one SWF frame at 44100 Hz
  constexpr int64_t kMp3Samples = 1152;
  const int mp3Frames = static_cast<int>(kFrames * kWindow / kMp3Samples);
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({Vp6Type(64, 48, 20'000'000), Mp3Type(44100, 2)});
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    const std::vector<uint8_t> audio = Mp3Frames(44100, mp3Frames);
    std::thread video = StreamingThread([&] {
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, kFrames));
      movie.Video()->SendEndOfStream();
    });
    std::thread sound = StreamingThread([&] {
      EXPECT_EQ(S_OK, PushPieces(movie.Audio(), audio, 1000));
      movie.Audio()->SendEndOfStream();
    });
    video.join();
    sound.join();
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_EQ(S_OK, movie.graph.Stop());

    const std::vector<uint8_t> bytes = movie.Bytes();
    ExpectWellFormed(bytes, kFrames);
    const SwfMovie parsed = ParseMovie(bytes);
    const size_t frameBytes = Mp3FrameBytes(44100, 0).size();
    std::vector<uint8_t> written;
    int64_t samples = 0;
    for (int n = 0; n < kFrames; ++n) {
      for (const SwfTag& tag : parsed.Frame(n)) {
        if (tag.code != kTagSoundStreamBlock) continue;
        const int64_t count = static_cast<int64_t>((tag.body.size() - 4) / frameBytes);
        samples += count * kMp3Samples;
        written.insert(written.end(), tag.body.begin() + 4, tag.body.end());
        EXPECT_EQ(std::min<int64_t>(count * kMp3Samples, 65535), Le16(tag.body, 0)) << "frame " << n;
      }
      // Within one MP3 frame of the window's end, until the sound runs out.
      const int64_t end = (n + 1) * kWindow;
      if (written.size() < audio.size()) {
        EXPECT_TRUE(samples <= end && samples > end - kMp3Samples) << n << ": " << samples;
      }
    }
    EXPECT_EQ(audio, written);
  });
}

TEST_F(MuxThreads, TheSixteenThousandthFrameEndsTheMovie) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(16, 16)});
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    TestSourcePin* video = movie.Video();
    for (int i = 0; i < kMaxMovieFrames - 1; ++i) ASSERT_EQ(S_OK, video->Push({static_cast<uint8_t>(i)}, i, i + 1));
    EXPECT_EQ(S_FALSE, video->Push({1}, 0, 1));
    EXPECT_EQ(S_FALSE, video->Push({2}, 0, 1));
    EXPECT_EQ(S_FALSE, video->SendEndOfStream());
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
    const std::vector<uint8_t> bytes = movie.Bytes();
    ExpectWellFormed(bytes, kMaxMovieFrames);
    EXPECT_EQ(kMaxMovieFrames, Le16(ParseMovie(bytes).tags[0].body, 2));
    Save(L"capped.swf", bytes);
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

TEST_F(MuxThreads, HandlersAreCalledInOrderAndTakePartInTheMovie) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(320, 240)});
    ASSERT_EQ(S_OK, movie.Connect());
    std::vector<std::string> log;
    RecordingHandler control("control", &log);
    RecordingHandler builder("builder", &log);
    control.prepare = [](MuxSettings* settings) {
      settings->controlWidth = 200;
      settings->controlHeight = 13;
      settings->nextCharacterId = 1000;
      settings->nextDepth = 1000;
      return S_OK;
    };
    builder.header = [](MuxSettings*, BitStream* stream) {
      uint8_t background[3] = {1, 2, 3};
      return WriteRecordHeader(*stream, kTagSetBackgroundColor, 3) && stream->TransferExactly(background, 3) ? S_OK : E_FAIL;
    };
    EXPECT_EQ(E_POINTER, movie.Muxer()->AddHandler(nullptr));
    EXPECT_EQ(S_OK, movie.Muxer()->AddHandler(&control));
    EXPECT_EQ(S_OK, movie.Muxer()->AddHandler(&builder));
    EXPECT_EQ(S_OK, movie.Muxer()->AddHandler(&control));
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 2));
    EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());
    EXPECT_EQ(S_OK, movie.graph.Stop());

    EXPECT_EQ((std::vector<std::string>{"control:prepare", "builder:prepare", "control:prepare", "control:header",
                                        "builder:header", "control:header", "control:finish", "builder:finish",
                                        "control:finish"}),
              log);
    EXPECT_EQ(kMuxFinished, builder.flagsAtFinish);
    EXPECT_EQ(2, builder.framesAtFinish);
    const SwfMovie parsed = ParseMovie(movie.Bytes());
    ASSERT_TRUE(parsed.valid);
    EXPECT_EQ(320 * 20, parsed.header.FrameSize.Xmax.value);
    EXPECT_EQ((240 + 13) * 20, parsed.header.FrameSize.Ymax.value);
    EXPECT_EQ(9, parsed.tags[0].code);
    EXPECT_EQ(kTagDefineVideoStream, parsed.tags[1].code);
    EXPECT_EQ(1000, Le16(parsed.tags[1].body, 0));  // the next free identifier
    EXPECT_EQ(kTagPlaceObject2, parsed.tags[3].code);
    EXPECT_EQ(1000, Le16(parsed.tags[3].body, 1));  // and depth
  });
}

TEST_F(MuxThreads, AHandlerThatRefusesStopsThePause) {
  const struct {
    const char* what;
    std::function<HRESULT(MuxSettings*)> prepare;
    HRESULT expected;
  } cases[] = {
      {"failure", [](MuxSettings*) { return E_ACCESSDENIED; }, E_ACCESSDENIED},
      {"success code", [](MuxSettings*) { return S_FALSE; }, E_FAIL},
      {"exception", [](MuxSettings*) -> HRESULT { throw std::runtime_error("handler"); }, E_FAIL},
  };
  for (const auto& test : cases) {
    RunWithDeadline(kDeadlineMs, [&] {
      MuxGraph movie({Vp6Type(64, 48)});
      ASSERT_EQ(S_OK, movie.Connect());
      std::vector<std::string> log;
      RecordingHandler handler("h", &log);
      handler.prepare = test.prepare;
      movie.Muxer()->AddHandler(&handler);
      EXPECT_EQ(test.expected, movie.muxer->Pause()) << test.what;
      EXPECT_TRUE(movie.Bytes().empty());
      // No movie is open, so a stray end of stream writes nothing.
      EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
      EXPECT_TRUE(movie.Bytes().empty());
    });
  }
}

// A broken MP3 sample ends the movie with an error: the blocked video thread is let go, the
// handlers see the error at the finish, the graph completes, and the file is still a movie.
TEST_F(MuxThreads, ABrokenSampleEndsTheMovieAndReleasesTheOtherStream) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)});
    ASSERT_EQ(S_OK, movie.Connect());
    std::vector<std::string> log;
    RecordingHandler handler("h", &log);
    movie.Muxer()->AddHandler(&handler);
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushAudio(movie.Audio(), Mp3Frames(22050, 1), 22050));
    std::atomic<bool> done{false};
    HRESULT last = E_UNEXPECTED;
    std::thread video = StreamingThread([&] {
      last = PushVideo(movie.Video(), 0, 6);
      done = true;
    });
    Sleep(300);
    EXPECT_FALSE(done.load());
    EXPECT_EQ(E_FAIL, movie.Audio()->Push({0x12, 0x34, 0x56, 0x78}, 0, 1));
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    video.join();
    EXPECT_EQ(E_FAIL, last);
    EXPECT_EQ(kMuxFinished | kMuxError, handler.flagsAtFinish);
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
    EXPECT_EQ(E_FAIL, movie.Audio()->Push(Mp3FrameBytes(22050, 0), 0, 1));
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    ExpectWellFormed(movie.Bytes(), 1);
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

TEST_F(MuxThreads, AFailingFinishStillCompletesTheHeader) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48)});
    ASSERT_EQ(S_OK, movie.Connect());
    std::vector<std::string> log;
    RecordingHandler first("first", &log);
    RecordingHandler second("second", &log);
    first.finishResult = E_ACCESSDENIED;
    movie.Muxer()->AddHandler(&first);
    movie.Muxer()->AddHandler(&second);
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 3));
    EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_EQ("first:finish", log.back());  // the second handler is not asked after a failure
    ExpectWellFormed(movie.Bytes(), 3);
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

// An empty frame is an error that still leaves a whole movie; a file that goes away leaves none.
// Either way the stream is answered at once, and every later sample with the error.
TEST_F(MuxThreads, WriteFailuresEndTheMovieWithoutHanging) {
  for (const wchar_t* name : {L"empty_frame.swf", L"cut_off.bin"}) {
    const bool emptyFrame = name[0] == L'e';
    RunWithDeadline(kDeadlineMs, [&] {
      ComPtr<IBaseFilter> dump = NewFileDump(name);
      MuxGraph movie({Vp6Type(64, 48)}, dump.Get());
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 2));
      if (emptyFrame) {
        EXPECT_EQ(E_FAIL, movie.Video()->Push({}, 0, 1));
      } else {
        ComPtr<IPin> input;
        ASSERT_EQ(S_OK, dump->FindPin(L"Input", input.Clear()));
        input->EndOfStream();  // File Dump closes its file
        EXPECT_EQ(E_FAIL, PushVideo(movie.Video(), 2, 1));
      }
      EXPECT_EQ(E_FAIL, PushVideo(movie.Video(), 3, 1));
      EXPECT_EQ(E_FAIL, movie.Video()->SendEndOfStream());
      EXPECT_EQ(S_OK, movie.graph.Stop());
    });
  }
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(L"empty_frame.swf", bytes));
  ExpectWellFormed(bytes, 2);
}

// The sound's queue is full and its thread waits; then a video frame cannot be written, nor the
// End tag into a file that went away. The finish must still let the waiting thread go.
TEST_F(MuxThreads, AFailedFinishStillReleasesTheOtherStreamsThread) {
  RunWithDeadline(kDeadlineMs, [] {
    ComPtr<IBaseFilter> dump = NewFileDump(L"gone.bin");
    MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)}, dump.Get());
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    ComPtr<IPin> input;
    ASSERT_EQ(S_OK, dump->FindPin(L"Input", input.Clear()));
    const std::vector<uint8_t> sound = Mp3Frames(22050, 500);  // more than the queue holds
    Pusher audio([&] { return PushAudio(movie.Audio(), sound, 22050); });
    EXPECT_TRUE(audio.Blocked());
    input->EndOfStream();  // File Dump closes its file
    EXPECT_EQ(E_FAIL, movie.Video()->Push({}, 0, 1));
    EXPECT_EQ(E_FAIL, audio.Join());
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

}  // namespace
