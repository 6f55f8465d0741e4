#pragma once
// CountedPtr: shared ownership of a heap object through a separately allocated count. The last copy
// deletes the object through its virtual destructor.

#include <atomic>
#include <cstdint>
#include <utility>

template <class T>
class CountedPtr {
 public:
  CountedPtr() = default;
  // Adopts the object; when the count cannot be allocated the object is deleted before the
  // exception goes on.
  explicit CountedPtr(T* object) : object_(object) {
    if (!object_) return;
    try {
      count_ = new std::atomic<int32_t>(1);
    } catch (...) {
      delete object_;
      throw;
    }
  }
  CountedPtr(const CountedPtr& other) : object_(other.object_), count_(other.count_) { AddRef(); }

  // Conversion to a pointer of a base class shares the object and its count.
  template <class U>
  CountedPtr(const CountedPtr<U>& other) : object_(other.object_), count_(other.count_) { AddRef(); }

  ~CountedPtr() { Release(); }

  CountedPtr& operator=(const CountedPtr& other) {
    if (this == &other || object_ == other.object_) return *this;
    Release();
    object_ = other.object_;
    count_ = other.count_;
    AddRef();
    return *this;
  }

  bool IsValid() const { return object_ != nullptr; }
  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  int32_t UseCount() const { return count_ ? count_->load() : 0; }

 private:
  template <class U>
  friend class CountedPtr;

  void AddRef() {
    if (object_ && count_) count_->fetch_add(1);
  }
  void Release() {
    if (count_ && count_->fetch_sub(1) == 1) {
      delete object_;
      delete count_;
    }
    object_ = nullptr;
    count_ = nullptr;
  }

  T* object_ = nullptr;
  std::atomic<int32_t>* count_ = nullptr;
};

template <class T, class... Args>
CountedPtr<T> MakeCounted(Args&&... args) {
  return CountedPtr<T>(new T(std::forward<Args>(args)...));
}
