#pragma once
// Graphs around the SWF multiplexer for its tests: a test source with a VP6 video pin and an MP3
// audio pin, the multiplexer, and a sink that lends it an IStream (File Dump, or a test sink that
// counts ends of stream and keeps the movie in memory). Also synthetic MP3 frames, a handler that
// records its calls, and a reader of the tags of a written movie.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/deze/source/swfmux.h"
#include "media/swfrecord.h"
#include "tests/support/filters.h"
#include "tests/support/graph.h"

inline constexpr DWORD kDeadlineMs = 30000;
inline constexpr REFERENCE_TIME kFrameTime25 = 400000;

CMediaType Vp6Type(int32_t width, int32_t height, REFERENCE_TIME frameTime = kFrameTime25);
CMediaType Mp3Type(int32_t rate, int32_t channels);

// A Layer III frame with a valid header at 11025, 22050 (mono, 32 kbit/s) or 44100 Hz (stereo,
// 128 kbit/s); its body bytes are `fill` onwards.
std::vector<uint8_t> Mp3FrameBytes(int32_t rate, uint8_t fill);
std::vector<uint8_t> Mp3Frames(int32_t rate, int count, uint8_t firstFill = 0);
// A VP6-typed frame of `size` bytes that tells its index.
std::vector<uint8_t> VideoBytes(int index, size_t size = 40);

// Source pin 0 (video) to the video input, pin 1 (audio, when there is one) to the audio input,
// the output to the sink. Runs nothing by itself.
struct MuxGraph {
  // A null sink means a TestSink with a stream in memory.
  explicit MuxGraph(const std::vector<CMediaType>& types, IBaseFilter* sink = nullptr);
  HRESULT Connect();

  TestSourcePin* Video() const { return source->Pin(0); }
  TestSourcePin* Audio() const { return source->Pin(1); }
  IPin* Input(int index) const { return muxer->GetPin(index); }
  std::vector<uint8_t> Bytes() { return memory ? memory->StreamBytes() : std::vector<uint8_t>(); }
  ISwfMuxer* Muxer() const { return static_cast<ISwfMuxer*>(muxer); }

  TestGraph graph;
  TestSource* source;
  SwfMuxer* muxer;
  TestSink* memory = nullptr;
  ComPtr<IBaseFilter> sourceRef, muxerRef, sinkRef;
};

// A File Dump writing into the file.
ComPtr<IBaseFilter> NewFileDump(const wchar_t* name);

// Pushes `count` VP6 frames of 40 ms from `first` on; the answer of the last push.
HRESULT PushVideo(TestSourcePin* pin, int first, int count);
// Pushes the bytes in samples of `piece` bytes; the answer of the last push.
HRESULT PushPieces(TestSourcePin* pin, const std::vector<uint8_t>& bytes, size_t piece);
// Pushes each MP3 frame as a sample of its own.
HRESULT PushAudio(TestSourcePin* pin, const std::vector<uint8_t>& frames, int32_t rate);

// A streaming thread of the test, with COM.
std::thread StreamingThread(std::function<void()> body);
// Polls until the condition holds; false after `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Logs its calls as "<name>:prepare", "<name>:header", "<name>:finish" into a shared log.
class RecordingHandler : public ISwfMuxHandler {
 public:
  RecordingHandler(const char* name, std::vector<std::string>* log) : name_(name), log_(log) {}

  HRESULT OnPrepare(MuxSettings* settings) override;
  HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream) override;
  HRESULT OnFinish(MuxSettings* settings, BitStream* stream) override;

  std::function<HRESULT(MuxSettings*)> prepare;
  std::function<HRESULT(MuxSettings*, BitStream*)> header;
  HRESULT finishResult = S_OK;
  int flagsAtFinish = -1;
  int framesAtFinish = -1;

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

struct SwfTag {
  int32_t code;
  std::vector<uint8_t> body;
};

struct SwfMovie {
  bool valid = false;  // the header and every tag header parsed, the End tag came last
  SwfFileHeader header;
  size_t headerSize = 0;
  std::vector<SwfTag> tags;  // End tag included

  int Count(int32_t code) const;
  // The tags of frame n (ShowFrame excluded).
  std::vector<SwfTag> Frame(int index) const;
};

SwfMovie ParseMovie(const std::vector<uint8_t>& bytes);

inline uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}
