// The command tool's entry: one run per start, its result the exit code.

#include <windows.h>

#include "app/drovel/source/command.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CommandTable table;
  table.Build();
  return table.Run();
}
