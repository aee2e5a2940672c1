// StandinHost.exe: plays the mail client for the plug-in.
//
//   StandinHost.exe [--plugin <dll>] [--data <folder>] [--version <string>] [--info]
//
// --data     the host's data folder (address books in its AddrBook\); default:
//            the Data\ folder next to this program (the bundled samples).
// --plugin   default: Vantrel.dll next to this program.
// --version  the version string the host reports (default 2.75.02).
// --info     load the plug-in, print its information record, run the menu
//            set-up, print what the plug-in added to the menu, and exit.
// --skip-exit  quit without calling BKC_OnExit.
// Without --info the host's main window opens for use by hand.
//
// Exit codes: 0 success, 2 bad arguments, 3 the plug-in refused to load.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host_state.h"
#include "plugin_host.h"

using namespace standin;

namespace {

void PrintMenuAdditions(HMENU menu) {
  HMENU tools = GetSubMenu(menu, 4);
  const int count = GetMenuItemCount(tools);
  for (int i = 0; i < count; ++i) {
    char text[256] = {};
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = sizeof text;
    GetMenuItemInfoA(tools, static_cast<UINT>(i), TRUE, &item);
    if (item.fType & MFT_SEPARATOR) {
      std::printf("  menu Tools[%d]: separator\n", i);
    } else {
      std::printf("  menu Tools[%d]: id %u%s \"%s\"\n", i, item.wID,
                  (item.fState & MFS_CHECKED) ? " checked" : "", text);
    }
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: StandinHost.exe [--plugin <dll>] [--data <folder>] [--version <string>] "
               "[--info] [--skip-exit]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugin_path = ExeFolder() + "Vantrel.dll";
  Host().dataFolder = ExeFolder() + "Data\\";
  bool info = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--info") {
      info = true;
    } else if (arg == "--skip-exit") {
      callExitOnDestroy = false;
    } else if (arg == "--plugin" && has_value) {
      plugin_path = argv[++i];
    } else if (arg == "--data" && has_value) {
      Host().dataFolder = argv[++i];
      if (Host().dataFolder.back() != '\\' && Host().dataFolder.back() != '/') {
        Host().dataFolder += '\\';
      }
    } else if (arg == "--version" && has_value) {
      Host().version = argv[++i];
    } else {
      return Usage();
    }
  }

  PluginModule plugin;
  if (const DWORD error = plugin.Load(plugin_path)) {
    std::printf("%s refused to load (error %lu)\n", plugin_path.c_str(), error);
    return 3;
  }
  const PlugInInfo record = ReadPlugInInfo(plugin);
  std::printf("loaded %s into a host reporting version %s\n", plugin_path.c_str(),
              Host().version.c_str());
  std::printf("  name:        %s\n  vendor:      %s\n  version:     %s\n  description: %s\n",
              record.name.c_str(), record.vendor.c_str(), record.version.c_str(),
              record.description.c_str());
  std::printf("  data folder: %s\n", Host().dataFolder.c_str());
  std::fflush(stdout);

  HWND main_window = CreateMainWindow(&plugin);
  plugin.OnMenuInit(main_window, MainMenu(main_window), 0);
  if (info) {
    PrintMenuAdditions(MainMenu(main_window));
    DestroyWindow(main_window);  // calls BKC_OnExit
    std::fflush(stdout);
    plugin.Unload();
    return 0;
  }

  ShowWindow(main_window, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  plugin.Unload();
  return 0;
}
