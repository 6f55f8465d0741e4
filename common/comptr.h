#pragma once
// ComPtr: the one holder of COM interface pointers. It owns one reference. Out-parameters of COM
// calls are received through Clear(), which empties the holder and hands out the address of its
// pointer; there is no overloaded unary & so holders live in standard containers.

#include <objbase.h>
#include <control.h>

#include <utility>

// mingw-w64 declares these interfaces without the identifier that __uuidof needs.
__CRT_UUID_DECL(IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IMediaPosition, 0x56a868b2, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a reference of its own.
  explicit ComPtr(T* pointer) : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ~ComPtr() { Release(); }

  ComPtr& operator=(const ComPtr& other) { return *this = other.pointer_; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Release();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  // Takes a new reference; holding the same pointer already changes nothing.
  ComPtr& operator=(T* pointer) {
    if (pointer_ == pointer) return *this;
    if (pointer) pointer->AddRef();
    T* old = std::exchange(pointer_, pointer);
    if (old) old->Release();
    return *this;
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  bool IsNull() const { return pointer_ == nullptr; }
  bool IsValid() const { return pointer_ != nullptr; }

  void Release() {
    if (T* old = std::exchange(pointer_, nullptr)) old->Release();
  }
  // Empties the holder so that a COM call can store its out-parameter in it.
  T** Clear() {
    Release();
    return &pointer_;
  }
  // Takes over the reference held in `pointer` and empties that variable.
  void Attach(T*& pointer) {
    Release();
    pointer_ = std::exchange(pointer, nullptr);
  }
  // Gives up the reference to the caller.
  T* Detach() { return std::exchange(pointer_, nullptr); }

  // Anything but S_OK leaves the holder empty, also when a success code came with a pointer.
  HRESULT CreateInstance(REFCLSID classId) {
    HRESULT result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                                      reinterpret_cast<void**>(Clear()));
    if (result != S_OK) Release();
    return result;
  }

  // Empty when the source is null or does not offer T.
  static ComPtr QueryFrom(IUnknown* source) {
    ComPtr result;
    if (source && FAILED(source->QueryInterface(__uuidof(T), reinterpret_cast<void**>(result.Clear()))))
      result.Release();
    return result;
  }

 private:
  T* pointer_ = nullptr;
};
