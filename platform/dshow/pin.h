#pragma once
// Pins. A pin's references are its filter's: it lives and dies with the filter that owns it. All
// connection work runs under the filter lock, and only while the filter is stopped.
//
// Connecting (from the output side): the media types of the receiving pin are tried first, then
// the pin's own; a type is taken when CheckConnect and CheckMediaType accept it (only S_OK
// accepts), the peer's ReceiveConnection agrees, and CompleteConnect succeeds. The pin counts as
// connected from the moment the peer is asked, so CompleteConnect already sees the connection.

#include <dshow.h>

#include <string>

#include "common/comptr.h"
#include "common/sync.h"
#include "platform/dshow/mediatype.h"
#include "platform/dshow/unknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin {
 public:
  CBasePin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock, const wchar_t* pinName,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // Only S_OK accepts a type.
  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  // The pin's preferred types by position; anything but S_OK ends the list.
  virtual HRESULT GetMediaType(int position, CMediaType* type);
  virtual HRESULT SetMediaType(const CMediaType* type);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // State changes of the filter, for connected pins only.
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME start);

  bool IsConnected() const { return connected_.IsValid(); }
  IPin* GetConnected() const { return connected_.Get(); }
  const CMediaType& CurrentMediaType() const { return mediaType_; }
  bool IsFlushing() const { return flushing_; }
  const std::wstring& Name() const { return name_; }
  PIN_DIRECTION Direction() const { return direction_; }

 protected:
  CBaseFilter* filter_;
  CriticalSection* lock_;
  bool flushing_ = false;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = 0;
  double segmentRate_ = 1.0;

 private:
  HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* partial);
  HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
  void ClearConnection();

  std::wstring name_;
  PIN_DIRECTION direction_;
  ComPtr<IPin> connected_;
  CMediaType mediaType_;
};

// IMemInputPin over the allocator the upstream pin chose; its own offer is a system memory
// allocator. Samples are refused while the filter is stopped, while flushing, and after a run-time
// error until the next stop or flush.
class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock, const wchar_t* pinName);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  // The checks every derived Receive starts with: streaming state, and a sample that announces a
  // media type the pin does not take (TakesType; VFW_E_INVALIDMEDIATYPE, after which the pin
  // refuses every sample until the next stop or flush). A type it takes changes nothing.
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

  // IPin
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  // While connected, by the rule Receive follows (TakesType).
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;

  // S_OK while samples may be taken; S_FALSE while flushing; a failure otherwise.
  virtual HRESULT CheckStreaming();
  // A new type in the middle of the stream: CheckMediaType must take it, and it must keep what the
  // pin was set up for from the connected type (KeepsPrepared).
  bool TakesType(const CMediaType& type);
  // By default KeepsPreparedFormat with the connected type; a pin that depends on less says so.
  virtual bool KeepsPrepared(const CMediaType& type);

  HRESULT Inactive() override;
  HRESULT BreakConnect() override;

  IMemAllocator* Allocator() const { return allocator_.Get(); }
  bool IsReadOnly() const { return readOnly_; }

 protected:
  ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  bool runTimeError_ = false;
};

// Chooses and commits the allocator of the connection and delivers samples and stream events to
// the connected input pin.
class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock, const wchar_t* pinName);

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // The peer's allocator when it takes our buffer sizes, else a system memory allocator of our own.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator);
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT InitAllocator(ComPtr<IMemAllocator>& allocator);

  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // Stream events come downstream only.
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

  IMemAllocator* Allocator() const { return allocator_.Get(); }
  IMemInputPin* ConnectedInput() const { return inputPin_.Get(); }

 protected:
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IMemInputPin> inputPin_;
};

// The input pin of a renderer: the end of its stream completes the graph (EC_COMPLETE), at once
// when the filter runs, else when it is next run, since the graph counts completions from Run on.
class CRenderedInputPin : public CBaseInputPin {
 public:
  CRenderedInputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock, const wchar_t* pinName);

  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT Active() override;
  HRESULT Run(REFERENCE_TIME start) override;

 private:
  void DoCompleteHandling();

  bool atEndOfStream_ = false;
  bool completeNotified_ = false;
};
