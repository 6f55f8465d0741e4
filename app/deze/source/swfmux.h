#pragma once
// SwfMuxer ("SwfMuxer"): the filter that writes one video stream and one MP3 stream as an
// uncompressed SWF movie into the IStream of its downstream file sink. All writing happens on the
// upstream streaming threads inside the input pins' Receive and EndOfStream, one thread at a time
// under the shared receive lock. Lock order: the filter lock, then the receive lock, then a packet
// pool's lock; nothing done under the receive lock takes the filter lock.
//
// Movie layout: the file header; what the handlers write after it; per SWF frame the tags of every
// input still running (video first, then audio) and a ShowFrame; the End tag. At the finish the
// header is written again with the final length and frame count.

#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/stream.h"
#include "common/sync.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/unknown.h"

class SwfMuxIn;
class SwfVideoIn;
class SwfAudioIn;
class SwfMuxOut;

inline constexpr CLSID CLSID_SwfMuxer = {0x7b26c2ef, 0x316a, 0x4e2a, {0xab, 0x85, 0xf2, 0x13, 0xb7, 0x82, 0xa1, 0xb1}};

// MuxSettings::flags
inline constexpr int32_t kMuxFinished = 2;
inline constexpr int32_t kMuxFrameCapReached = 4;
inline constexpr int32_t kMuxError = 8;

// Frames of one movie at most; the frame that reaches it finishes the movie.
inline constexpr int32_t kMaxMovieFrames = 16000;
// FileLength is a UI32: a frame that would take the movie past it is left out, and the movie ends
// as at the frame cap.
inline constexpr int64_t kMaxMovieBytes = UINT32_MAX;

// The converter's movie control sits at this depth; no encoder takes it.
inline constexpr int32_t kMovieControlDepth = 16001;

// The movie settings block. The multiplexer owns it and zeroes it at every prepare; the inputs,
// encoders and handlers fill in their parts (sizes in pixels).
struct MuxSettings {
  // Everything 0 again.
  void Clear();

  int32_t version = 0;
  int32_t frameRate = 0;  // frames per second in 8.8 fixed point
  int32_t width = 0;
  int32_t height = 0;
  int32_t controlWidth = 0;  // a movie control below the video, set by a handler
  int32_t controlHeight = 0;
  int32_t stageWidth = 0;
  int32_t stageHeight = 0;
  int32_t nextCharacterId = 0;  // whoever takes one advances it
  int32_t nextDepth = 0;
  int32_t frameCount = 0;  // frames written; while a frame is written, its index
  int32_t reserved0 = 0;
  // Read by IMediaSeeking on another thread without a lock; 100 ns units.
  std::atomic<int64_t> duration{0};
  std::atomic<int64_t> currentPosition{0};
  int32_t flags = 0;  // kMuxFinished | kMuxFrameCapReached | kMuxError
  int32_t reserved1 = 0;
};

// The i686 build must not tear the 64-bit positions.
static_assert(std::atomic<int64_t>::is_always_lock_free);

// Callbacks of the converter into the writing of a movie, on a streaming thread. Not reference
// counted: the caller keeps a handler alive as long as the filter may run. A result other than
// S_OK stops the movie.
class ISwfMuxHandler {
 public:
  // After the inputs filled the settings, before the stage size is worked out from them.
  virtual HRESULT OnPrepare(MuxSettings* settings) = 0;
  // Right after the file header; tags written here come before the first frame.
  virtual HRESULT OnHeaderWritten(MuxSettings* settings, BitStream* stream) = 0;
  // Once, after the End tag, the inputs' own finish and the header's rewrite; the stream's position
  // is not defined. The flags tell how the movie ended: kMuxError when any of that failed.
  virtual HRESULT OnFinish(MuxSettings* settings, BitStream* stream) = 0;

 protected:
  ~ISwfMuxHandler() = default;
};

struct ISwfMuxer : public IUnknown {
  // Appends the handler; the same handler added twice is called twice.
  virtual HRESULT STDMETHODCALLTYPE AddHandler(ISwfMuxHandler* handler) = 0;
  // Takes every entry of the handler out (S_FALSE when there was none), waiting for a call into the
  // handlers in progress; after it the multiplexer never calls that handler again. A handler that
  // goes before the filter does must be removed first.
  virtual HRESULT STDMETHODCALLTYPE RemoveHandler(ISwfMuxHandler* handler) = 0;
};

inline constexpr IID IID_ISwfMuxer = {0x7897dd36, 0x74d5, 0x4b85, {0x95, 0x63, 0x4a, 0x3f, 0xc2, 0x7f, 0xcb, 0xd9}};
__CRT_UUID_DECL(ISwfMuxer, 0x7897dd36, 0x74d5, 0x4b85, 0x95, 0x63, 0x4a, 0x3f, 0xc2, 0x7f, 0xcb, 0xd9)

// The multiplexer's IMediaSeeking: the movie's duration and the time of the last video frame
// written, in media time. It never seeks.
class MuxPos : public CUnknown, public IMediaSeeking {
 public:
  MuxPos(IUnknown* owner, const MuxSettings* settings);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                              const GUID* sourceFormat) override;
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override;
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

 private:
  const MuxSettings* settings_;
};

class SwfMuxer : public CBaseFilter, public ISwfMuxer {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);
  explicit SwfMuxer(IUnknown* outer);
  ~SwfMuxer() override;

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // Video input 0, audio input 1, output 2.
  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  // From stopped: prepares the movie and writes its header before the pins become active.
  HRESULT STDMETHODCALLTYPE Pause() override;
  // Finishes a movie still being written; a failing finish only marks the settings.
  HRESULT STDMETHODCALLTYPE Stop() override;

  // ISwfMuxer
  HRESULT STDMETHODCALLTYPE AddHandler(ISwfMuxHandler* handler) override;
  HRESULT STDMETHODCALLTYPE RemoveHandler(ISwfMuxHandler* handler) override;

  // From the input pins, under the receive lock. The answer goes to the upstream filter.
  HRESULT OnReceive(SwfMuxIn* pin, IMediaSample* sample);
  HRESULT OnEndOfStream(SwfMuxIn* pin);
  // A sample the pin refused before queueing it (one of another media type): the movie ends with
  // `failure`.
  HRESULT OnRefusedSample(SwfMuxIn* pin, HRESULT failure);

 private:
  HRESULT Prepare();
  HRESULT BeginMovie();
  bool WriteHeader(int64_t fileLength);
  // Writes every frame the queued data allows and ends the movie when the streams ended or the
  // writing failed; the answer for the upstream filter.
  HRESULT WriteFrames();
  // The frame loop itself; a MuxInState.
  int MuxFrames();
  // Ends the movie after `failure` (a failure code) or after the streams ended (a success code):
  // finish, end of stream downstream, and the answer for the upstream filter.
  HRESULT EndMovie(HRESULT failure);
  // End tag, the inputs' finish, the header again, then the handlers' finish. Once per movie.
  HRESULT FinishMovie();

  CriticalSection filterLock_;
  CriticalSection receiveLock_;
  MuxSettings settings_;
  std::unique_ptr<SwfVideoIn> video_;
  std::unique_ptr<SwfAudioIn> audio_;
  std::unique_ptr<SwfMuxOut> output_;
  std::vector<SwfMuxIn*> active_;  // the inputs connected at the last prepare, in pin order
  std::vector<SwfMuxIn*> writers_;  // the inputs that wrote into the frame being assembled
  std::vector<ISwfMuxHandler*> handlers_;
  int64_t movieLength_ = 0;  // the output's position after the End tag
  MemOut frame_;  // the frame being assembled, reused
  std::vector<uint8_t> frameBytes_;
  MuxPos position_;
};
