#pragma once
// A codec library for exact message-sequence tests (test_codec.dll). Its DriverProc logs every call
// and answers through the test's hook, else through the DriverProc of a library it forwards to,
// else with fixed answers: 1 for DRV_LOAD, DRV_ENABLE, DRV_DISABLE, DRV_FREE and DRV_CLOSE,
// kTestDriverId for a driver-level DRV_OPEN (no open block), kTestInstanceId for an instance open,
// ICERR_UNSUPPORTED for anything else. A test links the library and drives it through these
// functions; the code under test loads the same module by path.

#include <windows.h>
#include <vfw.h>

inline constexpr LRESULT kTestDriverId = 0x1300;
inline constexpr LRESULT kTestInstanceId = 0x2400;

struct TestCodecCall {
  DWORD_PTR driverId;
  HDRVR driver;
  UINT message;
  LPARAM param1;
  LPARAM param2;
  // DRV_OPEN with an open block: a copy of the block as the codec saw it.
  BOOL hasOpen;
  ICOPEN open;
};

// Answers a call itself by returning TRUE with the result; FALSE lets the codec answer.
using TestCodecHook = BOOL (*)(const TestCodecCall* call, LRESULT* result);

// Plain C calls, so that the names are the same on both targets.
extern "C" {
// Empties the log and drops the hook and the forwarding.
void TestCodecReset();
void TestCodecSetHook(TestCodecHook hook);
// Forwards what the hook leaves to this library's DriverProc; FALSE when it has none.
BOOL TestCodecForwardTo(const wchar_t* path);
int TestCodecCallCount();
BOOL TestCodecGetCall(int index, TestCodecCall* call);
}
