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

#include <cstdint>
#include <memory>
#include <vector>

#include "app/deze/source/swfmuxapi.h"
#include "common/stream.h"
#include "common/sync.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/unknown.h"

class SwfMuxIn;
class SwfVideoIn;
class SwfAudioIn;
class SwfMuxOut;

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
  // The header, then the handlers and the inputs hear that the movie began. `headerWritten` tells
  // whether the header reached the sink, failure or not.
  HRESULT BeginMovie(bool& headerWritten);
  bool WriteHeader(int64_t fileLength);
  // Writes every frame the queued data allows and ends the movie when the streams ended or the
  // writing failed; the answer for the upstream filter.
  HRESULT WriteFrames();
  // The frame loop itself; a MuxInState.
  int MuxFrames();
  // The frame being assembled never reaches the file: the movie ends before it.
  void DropFrame();
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
