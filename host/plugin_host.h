// The stand-in host: loads the plug-in DLL, keeps its callbacks, and gives
// the plug-in a main window whose menu it can extend. Used by the host
// program and by the tests that drive the real DLL.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

struct PluginModule {
  HMODULE module = nullptr;
  int(WINAPI* OnStart)() = nullptr;
  int(WINAPI* OnEveryMinute)() = nullptr;
  int(WINAPI* OnExit)() = nullptr;
  int(WINAPI* OnMenuInit)(HWND, HMENU, int) = nullptr;
  int(WINAPI* OnOpenFolder)(LPCSTR) = nullptr;
  int(WINAPI* OnOpenMail)(LPCSTR) = nullptr;
  int(WINAPI* OnSend)(LPCSTR) = nullptr;
  int(WINAPI* OnFinishRetrieve)(int) = nullptr;
  int(WINAPI* OnRetrieve)(LPCSTR, LPCSTR) = nullptr;
  int(WINAPI* OnOpenCompose)(HWND, LPARAM) = nullptr;
  int(WINAPI* OnKeyDispatch)(HWND, int, LPARAM) = nullptr;
  int(WINAPI* OnOutgoing)(HWND, LPARAM) = nullptr;
  int(WINAPI* OnPlugInSetup)(HWND) = nullptr;
  int(WINAPI* OnPlugInInfo)(char*) = nullptr;

  // 0 when loaded and every callback was found, else a Win32 error code
  // (the loader's, or ERROR_PROC_NOT_FOUND).
  DWORD Load(const std::string& path);
  void Unload();
};

// The information record as the host reads it.
struct PlugInInfo {
  std::string name, vendor, version, description;
};
PlugInInfo ReadPlugInInfo(const PluginModule& plugin);

// The folder of this executable, with a trailing backslash.
std::string ExeFolder();

// A main window with the host's six menus (File, Edit, View, Folder, Tools,
// Help); the plug-in appends to the fifth. Commands registered by the
// plug-in are called when chosen; Help > Plug-in setup calls
// BKC_OnPlugInSetup; File > New message opens a compose window through
// newComposeHandler when set.
// quit_on_close: closing it ends the thread's message loop (the program's
// main window; tests that borrow the window pass false).
HWND CreateMainWindow(PluginModule* plugin, bool quit_on_close = false);
HMENU MainMenu(HWND main_window);

// Menu identifiers of the host's own commands.
enum : int {
  IDM_NEW_MESSAGE = 100,
  IDM_EXIT = 101,
  IDM_PLUGIN_SETUP = 102,
};

// When false, closing the main window skips BKC_OnExit (a host that quits
// without telling the plug-in).
extern bool callExitOnDestroy;

// Called for File > New message (the compose window lives elsewhere).
extern HWND (*newComposeHandler)(PluginModule* plugin);

}  // namespace standin
