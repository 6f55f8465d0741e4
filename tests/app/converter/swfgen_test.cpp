// The conversion engine's tables: which graph events end a run, the VP6 rate control, the state
// block it writes and the PCM stage's format; and what a builder makes of how its movie ended.

#include <dshow.h>
#include <dvdmedia.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "app/converter/source/swfgen.h"
#include "media/dsutil.h"
#include "platform/dshow/mediatype.h"
#include "tests/app/deze/mux_harness.h"
#include "tests/support/files.h"

namespace {

TEST(RunEvents, OnlyCompletionAndAbortsEndARun) {
  const struct {
    long code;
    RunEvent event;
  } cases[] = {
      {EC_COMPLETE, RunEvent::kFinished},           {EC_ERRORABORT, RunEvent::kFailed},
      {EC_ERRORABORTEX, RunEvent::kFailed},         {EC_USERABORT, RunEvent::kFailed},
      {EC_STREAM_ERROR_STOPPED, RunEvent::kFailed}, {EC_STREAM_ERROR_STILLPLAYING, RunEvent::kIgnore},
      {EC_PAUSED, RunEvent::kIgnore},               {EC_CLOCK_CHANGED, RunEvent::kIgnore},
      {EC_USER, RunEvent::kIgnore},                 {0, RunEvent::kIgnore},
  };
  for (const auto& entry : cases) EXPECT_EQ(entry.event, ClassifyGraphEvent(entry.code)) << entry.code;
}

VideoConfig Video(int bitrate, int keyFrameInterval, int quality) {
  VideoConfig video;
  video.bitrate = bitrate;
  video.key_frame_interval = keyFrameInterval;
  video.quality = quality;
  return video;
}

TEST(Vp6Settings, FollowsTheFrameRateAndSaturates) {
  const struct {
    int64_t frameTime;  // 100 ns
    VideoConfig video;
    int32_t rate, keyInterval, maxQuantizer;
  } cases[] = {
      {400000, Video(700, 10, 8), 840, 250, 50},             // 25 fps
      {166667, Video(700, 10, 8), 700, 300, 50},             // 60 fps counts as 30
      {333667, Video(700, 10, 8), 724, 290, 50},             // 29.97 fps counts as 29
      {400000, Video(0, 10, 8), 0, 250, 8},                  // "Auto": the quality sets the ceiling
      {400000, Video(-5, 10, 15), 0, 250, 0},                // quality clamped to 10
      {400000, Video(0, 10, -3), 0, 250, 40},                // and to 0
      {20000000, Video(700, 10, 8), 21000, 10, 50},          // half a frame per second counts as 1
      {400000, Video(INT_MAX, INT_MAX, 8), INT_MAX, INT_MAX, 50},
      {400000, Video(71582789, 10, 8), 85899346, 250, 50},   // past where 32-bit products overflow
      {333667, Video(100000000, INT_MIN, 8), 103448275, INT_MIN, 50},
  };
  for (const auto& entry : cases) {
    const Vp6RateControl control = MakeVp6RateControl(entry.frameTime, entry.video);
    EXPECT_EQ(entry.rate, control.rate) << entry.frameTime << " " << entry.video.bitrate;
    EXPECT_EQ(entry.keyInterval, control.keyInterval) << entry.frameTime << " " << entry.video.bitrate;
    EXPECT_EQ(entry.maxQuantizer, control.maxQuantizer) << entry.frameTime << " " << entry.video.bitrate;
  }
}

TEST(Vp6Settings, WritesTheNamedFieldsOnly) {
  std::vector<uint8_t> bytes(0x104);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  Vp62State state(bytes);
  ApplyVp6RateControl({840, 250, 50}, state);
  const struct {
    int32_t offset, value;
  } fields[] = {
      {0x14, 840}, {0xB8, 2},   {0xBC, 0},   {0x100, 0},  {0x3C, 0},  {0xC0, 5},   {0x2C, 1},  {0x38, 250},
      {0x98, 100}, {0x68, 0},   {0x94, 0},   {0x18, 50},  {0x40, 0},  {0x74, 20},  {0x44, 0},  {0x78, 35},
      {0x7C, 45},  {0x9C, 100}, {0x6C, 4},   {0x70, 5},   {0xA0, 6},  {0xA8, 70},  {0xB0, 40}, {0xAC, 400},
  };
  std::vector<bool> written(bytes.size());
  for (const auto& field : fields) {
    EXPECT_EQ(field.value, state.GetField(field.offset)) << std::hex << field.offset;
    for (int i = 0; i < 4; ++i) written[field.offset + i] = true;
  }
  const std::vector<uint8_t>& after = state.GetBytes();
  ASSERT_EQ(bytes.size(), after.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (!written[i]) {
      EXPECT_EQ(bytes[i], after[i]) << "byte " << i;
    }
  }

  // A block that ends before a field keeps its size and bytes there.
  std::vector<uint8_t> shorter(0x100, 0xAB);
  Vp62State truncated(shorter);
  ApplyVp6RateControl({840, 250, 50}, truncated);
  EXPECT_EQ(0x100u, truncated.GetBytes().size());
  EXPECT_EQ(840, truncated.GetField(VP62_OFFSET_BITRATE));
}

CMediaType PcmType(int channels, int rate) {
  WAVEFORMATEX format;
  FillPcmFormat(channels, rate, 16, format);
  CMediaType type;
  CreateAudioMediaType(&format, &type, TRUE);
  return type;
}

TEST(PcmStage, KeepsMonoAndSnapsTheRateUpwards) {
  const struct {
    int channels, rate;
    PcmStageFormat stage;
  } cases[] = {
      {2, 48000, {2, 44100}}, {1, 8000, {1, 11025}},  {1, 11025, {1, 11025}}, {2, 11026, {2, 22050}},
      {1, 22050, {1, 22050}}, {1, 22051, {1, 44100}}, {2, 44100, {2, 44100}}, {6, 96000, {2, 44100}},
  };
  for (const auto& entry : cases) {
    const CMediaType type = PcmType(entry.channels, entry.rate);
    const PcmStageFormat stage = ChoosePcmStageFormat(&type);
    EXPECT_EQ(entry.stage.channels, stage.channels) << entry.channels << " " << entry.rate;
    EXPECT_EQ(entry.stage.sampleRate, stage.sampleRate) << entry.channels << " " << entry.rate;
  }
  // Anything but valid PCM: 44100 Hz stereo.
  CMediaType mono = PcmType(1, 8000);
  reinterpret_cast<WAVEFORMATEX*>(mono.pbFormat)->nAvgBytesPerSec = 1;
  EXPECT_EQ(44100, ChoosePcmStageFormat(&mono).sampleRate);
  EXPECT_EQ(2, ChoosePcmStageFormat(&mono).channels);
  CMediaType video(MEDIATYPE_Video);
  EXPECT_EQ(44100, ChoosePcmStageFormat(&video).sampleRate);
  EXPECT_EQ(44100, ChoosePcmStageFormat(nullptr).sampleRate);
}

TEST(FlashBuilderState, SaysNothingBeforeItRan) {
  ProjectConfig project;
  FlashBuilder builder(nullptr, project);
  EXPECT_EQ(0, builder.GetProgress());
  EXPECT_FALSE(builder.MovieSucceeded());

  // What the multiplexer's finish reports decides.
  MuxSettings settings;
  settings.frameCount = 1;
  settings.flags = kMuxFinished | kMuxError;
  EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
  EXPECT_FALSE(builder.MovieSucceeded());
  settings.flags = kMuxFinished;
  EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
  EXPECT_TRUE(builder.MovieSucceeded());
  settings.flags = kMuxFinished | kMuxFrameCapReached;
  EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
  EXPECT_TRUE(builder.MovieSucceeded());
}

// The cause the user reads when the multiplexer refuses a video: the size first, then the rate;
// nothing for a video the movie can hold or a type that tells neither.
TEST(VideoRefusal, NamesTheSizeOrTheRateTheMovieCannotHold) {
  const auto info = [](int32_t width, int32_t height, REFERENCE_TIME frameTime, bool second) {
    CMediaType type = RgbVideoType(width, height, 32);
    if (second) {
      VIDEOINFOHEADER2 block = {};
      block.AvgTimePerFrame = frameTime;
      block.bmiHeader = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format())->bmiHeader;
      type.SetFormat(reinterpret_cast<const BYTE*>(&block), sizeof(block));
      type.SetFormatType(&FORMAT_VideoInfo2);
    } else {
      reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->AvgTimePerFrame = frameTime;
    }
    return type;
  };
  const struct {
    int32_t width, height;
    REFERENCE_TIME frameTime;
    const wchar_t* cause;
  } cases[] = {
      {3276, -3276, 400000, L""},
      {3277, 16, 400000, L"The video is 3277 x 16 pixels: a Flash movie is at most 3276 pixels wide and high."},
      {3840, -2160, 0, L"The video is 3840 x 2160 pixels: a Flash movie is at most 3276 pixels wide and high."},
      {64, 48, 0, L"The video does not give its frame rate."},
      {64, 48, 33333, L"The video plays 300 frames a second: a Flash movie plays more than 1/256 and fewer than 256."},
      {64, 48, 39062, L"The video plays 256 frames a second: a Flash movie plays more than 1/256 and fewer than 256."},
      // Below one frame a second the refused rate reads exactly, never as one a movie plays.
      {64, 48, 2560000000, L"The video plays 1/256 frames a second: a Flash movie plays more than 1/256 and fewer "
                          L"than 256."},
      {64, 48, 2560000004, L"The video plays 1/256.0000004 frames a second: a Flash movie plays more than 1/256 and "
                          L"fewer than 256."},
      {64, 48, 39063, L""},
      {64, 48, 2559999999, L""},
      {64, 48, 3000000000, L"The video plays 1/300 frames a second: a Flash movie plays more than 1/256 and fewer "
                          L"than 256."},
  };
  for (const auto& entry : cases) {
    for (const bool second : {false, true}) {
      EXPECT_EQ(entry.cause, VideoRefusal(info(entry.width, entry.height, entry.frameTime, second)))
          << entry.width << "x" << entry.height << " " << entry.frameTime << " " << second;
    }
  }
  CMediaType sound(MEDIATYPE_Audio);
  EXPECT_EQ(L"", VideoRefusal(sound));
}

// A run that fails keeps no page: a finish that comes after the failure was heard (with the stop)
// writes none, and the movie is no good one though its frames stay. A page that this run never
// wrote is not the run's to remove.
TEST(FlashBuilderState, AFailedRunKeepsNoPageOfItsOwn) {
  ProjectConfig project;
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  project.publish_config.save_dir = folder;
  project.publish_config.save_name = L"failed_run.swf";
  project.publish_config.create_html = true;
  const std::wstring page = GetOutputPaths(project.publish_config).page;
  DeleteFileW(page.c_str());
  {
    FlashBuilder builder(nullptr, project);
    EXPECT_EQ(S_OK, builder.OnHeaderWritten(nullptr, nullptr));
    EXPECT_FALSE(builder.EndRun(RunEvent::kFailed).succeeded);
    MuxSettings settings;
    settings.flags = kMuxFinished;
    settings.frameCount = 25;
    EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
    EXPECT_FALSE(PathFileExistsW(page.c_str()));
    EXPECT_FALSE(builder.MovieSucceeded());
    EXPECT_TRUE(builder.KeepsMovie());
  }
  PutFile(page, "an older page");
  {
    FlashBuilder builder(nullptr, project);
    builder.EndRun(RunEvent::kFailed);
  }
  EXPECT_EQ(FileText(page), "an older page");
}

// What the user hears besides the movie's verdict: where a kept movie was cut, and why a movie
// whose video ended before its first frame failed. No movie without a frame is good, whatever
// ended it.
TEST(FlashBuilderState, NotesTheCutAndTheMissingVideo) {
  ProjectConfig project;
  project.video_config.video_file = L"C:\\movie.avi";
  FlashBuilder builder(nullptr, project);
  const struct {
    int32_t flags, frames, frameRate;
    bool succeeded;
    const wchar_t* note;
  } cases[] = {
      {kMuxFinished, 500, 25 * 256, true, L""},
      {kMuxFinished | kMuxFrameCapReached, 16000, 30 * 256, true,
       L"The movie was cut at 08:53, after 16000 frames: a Flash movie holds at most 16000 frames."},
      {kMuxFinished | kMuxFrameCapReached, 1500, 25 * 256, true,
       L"The movie was cut at 01:00, after 1500 frames: a Flash movie holds at most 4 GiB."},
      {kMuxFinished | kMuxCharacterLimitReached, 3454, 10 * 256, true,
       L"The movie was cut at 05:45, after 3454 frames: a lossless Flash movie holds at most 65535 pictures and "
       L"shapes."},
      {kMuxFinished | kMuxError | kMuxNoVideoFrame, 0, 25 * 256, false,
       L"No video frame could be read from C:\\movie.avi"},
      {kMuxFinished | kMuxError, 0, 25 * 256, false, L""},
      {kMuxFinished, 0, 25 * 256, false, L""},
      {kMuxFinished | kMuxError, 3, 25 * 256, false, L""},
  };
  for (const auto& entry : cases) {
    MuxSettings settings;
    settings.flags = entry.flags;
    settings.frameCount = entry.frames;
    settings.frameRate = entry.frameRate;
    EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
    EXPECT_EQ(entry.succeeded, builder.MovieSucceeded()) << entry.frames;
    EXPECT_EQ(entry.note, builder.MovieNote()) << entry.frames;
  }
}

// The file stays only for a movie that began and either counted frames at its finish or never heard
// it (a graph that would not stop finishes it later).
TEST(FlashBuilderState, KeepsOnlyAMovieThatBeganAndGotFrames) {
  constexpr int32_t kNoFinish = -1;
  const struct {
    bool began;
    int32_t flags, frames;
    bool kept;
  } cases[] = {
      {false, kNoFinish, 0, false},          {false, kMuxFinished | kMuxError, 0, false},
      {true, kNoFinish, 0, true},            {true, kMuxFinished, 3, true},
      {true, kMuxFinished | kMuxError, 3, true}, {true, kMuxFinished | kMuxError, 0, false},
      {true, kMuxFinished, 0, false},
  };
  for (const auto& entry : cases) {
    ProjectConfig project;
    FlashBuilder builder(nullptr, project);
    if (entry.began) {
      EXPECT_EQ(S_OK, builder.OnHeaderWritten(nullptr, nullptr));
    }
    if (entry.flags != kNoFinish) {
      MuxSettings settings;
      settings.flags = entry.flags;
      settings.frameCount = entry.frames;
      EXPECT_EQ(S_OK, builder.OnFinish(&settings, nullptr));
    }
    EXPECT_EQ(entry.kept, builder.KeepsMovie()) << entry.began << " " << entry.flags << " " << entry.frames;
  }
}

// A first frame that the sink cannot take fails the movie like any failure: the builder does not
// blame the input for it.
TEST(FlashBuilderState, AFirstFrameTheSinkRefusesIsNoMissingVideo) {
  RunWithDeadline(kDeadlineMs, [] {
    ProjectConfig project;
    project.video_config.video_file = L"C:\\movie.avi";
    FlashBuilder builder(nullptr, project);
    ComPtr<TestStream> stream;
    *stream.Clear() = new TestStream;
    MuxGraph movie({Vp6Type(64, 48)}, nullptr, stream.Get());
    movie.Muxer()->AddHandler(&builder);
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    const int64_t headerEnd = stream->Size();
    ASSERT_GT(headerEnd, 0);
    stream->refuseWriteAt = [headerEnd](int64_t position) { return position >= headerEnd; };
    EXPECT_TRUE(FAILED(PushVideo(movie.Video(), 0, 2)));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    movie.Muxer()->RemoveHandler(&builder);
    EXPECT_FALSE(builder.MovieSucceeded());
    EXPECT_EQ(L"", builder.MovieNote());
  });
}

// A multiplexer that fails to start after its header went out ends its movie like any failed one:
// the builder hears the finish, with the error and no frame, and keeps no file. It fails either in
// a handler after the builder or in a pin of its own that cannot become active.
TEST(FlashBuilderState, AMovieThatFailsToStartAfterItsHeaderKeepsNoFile) {
  for (const bool pinFails : {true, false}) {
    RunWithDeadline(kDeadlineMs, [pinFails] {
      ProjectConfig project;
      project.video_config.video_file = L"C:\\movie.avi";
      FlashBuilder builder(nullptr, project);
      std::vector<std::string> log;
      RecordingHandler after("after", &log);
      if (!pinFails) after.header = [](MuxSettings*, BitStream*) { return E_ACCESSDENIED; };
      MuxGraph movie({Vp6Type(64, 48)});
      if (pinFails) movie.memory->OfferUncommittableAllocator();
      movie.Muxer()->AddHandler(&builder);
      movie.Muxer()->AddHandler(&after);
      ASSERT_EQ(S_OK, movie.Connect());
      // Straight to the multiplexer: through Wine's graph the sink would stay paused, and the graph
      // would try to disconnect its pin forever when it goes.
      EXPECT_EQ(pinFails ? E_OUTOFMEMORY : E_ACCESSDENIED, movie.muxer->Pause());
      movie.Muxer()->RemoveHandler(&after);
      movie.Muxer()->RemoveHandler(&builder);

      EXPECT_EQ((std::vector<std::string>{"after:prepare", "after:header", "after:finish"}), log) << pinFails;
      EXPECT_EQ(kMuxFinished | kMuxError, after.flagsAtFinish) << pinFails;
      EXPECT_EQ(0, after.framesAtFinish) << pinFails;
      EXPECT_FALSE(builder.MovieSucceeded()) << pinFails;
      EXPECT_FALSE(builder.KeepsMovie()) << pinFails;
      EXPECT_EQ(L"", builder.MovieNote()) << pinFails;
      // What the sink holds until the file goes is a whole movie without a frame.
      ExpectWellFormed(movie.Bytes(), 0);
    });
  }
}

}  // namespace
