#pragma once
// CUnknown: the IUnknown of every object of the filter layer. Each object has a non-delegating
// IUnknown that owns its lifetime and may be aggregated: its interfaces' IUnknown methods go to the
// owner (the outer object, or the object's own non-delegating part).

#include <objbase.h>

#include <atomic>

// The vtable starts like IUnknown's, so an outer object can hold it as its inner IUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
 public:
  // A null outer makes the object its own owner. Objects start with no reference.
  CUnknown(const wchar_t* objectName, IUnknown* outer);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  IUnknown* GetOwner() const { return owner_; }
  const wchar_t* GetObjectName() const { return objectName_; }

  // Objects of this layer alive in this module, and class factory locks; DllCanUnloadNow answers
  // S_OK only when both are zero.
  static LONG ObjectsActive() { return activeObjects_.load(); }
  static void LockModule(bool lock);
  static LONG ModuleLocks() { return moduleLocks_.load(); }

 private:
  const wchar_t* objectName_;
  IUnknown* owner_;
  std::atomic<LONG> references_{0};

  static std::atomic<LONG> activeObjects_;
  static std::atomic<LONG> moduleLocks_;
};

// Hands out an interface of the object with a reference.
HRESULT GetInterface(IUnknown* interfacePointer, void** object);

// The IUnknown methods of an object's interfaces: all go to the owner.
#define DECLARE_IUNKNOWN                                                                                \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {                      \
    return GetOwner()->QueryInterface(riid, object);                                                    \
  }                                                                                                     \
  ULONG STDMETHODCALLTYPE AddRef() override { return GetOwner()->AddRef(); }                            \
  ULONG STDMETHODCALLTYPE Release() override { return GetOwner()->Release(); }
