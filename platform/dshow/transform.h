#pragma once
// CTransformFilter: one input pin "In", one output pin "Out", and a Transform from an input sample
// into an output buffer. The derived filter decides the types and the buffer sizes; the pins ask
// it. Samples arrive under the receive lock; Stop waits on that lock for the sample in progress.
// The output pin passes seeking upstream.

#include <memory>

#include "platform/dshow/filter.h"
#include "platform/dshow/pin.h"
#include "platform/dshow/pospass.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(const wchar_t* objectName, CTransformFilter* filter, const wchar_t* pinName = L"In");

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  // The filter's CheckInputType, and CheckTransform against a connected output.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;

  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 protected:
  CTransformFilter* transform_;
};

class CTransformOutputPin : public CBaseOutputPin {
 public:
  // Made after the input pin, whose upstream peer answers seeking.
  CTransformOutputPin(const wchar_t* objectName, CTransformFilter* filter, const wchar_t* pinName = L"Out");

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  // The filter's CheckTransform from the connected input type.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 protected:
  CTransformFilter* transform_;

 private:
  CPosPassThru position_;
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  // What a derived filter supplies. Only S_OK accepts a type.
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
  virtual HRESULT CheckInputType(const CMediaType* type) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
  // Bracket streaming: from Pause out of Stopped (with the input connected) to the next Stop.
  virtual HRESULT StartStreaming();
  virtual HRESULT StopStreaming();

  // Connection hooks, called by the pins.
  virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
  virtual HRESULT BreakConnect(PIN_DIRECTION direction);
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);

  // The input pin's sample and stream events, under the receive lock (flushing under the filter
  // lock); each passes on downstream.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  CTransformInputPin* InputPin() const { return input_.get(); }
  CTransformOutputPin* OutputPin() const { return output_.get(); }
  CriticalSection* ReceiveLock() { return &receiveLock_; }

 protected:
  // For a derived filter that makes its own pins (input first) in its constructor.
  struct OwnPins {};
  CTransformFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId, OwnPins);

  // A delivery buffer carrying the input sample's times and flags.
  HRESULT InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>& out);
  // Times, media times, sync point, preroll and discontinuity; the media type when asked.
  static void CopySampleProperties(IMediaSample* from, IMediaSample* to, bool withMediaType);

  CriticalSection filterLock_;
  CriticalSection receiveLock_;
  std::unique_ptr<CTransformInputPin> input_;
  std::unique_ptr<CTransformOutputPin> output_;

 private:
  bool streaming_ = false;     // StartStreaming succeeded and StopStreaming is still due
  bool eosDelivered_ = false;  // with no input, end of stream went downstream once per run
};
