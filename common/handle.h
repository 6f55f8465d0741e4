#pragma once
// HandleGuard: the one scoped {release function, handle} holder. Win32 handles (CloseHandle), C
// runtime files (fclose), registry keys (RegCloseKey) and GDI objects (DeleteObject) are all held
// this way.

template <class Handle, class Release>
class HandleGuard {
 public:
  HandleGuard(Release release, Handle handle) : release_(release), handle_(handle) {}
  ~HandleGuard() { ReleaseHeld(); }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

  Handle Get() const { return handle_; }
  // Gives the handle up without releasing it.
  Handle Detach() {
    owned_ = false;
    return handle_;
  }
  // Releases the held handle, then holds this one.
  void Reset(Handle handle) {
    ReleaseHeld();
    handle_ = handle;
    owned_ = true;
  }

 private:
  void ReleaseHeld() {
    if (owned_ && release_) release_(handle_);
    owned_ = false;
  }

  Release release_;
  Handle handle_;
  bool owned_ = true;
};

// The settings back ends' name for the same holder (C runtime files, registry keys).
template <class Handle, class Release>
using ScopedCloser = HandleGuard<Handle, Release>;
