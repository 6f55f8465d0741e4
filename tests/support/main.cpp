// The main of every test program: COM initialised (Wine's class factories refuse otherwise) and the
// recording error handler installed and emptied before each test.

#include <objbase.h>

#include <gtest/gtest.h>

#include "tests/support/errors.h"

namespace {

class ResetRecordedErrors : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    InstallRecordingErrorHandler();
    RecordedErrors().Reset();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  testing::UnitTest::GetInstance()->listeners().Append(new ResetRecordedErrors);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
