#pragma once
// The command tool: starts the recorder from the tool's own folder, or posts one recording command
// to the recorder's main window. Everything the tool does to the outside world goes through a
// CommandHost, so the whole run can be driven without processes or windows.

#include <windows.h>

#include <string>
#include <vector>

// The recorder's main window title.
extern const wchar_t kRecorderTitle[];

struct CommandEntry {
  int id;  // the WM_COMMAND identifier posted to the recorder
  std::wstring name;  // the command word once the table is built
  std::wstring help;
};

struct LaunchOptions {
  bool hide = false;
  std::wstring configFile;
};

class CommandHost {
 public:
  virtual ~CommandHost() = default;
  // ShellExecuteW's "open": a result above 32 is success.
  virtual INT_PTR Launch(const std::wstring& program, const std::wstring& parameters, const std::wstring& folder,
                         int showCommand) = 0;
  virtual HWND FindMainWindow(const wchar_t* title) = 0;
  virtual bool PostCommand(HWND window, int id) = 0;
  // Modal, without an owner.
  virtual void ShowMessage(const std::wstring& title, const std::wstring& text) = 0;
};

// The real processes, windows and the tool's message box.
CommandHost& SystemCommandHost();

class CommandTable {
 public:
  explicit CommandTable(CommandHost& host = SystemCommandHost()) : host_(host) {}

  // The seven recorder commands in the protocol's order, their names made command words.
  void Build();
  const std::vector<CommandEntry>& Entries() const { return entries_; }

  // The program's own arguments; 0 for success, -1 for a failure already shown.
  int Run();
  int Run(const std::vector<std::wstring>& arguments);

  // The program's arguments without its name; empty when the command line cannot be split.
  static std::vector<std::wstring> GetArguments();
  // The arguments after "launch": "-hide", and "-config <file>" where the last one wins.
  static LaunchOptions ParseLaunchOptions(const std::vector<std::wstring>& arguments);
  // Lower case, and every character but letters and digits made "_".
  static std::wstring NormalizeName(const std::wstring& name);

  std::wstring UsageText() const;
  void ShowUsage();

 private:
  int Launch(const std::vector<std::wstring>& arguments, const std::wstring& folder);
  int Post(const std::wstring& word);

  CommandHost& host_;
  std::vector<CommandEntry> entries_;
};
