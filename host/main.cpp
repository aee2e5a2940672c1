// StandinHost.exe: plays the mail client for the plug-in.
//
//   StandinHost.exe [--plugin <dll>] [--data <folder>] [--version <string>] [--info]
//                   [--skip-exit] [--check-command <n>]
//                   [--send <recipients>... [--repeat <n>]]
//                   [--demo [--token <text>] [--screenshot <bmp>]
//                    [--live-add <address> --live-book <file> [--live-screenshot <bmp>]]]
//
// --data     the host's data folder (address books in its AddrBook\); default:
//            the Data\ folder next to this program (the bundled samples).
// --plugin   default: Vantrel.dll next to this program.
// --version  the version string the host reports (default 2.75.02).
// --info     load the plug-in, print its information record, run the menu
//            set-up, print what the plug-in added to the menu, and exit.
// --skip-exit  quit without calling BKC_OnExit.
// --check-command  after the menu set-up, choose the n-th command the
//            plug-in registered (0 the first), as the user would from the
//            menu, unless its menu item already has a check mark: the
//            command's setting is then on whatever it was before.
// --send     after the menu set-up, open a compose window whose recipient
//            field holds the text, and send it at once; once per --send, the
//            whole series --repeat times.
// --demo     a scripted session: open a compose window, type the token with
//            real key presses, capture the window with the suggestion list,
//            print the offered addresses, optionally add an address to an
//            address book and show that it is offered, send, quit.
// Without --info or --demo the host's main window opens for use by hand.
//
// Exit codes: 0 success, 2 bad arguments, 3 the plug-in refused to load.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compose_window.h"
#include "demo.h"
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

HWND OpenCompose(PluginModule* plugin) {
  vantrel_host::PluginCallbacks callbacks;
  if (plugin) {
    callbacks.onOpenCompose = plugin->OnOpenCompose;
    callbacks.onKeyDispatch = plugin->OnKeyDispatch;
    callbacks.onOutgoing = plugin->OnOutgoing;
  }
  return vantrel_host::OpenHostComposeWindow(callbacks, nullptr);
}

int Usage() {
  std::fprintf(stderr,
               "usage: StandinHost.exe [--plugin <dll>] [--data <folder>] [--version <string>] "
               "[--info] [--skip-exit] [--check-command <n>] [--send <recipients>... [--repeat <n>]] [--demo [--token <text>] [--screenshot <bmp>] [--live-add "
               "<address> --live-book <file> [--live-screenshot <bmp>]]]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string plugin_path = ExeFolder() + "Vantrel.dll";
  Host().dataFolder = ExeFolder() + "Data\\";
  bool info = false, demo = false;
  int check_command = -1;
  std::vector<std::string> sends;
  int repeat = 1;
  DemoOptions demo_options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--info") {
      info = true;
    } else if (arg == "--demo") {
      demo = true;
    } else if (arg == "--token" && has_value) {
      demo_options.token = argv[++i];
    } else if (arg == "--screenshot" && has_value) {
      demo_options.screenshot = argv[++i];
    } else if (arg == "--live-add" && has_value) {
      demo_options.liveAddress = argv[++i];
    } else if (arg == "--live-book" && has_value) {
      demo_options.liveBook = argv[++i];
    } else if (arg == "--live-screenshot" && has_value) {
      demo_options.liveScreenshot = argv[++i];
    } else if (arg == "--check-command" && has_value) {
      check_command = std::atoi(argv[++i]);
    } else if (arg == "--send" && has_value) {
      sends.push_back(argv[++i]);
    } else if (arg == "--repeat" && has_value) {
      repeat = std::atoi(argv[++i]);
    } else if (arg == "--skip-exit") {
      callExitOnDestroy = false;
    } else if (arg == "--plugin" && has_value) {
      plugin_path = argv[++i];
    } else if (arg == "--data" && has_value) {
      Host().dataFolder = argv[++i];
      if (Host().dataFolder.empty() ||
          (Host().dataFolder.back() != '\\' && Host().dataFolder.back() != '/')) {
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

  newComposeHandler = OpenCompose;
  HWND main_window = CreateMainWindow(&plugin, true);
  plugin.OnMenuInit(main_window, MainMenu(main_window), 0);
  if (check_command >= 0) {
    if (static_cast<size_t>(check_command) >= Host().commands.size()) {
      std::printf("the plug-in registered no command %d\n", check_command);
      return 2;
    }
    const RegisteredCommand command = Host().commands[static_cast<size_t>(check_command)];
    const UINT state = GetMenuState(MainMenu(main_window), static_cast<UINT>(command.id),
                                    MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1) || !(state & MF_CHECKED)) command.callback(main_window, 0);
    // The text is in the system's code page; the number says which.
    std::printf("  command %d is %s\n", check_command,
                (GetMenuState(MainMenu(main_window), static_cast<UINT>(command.id), MF_BYCOMMAND) &
                 MF_CHECKED)
                    ? "checked"
                    : "not checked");
    std::fflush(stdout);
  }
  if (!sends.empty()) {
    // Messages that the host fills in itself (as a reply does) and sends at
    // once: the plug-in sees each go out.
    int sent = 0;
    for (int r = 0; r < repeat; ++r) {
      for (const std::string& recipients : sends) {
        const vantrel_host::PluginCallbacks callbacks = {plugin.OnOpenCompose,
                                                         plugin.OnKeyDispatch, plugin.OnOutgoing};
        HWND compose = vantrel_host::OpenHostComposeWindow(callbacks, recipients.c_str());
        if (!compose) continue;
        vantrel_host::HostSendMail(compose);
        ++sent;
      }
    }
    std::printf("  sent %d messages\n", sent);
    std::fflush(stdout);
    if (!info && !demo) {
      DestroyWindow(main_window);  // calls BKC_OnExit
      plugin.Unload();
      return 0;
    }
  }
  if (info) {
    PrintMenuAdditions(MainMenu(main_window));
    DestroyWindow(main_window);  // calls BKC_OnExit
    std::fflush(stdout);
    plugin.Unload();
    return 0;
  }

  if (demo) {
    const int result = RunDemo(plugin, main_window, demo_options);
    DestroyWindow(main_window);  // calls BKC_OnExit
    plugin.Unload();
    return result;
  }

  ShowWindow(main_window, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Keys reach the plug-in before the host acts on them.
    if (vantrel_host::HostTranslateKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  plugin.Unload();
  return 0;
}
