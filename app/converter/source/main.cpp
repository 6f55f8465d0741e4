// The converter's entry: COM, the application's start-up, its message loop and its shutdown.

#include <windows.h>
#include <objbase.h>

#include <memory>

#include "app/converter/source/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The program goes on without COM; the conversion then reports its own failure.
  CoInitialize(nullptr);
  auto application = std::make_unique<Application>();
  application->Init();
  const int result = application->Run();
  application->Shutdown();
  CoUninitialize();
  application.reset();
  return result;
}
