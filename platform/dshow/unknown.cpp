#include "platform/dshow/unknown.h"

std::atomic<LONG> CUnknown::activeObjects_{0};
std::atomic<LONG> CUnknown::moduleLocks_{0};

CUnknown::CUnknown(const wchar_t* objectName, IUnknown* outer)
    : objectName_(objectName),
      owner_(outer ? outer : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {
  ++activeObjects_;
}

CUnknown::~CUnknown() { --activeObjects_; }

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown) {
    // The non-delegating part itself: what an aggregating outer object keeps.
    *object = static_cast<INonDelegatingUnknown*>(this);
    NonDelegatingAddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
  const LONG count = --references_;
  if (count == 0) {
    // A destructor that hands out and releases a reference of its own must not delete twice.
    references_ = 1;
    delete this;
  }
  return static_cast<ULONG>(count);
}

void CUnknown::LockModule(bool lock) {
  if (lock)
    ++moduleLocks_;
  else
    --moduleLocks_;
}

HRESULT GetInterface(IUnknown* interfacePointer, void** object) {
  if (!object) return E_POINTER;
  *object = interfacePointer;
  interfacePointer->AddRef();
  return S_OK;
}
