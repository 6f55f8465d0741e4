#pragma once
// Test filters on the project's DirectShow base classes, for real graphs in Wine's filter graph
// manager: a push source with any number of output pins, an in-place pass-through and a sink that
// captures what reaches it. Each filter, pin, seeking part and media-type token counts itself, so
// a test can end by checking that nothing was leaked (LiveObjects()).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/sync.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/pin.h"
#include "platform/dshow/pospass.h"
#include "platform/dshow/transip.h"

enum class LiveKind { kFilter, kPin, kSeeking, kToken, kCount };

class LiveCount {
 public:
  explicit LiveCount(LiveKind kind);
  ~LiveCount();
  LiveCount(const LiveCount&) = delete;
  LiveCount& operator=(const LiveCount&) = delete;

 private:
  LiveKind kind_;
};

// "" when no test object and no object of the base classes is alive, else what is
// ("filters=1 pins=2 ... objects=5").
std::string LiveObjects();

// Test media types carry a counted token as their format object (pUnk): a copy that is never
// freed keeps it alive.
CMediaType CountedType(const GUID& majorType, const GUID& subtype);
CMediaType RgbVideoType(int32_t width, int32_t height, int bitCount, DWORD compression = BI_RGB);

struct CapturedSample {
  std::vector<uint8_t> bytes;
  HRESULT timeResult = E_FAIL;  // GetTime's answer
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool syncPoint = false;
};

class TestSource;
class TestSeeking;

class TestSourcePin : public CBaseOutputPin {
 public:
  TestSourcePin(TestSource* filter, CriticalSection* lock, const wchar_t* name, const CMediaType& type);
  ~TestSourcePin() override;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  // Its own type, exactly.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator) override;

  // Settings, before connecting.
  void SetBuffers(long count, long size) {
    bufferCount_ = count;
    bufferSize_ = size;
  }
  // Lends its buffers read-only: a filter that writes into them must copy.
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // The duration the pin's IMediaSeeking reports.
  void SetDuration(REFERENCE_TIME duration);

  // For the test's streaming thread: one sample from the connection's allocator.
  HRESULT Push(const std::vector<uint8_t>& bytes, REFERENCE_TIME start, REFERENCE_TIME stop, bool syncPoint = true);
  HRESULT PushWithoutTimes(const std::vector<uint8_t>& bytes);
  // A sample that announces a change to another media type.
  HRESULT PushWithType(const std::vector<uint8_t>& bytes, const CMediaType& type);
  HRESULT SendEndOfStream() { return DeliverEndOfStream(); }
  HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return DeliverNewSegment(start, stop, rate);
  }

 private:
  HRESULT PushSample(const std::vector<uint8_t>& bytes, REFERENCE_TIME* start, REFERENCE_TIME* stop, bool syncPoint,
                     const CMediaType* type = nullptr);

  LiveCount live_{LiveKind::kPin};
  CMediaType type_;
  long bufferCount_ = 2;
  long bufferSize_ = 4096;
  bool readOnly_ = false;
  std::unique_ptr<TestSeeking> seeking_;
};

class TestSource : public CBaseFilter {
 public:
  // One output pin per type, named "Out 0", "Out 1", ...
  explicit TestSource(const std::vector<CMediaType>& types);
  ~TestSource() override;

  int GetPinCount() override { return static_cast<int>(pins_.size()); }
  CBasePin* GetPin(int index) override;
  TestSourcePin* Pin(int index) const { return pins_.at(static_cast<size_t>(index)).get(); }

 private:
  LiveCount live_{LiveKind::kFilter};
  CriticalSection filterLock_;
  std::vector<std::unique_ptr<TestSourcePin>> pins_;
};

class TestSink;

class TestSinkPin : public CRenderedInputPin {
 public:
  TestSinkPin(TestSink* filter, CriticalSection* lock);

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  HRESULT Inactive() override;

 private:
  friend class TestSink;
  LiveCount live_{LiveKind::kPin};
  TestSink* sink_;
  ComPtr<IMemAllocator> own_;  // the allocator this pin offered
};

class TestSink : public CBaseFilter {
 public:
  // Accepts types of that major type (GUID_NULL: any).
  explicit TestSink(const GUID& acceptedMajorType = GUID_NULL);

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
  TestSinkPin* Pin() { return &pin_; }

  // Settings, before connecting.
  // Takes no allocator but the one it offered, so a peer that has its own must copy.
  void InsistOnOwnAllocator() { insistOnOwnAllocator_ = true; }
  // Keeps every sample until the filter stops, so the upstream allocator runs dry.
  void HoldSamples() { holdSamples_ = true; }
  // Offers an allocator that cannot commit: the upstream output pin fails to become active.
  void OfferUncommittableAllocator() { uncommittable_ = true; }
  // Lends an IStream on its pin (by default one over memory), for a writer that writes through the
  // stream rather than in samples. (Asked for anything else, that stream answers as itself, not as
  // the pin.)
  HRESULT LendStream(IStream* stream = nullptr);

  // What was written through the lent stream.
  std::vector<uint8_t> StreamBytes();

  std::vector<CapturedSample> Samples();
  int EndOfStreams();
  int Flushes();  // completed BeginFlush/EndFlush pairs
  REFERENCE_TIME SegmentStart();
  double SegmentRate();
  bool ReceivedReadOnly();

 private:
  friend class TestSinkPin;
  LiveCount live_{LiveKind::kFilter};
  GUID accepted_;
  bool insistOnOwnAllocator_ = false;
  bool holdSamples_ = false;
  bool uncommittable_ = false;
  CriticalSection filterLock_;
  CriticalSection dataLock_;
  std::vector<CapturedSample> samples_;
  std::vector<ComPtr<IMediaSample>> held_;
  ComPtr<IStream> stream_;
  int endOfStreams_ = 0;
  int flushes_ = 0;
  TestSinkPin pin_;
  CPosPassThru position_;
};

// Passes samples through unchanged (an in-place transform that does not write).
class TestPassThrough : public CTransInPlaceFilter {
 public:
  explicit TestPassThrough(IUnknown* outer = nullptr);

  HRESULT CheckInputType(const CMediaType* type) override { return type ? S_OK : E_POINTER; }
  HRESULT Transform(IMediaSample*) override {
    ++transformed_;
    return S_OK;
  }
  int Transformed() const { return transformed_; }

 private:
  LiveCount live_{LiveKind::kFilter};
  int transformed_ = 0;
};

// An outer object that aggregates one inner object and hands out its interfaces as its own; the
// test reads its reference count.
class TestOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
  ComPtr<IUnknown> inner;  // the inner object's non-delegating IUnknown
};
