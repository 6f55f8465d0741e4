#pragma once
// The multiplexer's output: SwfMuxOut connects to a file sink whose input pin offers IStream and
// lends that stream to the multiplexer as MuxOutStream. The movie is written and patched through it
// directly; no media sample is ever delivered.

#include <objidl.h>

#include <cstdint>

#include "common/comptr.h"
#include "common/stream.h"
#include "platform/dshow/pin.h"

// A write-only stream over an IStream that someone else holds. The size is the high-water mark: the
// largest position reached, or the stream's end found when it was attached. A seek never extends
// the stream.
class MuxOutStream : public DataStream {
 public:
  // Takes the stream's current position and end; when the stream cannot tell them both are 0. Null
  // detaches.
  void Attach(IStream* stream);

  bool IsReading() const override { return false; }
  bool AtEnd() const override { return false; }
  int64_t GetPosition() const override { return position_; }
  bool Seek(int64_t position) override;
  int64_t GetSize() const override { return size_; }
  int32_t Transfer(void* buffer, int32_t count) override;
  // Cuts the stream at the current position, so nothing it held before stays behind the movie;
  // false when the stream cannot be cut (the size then stays).
  bool CutHere();

 private:
  IStream* stream_ = nullptr;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

class SwfMuxOut : public CBaseOutputPin, public MuxOutStream {
 public:
  SwfMuxOut(CBaseFilter* filter, CriticalSection* filterLock);
  ~SwfMuxOut() override;

  // MEDIATYPE_Stream only.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // One buffer of 64 KiB; it is never filled.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Refuses a sink that offers no IStream.
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;

  // Attaches the held stream again, so that each movie starts from the stream as it is now.
  void Reattach() { Attach(sinkStream_.Get()); }

 private:
  ComPtr<IStream> sinkStream_;  // the downstream pin's stream, held while connected
};
