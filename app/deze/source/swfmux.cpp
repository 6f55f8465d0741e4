#include "app/deze/source/swfmux.h"

#include <algorithm>
#include <exception>
#include <new>

#include "app/deze/source/packet.h"
#include "app/deze/source/swfaud.h"
#include "app/deze/source/swfout.h"
#include "app/deze/source/swfvid.h"
#include "common/error.h"
#include "media/comx.h"
#include "media/swfrecord.h"
#include "platform/dshow/factory.h"

namespace {

constexpr wchar_t kSource[] = L"swfmux";
constexpr int64_t kEndTagBytes = 2;
constexpr DWORD kSeekingCapabilities = AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetDuration;

bool IsMediaTime(const GUID* format) { return *format == TIME_FORMAT_MEDIA_TIME; }

// Anything but S_OK stops the movie; a success code would let Pause report success while the
// filter stays stopped.
HRESULT AsFailure(HRESULT result) { return result == S_OK ? S_OK : (FAILED(result) ? result : E_FAIL); }

// Inputs, encoders and handlers run on streaming threads inside COM calls: nothing they throw may
// get out.
template <class Call>
HRESULT Guarded(Call call) {
  try {
    return AsFailure(call());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

// ---- MuxPos ----

MuxPos::MuxPos(IUnknown* owner, const MuxSettings* settings) : CUnknown(L"MuxPos", owner), settings_(settings) {}

HRESULT STDMETHODCALLTYPE MuxPos::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE MuxPos::GetCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  *capabilities = kSeekingCapabilities;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MuxPos::CheckCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  return (*capabilities & ~kSeekingCapabilities) == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MuxPos::IsFormatSupported(const GUID* format) {
  if (!format) return E_POINTER;
  return IsMediaTime(format) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MuxPos::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

HRESULT STDMETHODCALLTYPE MuxPos::GetTimeFormat(GUID* format) {
  if (!format) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MuxPos::IsUsingTimeFormat(const GUID* format) { return IsFormatSupported(format); }

HRESULT STDMETHODCALLTYPE MuxPos::SetTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE MuxPos::GetDuration(LONGLONG* duration) {
  if (!duration) return E_POINTER;
  *duration = settings_->duration.load();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MuxPos::GetStopPosition(LONGLONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE MuxPos::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  *current = settings_->currentPosition.load();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MuxPos::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                    const GUID* sourceFormat) {
  if (!target) return E_POINTER;
  if ((targetFormat && !IsMediaTime(targetFormat)) || (sourceFormat && !IsMediaTime(sourceFormat)))
    return E_INVALIDARG;
  *target = source;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MuxPos::SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MuxPos::GetPositions(LONGLONG*, LONGLONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MuxPos::GetAvailable(LONGLONG*, LONGLONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MuxPos::SetRate(double) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MuxPos::GetRate(double*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MuxPos::GetPreroll(LONGLONG*) { return E_NOTIMPL; }

// ---- SwfMuxer ----

CUnknown* SwfMuxer::CreateInstance(IUnknown* outer, HRESULT* result) {
  return CreateComObject<SwfMuxer>(outer, result);
}

SwfMuxer::SwfMuxer(IUnknown* outer)
    : CBaseFilter(L"SwfMuxer", outer, &filterLock_, CLSID_SwfMuxer),
      video_(std::make_unique<SwfVideoIn>(this, &filterLock_, &receiveLock_, &settings_)),
      audio_(std::make_unique<SwfAudioIn>(this, &filterLock_, &receiveLock_, &settings_)),
      output_(std::make_unique<SwfMuxOut>(this, &filterLock_)),
      position_(GetOwner(), &settings_) {
  // No movie is open until the first Pause.
  settings_.flags = kMuxFinished;
}

SwfMuxer::~SwfMuxer() = default;

HRESULT STDMETHODCALLTYPE SwfMuxer::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_ISwfMuxer) return GetInterface(static_cast<ISwfMuxer*>(this), object);
  if (riid == IID_IMediaSeeking) return position_.NonDelegatingQueryInterface(riid, object);
  return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

int SwfMuxer::GetPinCount() { return 3; }

CBasePin* SwfMuxer::GetPin(int index) {
  switch (index) {
    case 0: return video_.get();
    case 1: return audio_.get();
    case 2: return output_.get();
    default: return nullptr;
  }
}

HRESULT STDMETHODCALLTYPE SwfMuxer::Pause() {
  ScopedLock lock(&filterLock_);
  if (!IsStopped()) return CBaseFilter::Pause();
  ScopedLock receive(&receiveLock_);
  bool headerWritten = false;
  HRESULT result = Guarded([this] { return Prepare(); });
  if (FAILED(result)) {
    OnComError(kSource, 125, result);
  } else {
    result = Guarded([&] { return BeginMovie(headerWritten); });
    if (FAILED(result)) OnComError(kSource, 126, result);
  }
  if (SUCCEEDED(result)) result = CBaseFilter::Pause();
  if (FAILED(result)) {
    // A movie that did not get under way is closed: a stray end of stream must not write into it.
    // One whose header went out finishes like any failed movie, so that its handlers hear how it
    // ended and do not keep a file that never got a frame.
    settings_.flags |= kMuxError;
    if (headerWritten) {
      FinishMovie();
    } else {
      settings_.flags |= kMuxFinished;
    }
  }
  return result;
}

HRESULT STDMETHODCALLTYPE SwfMuxer::Stop() {
  ScopedLock lock(&filterLock_);
  if (IsStopped()) return S_OK;
  const HRESULT result = CBaseFilter::Stop();
  ScopedLock receive(&receiveLock_);
  if (FAILED(FinishMovie())) settings_.flags |= kMuxError;
  return result;
}

HRESULT STDMETHODCALLTYPE SwfMuxer::AddHandler(ISwfMuxHandler* handler) {
  if (!handler) return E_POINTER;
  ScopedLock lock(&receiveLock_);
  try {
    handlers_.push_back(handler);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SwfMuxer::RemoveHandler(ISwfMuxHandler* handler) {
  if (!handler) return E_POINTER;
  // Every call into the handlers runs under the receive lock.
  ScopedLock lock(&receiveLock_);
  const auto kept = std::remove(handlers_.begin(), handlers_.end(), handler);
  const bool found = kept != handlers_.end();
  handlers_.erase(kept, handlers_.end());
  return found ? S_OK : S_FALSE;
}

HRESULT SwfMuxer::Prepare() {
  active_.clear();
  for (SwfMuxIn* pin : {static_cast<SwfMuxIn*>(video_.get()), static_cast<SwfMuxIn*>(audio_.get())}) {
    if (pin->IsConnected()) active_.push_back(pin);
  }
  if (active_.empty()) return E_FAIL;

  settings_.Clear();
  settings_.version = 6;
  settings_.nextCharacterId = 1;
  settings_.nextDepth = 1;
  movieLength_ = 0;
  frame_.TakeBuffer(frameBytes_);
  // The sink may have a new file since the last movie.
  output_->Reattach();

  for (SwfMuxIn* pin : active_) {
    const HRESULT result = Guarded([&] { return pin->OnPrepare(&settings_); });
    if (FAILED(result)) {
      OnComError(kSource, 159, result);
      return result;
    }
  }
  for (ISwfMuxHandler* handler : handlers_) {
    const HRESULT result = Guarded([&] { return handler->OnPrepare(&settings_); });
    if (FAILED(result)) {
      OnComError(kSource, 162, result);
      return result;
    }
  }
  settings_.stageWidth = settings_.width;
  settings_.stageHeight = settings_.height + settings_.controlHeight;
  return S_OK;
}

bool SwfMuxer::WriteHeader(int64_t fileLength) {
  // FileLength is a UI32: a length beyond it would be written wrapped.
  if (fileLength < 0 || fileLength > kMaxMovieBytes) return false;
  if (!output_->Seek(0)) return false;
  SwfFileHeader header;
  header.Version = static_cast<uint8_t>(settings_.version);
  header.FileLength = static_cast<uint32_t>(fileLength);
  header.FrameSize = FRECT(0, settings_.stageWidth * kTwipsPerPixel, 0, settings_.stageHeight * kTwipsPerPixel);
  header.FrameRate = static_cast<uint16_t>(settings_.frameRate);
  header.FrameCount = static_cast<uint16_t>(settings_.frameCount);
  return header.Exchange(*output_);
}

HRESULT SwfMuxer::BeginMovie(bool& headerWritten) {
  // The length is only a placeholder until the finish; a sink that holds more than a movie can
  // carry gets the largest one.
  if (!WriteHeader(std::min(output_->GetSize(), kMaxMovieBytes))) {
    OnComError(kSource, 174, E_FAIL);
    return E_FAIL;
  }
  headerWritten = true;
  for (ISwfMuxHandler* handler : handlers_) {
    const HRESULT result = Guarded([&] { return handler->OnHeaderWritten(&settings_, output_.get()); });
    if (FAILED(result)) {
      OnComError(kSource, 177, result);
      return result;
    }
  }
  for (SwfMuxIn* pin : active_) {
    const HRESULT result = Guarded([&] { return pin->OnHeaderWritten(&settings_, output_.get()); });
    if (FAILED(result)) {
      OnComError(kSource, 180, result);
      return result;
    }
  }
  return S_OK;
}

HRESULT SwfMuxer::OnReceive(SwfMuxIn* pin, IMediaSample* sample) {
  if (settings_.flags & kMuxError) return E_FAIL;
  if (settings_.flags & (kMuxFinished | kMuxFrameCapReached)) return S_FALSE;
  const HRESULT queued = Guarded([&] { return pin->QueueSample(sample); });
  if (FAILED(queued)) return EndMovie(queued);
  return WriteFrames();
}

HRESULT SwfMuxer::OnEndOfStream(SwfMuxIn*) {
  if (settings_.flags & kMuxError) return E_FAIL;
  if (settings_.flags & (kMuxFinished | kMuxFrameCapReached)) return S_FALSE;
  return WriteFrames();
}

HRESULT SwfMuxer::OnRefusedSample(SwfMuxIn*, HRESULT failure) {
  if (settings_.flags & kMuxFinished) return failure;
  return EndMovie(failure);
}

HRESULT SwfMuxer::WriteFrames() {
  int state = kMuxInError;
  if (FAILED(Guarded([&] {
        state = MuxFrames();
        return S_OK;
      }))) {
    state = kMuxInError;
  }
  switch (state) {
    case kMuxInNeedsData: return S_OK;
    case kMuxInFinished: return EndMovie(S_OK);
    default: return EndMovie(E_FAIL);
  }
}

int SwfMuxer::MuxFrames() {
  if (active_.empty()) return kMuxInError;
  for (;;) {
    bool allFinished = true;
    for (SwfMuxIn* pin : active_) {
      const int state = pin->WriteFrame(0, nullptr, true);
      if (state == kMuxInError || state == kMuxInNeedsData) return state;
      // A video that ended before the first frame leaves a movie without any picture.
      if (state == kMuxInFinished && pin == video_.get() && settings_.frameCount == 0) {
        Trace(L"swfmux: the video ended before its first frame\n");
        settings_.flags |= kMuxNoVideoFrame;
        return kMuxInError;
      }
      if (state != kMuxInFinished) allFinished = false;
    }
    if (allFinished) return kMuxInFinished;

    // The frame is assembled in memory and reaches the file in one write.
    const int64_t position = output_->GetPosition();
    writers_.clear();
    for (SwfMuxIn* pin : active_) {
      const int state = pin->WriteFrame(position, &frame_, false);
      if (state == kMuxInMovieFull) {
        // An encoder that cannot define the frame's characters any more: the movie ends before it.
        DropFrame();
        settings_.flags |= kMuxCharacterLimitReached;
        Trace(L"swfmux: frame %d needs more character identifiers than are left; the movie ends before it\n",
              static_cast<int>(settings_.frameCount));
        return kMuxInFinished;
      }
      if (state == kMuxInError || state == kMuxInNeedsData) return kMuxInError;
      if (state != kMuxInFinished) writers_.push_back(pin);
    }
    if (!WriteRecordHeader(frame_, kTagShowFrame, 0)) return kMuxInError;
    frame_.TakeBuffer(frameBytes_);
    const int32_t size = static_cast<int32_t>(frameBytes_.size());
    if (position + size + kEndTagBytes > kMaxMovieBytes) {
      DropFrame();
      settings_.flags |= kMuxFrameCapReached;
      Trace(L"swfmux: frame %d would take the movie past %u bytes; the movie ends before it\n",
            static_cast<int>(settings_.frameCount), static_cast<unsigned>(kMaxMovieBytes));
      return kMuxInFinished;
    }
    if (output_->Transfer(frameBytes_.data(), size) != size) return kMuxInError;

    if (++settings_.frameCount >= kMaxMovieFrames) {
      settings_.flags |= kMuxFrameCapReached;
      return kMuxInFinished;
    }
  }
}

void SwfMuxer::DropFrame() {
  // Only the inputs that wrote into the frame lose it; a finished one wrote nothing.
  for (SwfMuxIn* pin : writers_) pin->DropFrame();
  frame_.TakeBuffer(frameBytes_);
}

HRESULT SwfMuxer::EndMovie(HRESULT failure) {
  // Set first, so that the handlers see at the finish that the movie failed.
  if (FAILED(failure)) settings_.flags |= kMuxError;
  if (FAILED(FinishMovie())) settings_.flags |= kMuxError;
  output_->DeliverEndOfStream();
  if (FAILED(failure)) return failure;
  return (settings_.flags & kMuxError) ? E_FAIL : S_FALSE;
}

HRESULT SwfMuxer::FinishMovie() {
  ScopedLock lock(&receiveLock_);
  if (settings_.flags & kMuxFinished) return S_OK;
  settings_.flags |= kMuxFinished;

  HRESULT result = S_OK;
  const bool ended = WriteRecordHeader(*output_, kTagEnd, 0);
  if (!ended) result = E_FAIL;
  // The movie ends with its End tag, whatever the stream held before; a sink that cannot be cut
  // keeps a tail there that no reader reaches.
  movieLength_ = output_->GetPosition();
  if (ended) output_->CutHere();
  if (movieLength_ > kMaxMovieBytes) {
    OnComError(kSource, 196, E_FAIL);
    result = E_FAIL;
  }
  // Every input finishes, whatever failed: that is what releases an upstream thread blocked on a
  // full queue.
  for (SwfMuxIn* pin : active_) {
    const HRESULT finished = Guarded([&] { return pin->OnFinish(&settings_, output_.get()); });
    if (FAILED(finished)) {
      OnComError(kSource, 199, finished);
      if (SUCCEEDED(result)) result = finished;
    }
  }
  // The header comes before the handlers: what they are told about the movie includes it, and a
  // handler that writes finds a whole movie. It tells what was written whatever failed before, so
  // that a movie kept for its frames is readable; no length that does not fit is ever written.
  if (!WriteHeader(movieLength_)) {
    OnComError(kSource, 204, E_FAIL);
    result = E_FAIL;
  }
  if (FAILED(result)) settings_.flags |= kMuxError;
  // The handlers always hear how the movie ended; the flags tell them.
  for (ISwfMuxHandler* handler : handlers_) {
    const HRESULT finished = Guarded([&] { return handler->OnFinish(&settings_, output_.get()); });
    if (FAILED(finished)) {
      OnComError(kSource, 202, finished);
      if (SUCCEEDED(result)) result = finished;
      break;
    }
  }
  return result;
}
