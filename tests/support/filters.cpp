#include "tests/support/filters.h"

#include <array>
#include <atomic>
#include <cstring>

#include "common/dib.h"

namespace {

std::array<std::atomic<int>, static_cast<size_t>(LiveKind::kCount)> g_live;

// The reference count and QueryInterface of the test's own COM objects: IUnknown and Interface.
template <class Interface>
class TestComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid != IID_IUnknown && riid != __uuidof(Interface)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<Interface*>(this);
    this->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = --references_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 protected:
  virtual ~TestComObject() = default;

 private:
  std::atomic<LONG> references_{1};
};

// The format object of test media types: it only counts itself.
class TypeToken final : public TestComObject<IUnknown> {
 private:
  LiveCount live_{LiveKind::kToken};
};

// Lends the memory allocator's buffers but cannot commit them, as an allocator out of memory.
class UncommittableAllocator final : public TestComObject<IMemAllocator> {
 public:
  explicit UncommittableAllocator(IMemAllocator* inner) : inner_(inner) {}

  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    return inner_->SetProperties(request, actual);
  }
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override {
    return inner_->GetProperties(properties);
  }
  HRESULT STDMETHODCALLTYPE Commit() override { return E_OUTOFMEMORY; }
  HRESULT STDMETHODCALLTYPE Decommit() override { return inner_->Decommit(); }
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags) override {
    return inner_->GetBuffer(sample, start, stop, flags);
  }
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override { return inner_->ReleaseBuffer(sample); }

 private:
  ComPtr<IMemAllocator> inner_;
};

}  // namespace

LiveCount::LiveCount(LiveKind kind) : kind_(kind) { ++g_live[static_cast<size_t>(kind)]; }
LiveCount::~LiveCount() { --g_live[static_cast<size_t>(kind_)]; }

std::string LiveObjects() {
  static const char* const kNames[] = {"filters", "pins", "seeking", "tokens"};
  std::string text;
  for (size_t i = 0; i < g_live.size(); ++i) {
    if (g_live[i] != 0) text += std::string(kNames[i]) + "=" + std::to_string(g_live[i].load()) + " ";
  }
  if (CUnknown::ObjectsActive() != 0) text += "objects=" + std::to_string(CUnknown::ObjectsActive());
  return text;
}

CMediaType CountedType(const GUID& majorType, const GUID& subtype) {
  CMediaType type(majorType);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_None);
  type.pUnk = new TypeToken;  // the type owns the token's first reference
  return type;
}

CMediaType RgbVideoType(int32_t width, int32_t height, int bitCount, DWORD compression) {
  CMediaType type = CountedType(MEDIATYPE_Video, bitCount == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  info->AvgTimePerFrame = 400000;
  BITMAPINFOHEADER& header = info->bmiHeader;
  header = MakeDibHeader(width, height, bitCount, compression);
  header.biSizeImage = static_cast<DWORD>(ImageSizeOf(header));
  type.SetSampleSize(header.biSizeImage);
  return type;
}

// ---- the source pin's IMediaSeeking: a duration and nothing else ----

class TestSeeking : public CUnknown, public IMediaSeeking {
 public:
  explicit TestSeeking(IUnknown* owner) : CUnknown(L"TestSeeking", owner) {}

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
  }

  static constexpr DWORD kCapabilities = AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;

  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override {
    if (!capabilities) return E_POINTER;
    *capabilities = kCapabilities;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override {
    if (!capabilities) return E_POINTER;
    const DWORD asked = *capabilities;
    *capabilities &= kCapabilities;
    return *capabilities == asked ? S_OK : (*capabilities ? S_FALSE : E_FAIL);
  }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override {
    return format && *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override { return GetTimeFormat(format); }
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override {
    return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
    if (!duration) return E_POINTER;
    *duration = duration_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override { return GetDuration(stop); }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override {
    if (!current || !stop) return E_POINTER;
    *current = 0;
    *stop = duration_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetRate(double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRate(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG*) override { return E_NOTIMPL; }

  REFERENCE_TIME duration_ = 0;

 private:
  LiveCount live_{LiveKind::kSeeking};
};

// ---- TestSourcePin ----

TestSourcePin::TestSourcePin(TestSource* filter, CriticalSection* lock, const wchar_t* name, const CMediaType& type)
    : CBaseOutputPin(L"TestSourcePin", filter, lock, name), type_(type), seeking_(new TestSeeking(GetOwner())) {}

TestSourcePin::~TestSourcePin() = default;

HRESULT STDMETHODCALLTYPE TestSourcePin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMediaSeeking) return seeking_->NonDelegatingQueryInterface(riid, object);
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

void TestSourcePin::SetDuration(REFERENCE_TIME duration) { seeking_->duration_ = duration; }

HRESULT TestSourcePin::CheckMediaType(const CMediaType* type) { return *type == type_ ? S_OK : S_FALSE; }

HRESULT TestSourcePin::GetMediaType(int position, CMediaType* type) {
  if (position != 0) return VFW_S_NO_MORE_ITEMS;
  return type->Set(type_);
}

HRESULT TestSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = bufferCount_;
  request->cbBuffer = bufferSize_;
  if (request->cbAlign < 1) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT result = allocator->SetProperties(request, &actual);
  if (FAILED(result)) return result;
  return actual.cbBuffer < bufferSize_ ? E_FAIL : S_OK;
}

HRESULT TestSourcePin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator) {
  if (!readOnly_) return CBaseOutputPin::DecideAllocator(pin, allocator);
  HRESULT result = pin->GetAllocator(allocator.Clear());
  if (SUCCEEDED(result)) {
    ALLOCATOR_PROPERTIES request = {};
    result = DecideBufferSize(allocator.Get(), &request);
  }
  if (SUCCEEDED(result)) result = pin->NotifyAllocator(allocator.Get(), TRUE);
  if (FAILED(result)) allocator.Release();
  return result;
}

HRESULT TestSourcePin::Push(const std::vector<uint8_t>& bytes, REFERENCE_TIME start, REFERENCE_TIME stop,
                            bool syncPoint) {
  return PushSample(bytes, &start, &stop, syncPoint);
}

HRESULT TestSourcePin::PushWithoutTimes(const std::vector<uint8_t>& bytes) {
  return PushSample(bytes, nullptr, nullptr, false);
}

HRESULT TestSourcePin::PushWithType(const std::vector<uint8_t>& bytes, const CMediaType& type) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 1;
  return PushSample(bytes, &start, &stop, true, &type);
}

HRESULT TestSourcePin::PushSample(const std::vector<uint8_t>& bytes, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                  bool syncPoint, const CMediaType* type) {
  ComPtr<IMediaSample> sample;
  HRESULT result = GetDeliveryBuffer(sample.Clear(), start, stop, 0);
  if (FAILED(result)) return result;
  BYTE* data = nullptr;
  result = sample->GetPointer(&data);
  if (FAILED(result)) return result;
  if (static_cast<long>(bytes.size()) > sample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  sample->SetActualDataLength(static_cast<long>(bytes.size()));
  sample->SetTime(start, stop);
  sample->SetSyncPoint(syncPoint);
  sample->SetMediaType(const_cast<CMediaType*>(type));
  return Deliver(sample.Get());
}

// ---- TestSource ----

TestSource::TestSource(const std::vector<CMediaType>& types)
    : CBaseFilter(L"TestSource", nullptr, &filterLock_, GUID_NULL) {
  for (size_t i = 0; i < types.size(); ++i) {
    const std::wstring name = L"Out " + std::to_wstring(i);
    pins_.push_back(std::make_unique<TestSourcePin>(this, &filterLock_, name.c_str(), types[i]));
  }
}

TestSource::~TestSource() = default;

CBasePin* TestSource::GetPin(int index) {
  return index >= 0 && index < GetPinCount() ? pins_[static_cast<size_t>(index)].get() : nullptr;
}

// ---- TestSinkPin ----

TestSinkPin::TestSinkPin(TestSink* filter, CriticalSection* lock)
    : CRenderedInputPin(L"TestSinkPin", filter, lock, L"In"), sink_(filter) {}

HRESULT STDMETHODCALLTYPE TestSinkPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IStream && sink_->stream_.IsValid()) return sink_->stream_->QueryInterface(riid, object);
  return CRenderedInputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT TestSinkPin::CheckMediaType(const CMediaType* type) {
  return sink_->accepted_ == GUID_NULL || *type->Type() == sink_->accepted_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::GetAllocator(IMemAllocator** allocator) {
  const HRESULT result = CRenderedInputPin::GetAllocator(allocator);
  if (SUCCEEDED(result) && sink_->uncommittable_) {
    ComPtr<IMemAllocator> inner;
    *inner.Clear() = *allocator;
    *allocator = new UncommittableAllocator(inner.Get());
  }
  if (SUCCEEDED(result) && own_.IsNull()) own_ = *allocator;
  return result;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (sink_->insistOnOwnAllocator_ && allocator != own_.Get()) return E_FAIL;
  return CRenderedInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT STDMETHODCALLTYPE TestSinkPin::Receive(IMediaSample* sample) {
  const HRESULT result = CRenderedInputPin::Receive(sample);
  if (result != S_OK) return result;
  CapturedSample captured;
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data)) && data && sample->GetActualDataLength() > 0)
    captured.bytes.assign(data, data + sample->GetActualDataLength());
  captured.timeResult = sample->GetTime(&captured.start, &captured.stop);
  captured.syncPoint = sample->IsSyncPoint() == S_OK;
  ScopedLock lock(&sink_->dataLock_);
  sink_->samples_.push_back(std::move(captured));
  if (sink_->holdSamples_) sink_->held_.emplace_back(sample);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::EndOfStream() {
  const HRESULT result = CRenderedInputPin::EndOfStream();
  if (result == S_OK) {
    ScopedLock lock(&sink_->dataLock_);
    ++sink_->endOfStreams_;
  }
  return result;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::EndFlush() {
  {
    ScopedLock lock(&sink_->dataLock_);
    if (IsFlushing()) ++sink_->flushes_;
  }
  return CRenderedInputPin::EndFlush();
}

HRESULT STDMETHODCALLTYPE TestSinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  ScopedLock lock(&sink_->dataLock_);
  return CRenderedInputPin::NewSegment(start, stop, rate);
}

HRESULT TestSinkPin::Inactive() {
  // Decommit first: a buffer let go before that would go to an upstream thread still waiting.
  const HRESULT result = CRenderedInputPin::Inactive();
  ScopedLock lock(&sink_->dataLock_);
  sink_->held_.clear();
  return result;
}

// ---- TestSink ----

TestSink::TestSink(const GUID& acceptedMajorType)
    : CBaseFilter(L"TestSink", nullptr, &filterLock_, GUID_NULL),
      accepted_(acceptedMajorType),
      pin_(this, &filterLock_),
      position_(L"TestSink position", GetOwner(), &pin_) {}

HRESULT STDMETHODCALLTYPE TestSink::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) return position_.NonDelegatingQueryInterface(riid, object);
  return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT TestSink::LendStream(IStream* stream) {
  if (!stream) return CreateStreamOnHGlobal(nullptr, TRUE, stream_.Clear());
  stream_ = stream;
  return S_OK;
}

std::vector<uint8_t> TestSink::StreamBytes() {
  std::vector<uint8_t> bytes;
  HGLOBAL memory = nullptr;
  STATSTG stat = {};
  if (stream_.IsNull() || FAILED(GetHGlobalFromStream(stream_.Get(), &memory)) ||
      FAILED(stream_->Stat(&stat, STATFLAG_NONAME))) {
    return bytes;
  }
  if (const auto* data = static_cast<const uint8_t*>(GlobalLock(memory))) {
    bytes.assign(data, data + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
  }
  return bytes;
}

std::vector<CapturedSample> TestSink::Samples() {
  ScopedLock lock(&dataLock_);
  return samples_;
}

int TestSink::EndOfStreams() {
  ScopedLock lock(&dataLock_);
  return endOfStreams_;
}

int TestSink::Flushes() {
  ScopedLock lock(&dataLock_);
  return flushes_;
}

REFERENCE_TIME TestSink::SegmentStart() {
  ScopedLock lock(&dataLock_);
  return pin_.segmentStart_;
}

double TestSink::SegmentRate() {
  ScopedLock lock(&dataLock_);
  return pin_.segmentRate_;
}

bool TestSink::ReceivedReadOnly() { return pin_.IsReadOnly(); }

// ---- TestPassThrough ----

TestPassThrough::TestPassThrough(IUnknown* outer)
    : CTransInPlaceFilter(L"TestPassThrough", outer, GUID_NULL, false) {}

// ---- TestOuter ----

HRESULT STDMETHODCALLTYPE TestOuter::QueryInterface(REFIID riid, void** object) {
  if (riid == IID_IUnknown) {
    *object = this;
    AddRef();
    return S_OK;
  }
  if (inner.IsNull()) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  return inner->QueryInterface(riid, object);
}
