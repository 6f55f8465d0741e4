// The logging test codec behind testcodec.h. Calls may come from any thread (a filter's streaming
// thread), so the log has a lock.

#include "tests/support/testcodec.h"

#include <mutex>
#include <vector>

#include "common/module.h"

namespace {

using DriverProcFunction = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);

std::mutex mutex;
std::vector<TestCodecCall> calls;
TestCodecHook hook = nullptr;
DriverProcFunction forward = nullptr;

LRESULT DefaultAnswer(const TestCodecCall& call) {
  switch (call.message) {
    case DRV_LOAD:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_FREE:
    case DRV_CLOSE: return 1;
    case DRV_OPEN: return call.hasOpen ? kTestInstanceId : kTestDriverId;
    default: return ICERR_UNSUPPORTED;
  }
}

}  // namespace

void TestCodecReset() {
  std::lock_guard<std::mutex> lock(mutex);
  calls.clear();
  hook = nullptr;
  forward = nullptr;
}

void TestCodecSetHook(TestCodecHook newHook) {
  std::lock_guard<std::mutex> lock(mutex);
  hook = newHook;
}

BOOL TestCodecForwardTo(const wchar_t* path) {
  HMODULE module = LoadLibraryW(path);
  const auto procedure = module ? GetProcedure<DriverProcFunction>(module, "DriverProc") : nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  forward = procedure;
  return forward != nullptr;
}

int TestCodecCallCount() {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<int>(calls.size());
}

BOOL TestCodecGetCall(int index, TestCodecCall* call) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!call || index < 0 || static_cast<size_t>(index) >= calls.size()) return FALSE;
  *call = calls[static_cast<size_t>(index)];
  return TRUE;
}

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  TestCodecCall call = {driverId, driver, message, param1, param2, FALSE, {}};
  if (message == DRV_OPEN && param2) {
    call.hasOpen = TRUE;
    call.open = *reinterpret_cast<const ICOPEN*>(param2);
  }
  TestCodecHook currentHook = nullptr;
  DriverProcFunction currentForward = nullptr;
  try {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
    currentHook = hook;
    currentForward = forward;
  } catch (...) {
    return ICERR_MEMORY;
  }
  // Answered outside the lock: a forwarded codec may take its time.
  LRESULT result = 0;
  if (currentHook && currentHook(&call, &result)) return result;
  if (currentForward) return currentForward(driverId, driver, message, param1, param2);
  return DefaultAnswer(call);
}
