#pragma once
// Graphs around the SWF multiplexer for its tests: a test source with a VP6 video pin and an MP3
// audio pin, the multiplexer, and a sink that lends it an IStream (File Dump, or a test sink that
// counts ends of stream and keeps the movie in memory). Also synthetic MP3 frames, a handler that
// records its calls, and a reader of the tags of a written movie.

#include <objidl.h>

#include <atomic>
#include <climits>
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

// An IStream over memory that can act like the sinks the multiplexer meets: one that held data
// before, one that cannot be cut, one that writes less than asked. Writes larger than kKeptWrite
// only move the position, so a test can take a movie near 4 GiB without the memory.
class TestStream : public IStream {
 public:
  static constexpr ULONG kKeptWrite = 1 << 20;

  explicit TestStream(const std::vector<uint8_t>& held = {});

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  int64_t Size() const { return size_; }
  // The bytes of [offset, offset + count) within the size; zeros where only large writes went.
  std::vector<uint8_t> Bytes(int64_t offset, int64_t count) const;
  std::vector<uint8_t> Bytes() const { return Bytes(0, size_); }

  bool refuseSetSize = false;
  bool refuseSeek = false;  // every Seek fails, as a sink whose medium went away
  ULONG maxWrite = ULONG_MAX;  // a Write moves at most this many bytes and says so
  // A Write at a position this refuses fails and moves nothing, as on a full disk.
  std::function<bool(int64_t position)> refuseWriteAt;

 private:
  virtual ~TestStream() = default;

  std::atomic<ULONG> references_{1};
  int64_t position_ = 0;
  int64_t size_ = 0;
  std::vector<std::pair<int64_t, std::vector<uint8_t>>> writes_;  // in order; later ones win
};

// Fills the movie up to `position` with tags of a code no reader knows, written in large chunks
// from one small buffer: a TestStream only counts those, so a movie reaches 4 GiB without the
// memory, in a 32-bit process too. False when a write fell short or the gap is too small for a tag.
bool PadMovieTo(BitStream& out, int64_t position);

// Source pin 0 (video) to the video input, pin 1 (audio, when there is one) to the audio input,
// the output to the sink. Runs nothing by itself.
struct MuxGraph {
  // A null sink means a TestSink with a stream in memory (`stream`, or one over an HGLOBAL).
  explicit MuxGraph(const std::vector<CMediaType>& types, IBaseFilter* sink = nullptr, IStream* stream = nullptr);
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
// Header, tags and End tag agree with each other and with the file's length.
void ExpectWellFormed(const std::vector<uint8_t>& bytes, int frames);

inline uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}
