// A crash in a test program ends it at once with its exception code: the test prefixes start no
// debugger, which would wait for a person until the test's time-out.

#include <gtest/gtest.h>

#include "common/window.h"
#include "tests/support/process.h"

TEST(Crash, ANullWriteEndsTheProgramWithItsExceptionCode) {
  const std::wstring program = GetModuleFolder(nullptr) + L"\\null_write.exe";
  EXPECT_EQ(RunProgram(L"\"" + program + L"\"", 20000), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}
