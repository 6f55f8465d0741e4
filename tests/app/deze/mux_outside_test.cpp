// Movies for the outside checks (mux_check.py): every MP3 fixture, as LAME wrote it, with VP6-typed
// video through File Dump. The check reads them with ffprobe, ffmpeg and yaswfp. The fixtures lie
// beside the work folder, which each run empties.

#include <gtest/gtest.h>

#include "common/fileutil.h"
#include "common/strutil.h"
#include "tests/app/deze/mux_harness.h"

namespace {

TEST(MuxOutside, MoviesOfEveryMp3Fixture) {
  for (const char* coding : {"cbr", "vbr"}) {
    for (const int32_t rate : {11025, 22050, 44100}) {
      for (const int32_t channels : {1, 2}) {
        const std::string name = std::string(coding) + "_" + std::to_string(rate) + "_" + std::to_string(channels);
        SCOPED_TRACE(name);
        std::vector<uint8_t> audio;
        ASSERT_TRUE(ReadFileBytes(ToWideString("../mp3/" + name + ".mp3", kUtf8CodePage).c_str(), audio));
        // The CBR sound outlasts the video, the VBR sound ends first (the sound is 0.6 s).
        const int videoFrames = coding[0] == 'c' ? 10 : 20;
        RunWithDeadline(kDeadlineMs, [&] {
          const std::wstring movieName = ToWideString("out_" + name + ".swf", kUtf8CodePage);
          MuxGraph movie({Vp6Type(320, 240), Mp3Type(rate, channels)}, NewFileDump(movieName.c_str()).Get());
          ASSERT_EQ(S_OK, movie.Connect());
          ASSERT_EQ(S_OK, movie.graph.Run());
          std::thread sound = StreamingThread([&] {
            EXPECT_EQ(S_OK, PushPieces(movie.Audio(), audio, 1000));
            movie.Audio()->SendEndOfStream();
          });
          for (int i = 0; i < videoFrames; ++i) {
            EXPECT_EQ(S_OK, movie.Video()->Push(VideoBytes(i, 30 + 11 * i), i * kFrameTime25, (i + 1) * kFrameTime25));
          }
          movie.Video()->SendEndOfStream();
          sound.join();
          EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
          EXPECT_EQ(S_OK, movie.graph.Stop());
        });
      }
    }
  }
}

}  // namespace
