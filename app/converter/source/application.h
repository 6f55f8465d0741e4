#pragma once
// The converter's application object: reads the command line, loads the program settings from a
// file beside the program (or one named with "-c") or else from the user's registry key, runs the
// main window's message loop and writes the settings back where they came from.

#include <string>
#include <vector>

#include "app/converter/source/config.h"
#include "common/counted.h"
#include "common/loader.h"

class Frame;

// The registry key of the settings when no settings file exists.
extern const wchar_t kSettingsKey[];

// The "-c <path>" walk over the arguments after the program path: an argument that is exactly
// "-c" makes the next one the settings path (a later one wins); everything else is ignored.
void ApplySettingsOption(const std::vector<std::wstring>& arguments, std::wstring& settingsPath);

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Loads the settings and creates the main window; no failure stops it. The command line is the
  // process's unless given.
  void Init();
  void Init(const wchar_t* commandLine);
  // False when the command line cannot be split or holds nothing.
  bool ParseCommandLine(const wchar_t* commandLine);
  // The message loop; the quit message's code.
  int Run();
  // Writes the settings where they came from, once: a session that ends takes the process before
  // its exit, which then writes nothing again.
  void SaveSettings();
  // Closes the window, then saves the settings unless that was done.
  void Shutdown();

  Config& GetConfig() { return config; }
  Frame* GetFrame() const { return frame.Get(); }
  const std::wstring& GetSettingsPath() const { return settings_path; }

 private:
  CountedPtr<DataLoader> loader;
  std::wstring settings_path;
  Config config;
  CountedPtr<Frame> frame;
  bool settings_saved = false;
};
