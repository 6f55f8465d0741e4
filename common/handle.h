#pragma once
// HandleGuard: the one scoped {release function, handle} holder. Win32 handles (CloseHandle), C
// runtime files (fclose) and registry keys (RegCloseKey) are all held this way.

template <class Handle, class Release>
class HandleGuard {
 public:
  HandleGuard(Release release, Handle handle) : release_(release), handle_(handle) {}
  ~HandleGuard() {
    if (release_) release_(handle_);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

  Handle Get() const { return handle_; }
  // Gives the handle up without releasing it.
  Handle Detach() {
    release_ = nullptr;
    return handle_;
  }

 private:
  Release release_;
  Handle handle_;
};

// The settings back ends' name for the same holder (C runtime files, registry keys).
template <class Handle, class Release>
using ScopedCloser = HandleGuard<Handle, Release>;
