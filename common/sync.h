#pragma once
// Owners of Win32 synchronisation objects. Sections are taken only through ScopedLock, so every
// path leaves them.

#include <windows.h>

#include <cstdint>

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class ScopedLock {
 public:
  explicit ScopedLock(CriticalSection* section) : section_(section) {
    if (section_) section_->Enter();
  }
  ~ScopedLock() {
    if (section_) section_->Leave();
  }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CriticalSection* section_;
};

// Holds a mutex it does not own for the life of the object.
class MutexLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
  ~MutexLock() { ReleaseMutex(mutex_); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  HANDLE mutex_;
};

class Event {
 public:
  Event(bool manualReset, bool initiallySignalled)
      : handle_(CreateEventW(nullptr, manualReset, initiallySignalled, nullptr)) {}
  ~Event() {
    if (handle_) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  HANDLE GetHandle() const { return handle_; }
  void Set() { SetEvent(handle_); }
  void Reset() { ResetEvent(handle_); }
  // True only when the event was signalled within the time.
  bool Wait(DWORD milliseconds) { return WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0; }

 private:
  HANDLE handle_;
};

// A countdown latch: the last of n callers releases the others.
class CountEvent {
 public:
  CountEvent() : event_(true, false) {}
  CountEvent(const CountEvent&) = delete;
  CountEvent& operator=(const CountEvent&) = delete;

  void SetCount(int32_t count);
  // True when the wait ended without the event (time-out or failure); a caller that times out
  // leaves its decrement in place.
  bool CountDownAndWait(DWORD milliseconds);
  void ReleaseAll();

 private:
  CriticalSection section_;
  Event event_;
  int32_t count_ = 0;
};
