#include "plugin_host.h"

#include <cstring>

#include "host_state.h"

namespace standin {

HWND (*newComposeHandler)(PluginModule* plugin) = nullptr;
bool callExitOnDestroy = true;

namespace {

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *out != nullptr;
}

constexpr char kMainClass[] = "VantrelStandinMain";

struct MainWindowParams {
  PluginModule* plugin;
  bool quitOnClose;
};

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* plugin = reinterpret_cast<PluginModule*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      auto* params = static_cast<const MainWindowParams*>(create->lpCreateParams);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(params->plugin));
      SetWindowLongPtrA(hwnd, 0, params->quitOnClose ? 1 : 0);
      break;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == IDM_EXIT) {
        DestroyWindow(hwnd);
        return 0;
      }
      if (id == IDM_PLUGIN_SETUP) {
        if (plugin && plugin->OnPlugInSetup) plugin->OnPlugInSetup(hwnd);
        return 0;
      }
      if (id == IDM_NEW_MESSAGE) {
        if (newComposeHandler) newComposeHandler(plugin);
        return 0;
      }
      if (const RegisteredCommand* command = FindCommand(id)) {
        if (command->callback) command->callback(hwnd, 0);
        return 0;
      }
      break;
    }
    case WM_DESTROY:
      // The host tells the plug-in it is shutting down before unloading it.
      if (plugin && plugin->OnExit && callExitOnDestroy) plugin->OnExit();
      // Only the program's own main window ends its message loop: a WM_QUIT
      // left in a test thread's queue would end the next modal loop there.
      if (GetWindowLongPtrA(hwnd, 0)) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

HMENU BuildMenu() {
  HMENU bar = CreateMenu();
  const char* names[] = {"&File", "&Edit", "&View", "F&older", "&Tools", "&Help"};
  for (int i = 0; i < 6; ++i) {
    HMENU sub = CreatePopupMenu();
    if (i == 0) {
      AppendMenuA(sub, MF_STRING, IDM_NEW_MESSAGE, "&New message\tCtrl+N");
      AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(sub, MF_STRING, IDM_EXIT, "E&xit");
    } else if (i == 4) {
      AppendMenuA(sub, MF_STRING | MF_GRAYED, 0, "&Options...");
    } else if (i == 5) {
      AppendMenuA(sub, MF_STRING, IDM_PLUGIN_SETUP, "&Plug-in setup...");
    } else {
      AppendMenuA(sub, MF_STRING | MF_GRAYED, 0, "(empty)");
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), names[i]);
  }
  return bar;
}

}  // namespace

DWORD PluginModule::Load(const std::string& path) {
  module = LoadLibraryA(path.c_str());
  if (!module) return GetLastError();
  bool ok = Find(module, "BKC_OnStart", &OnStart) &&
            Find(module, "BKC_OnEveryMinute", &OnEveryMinute) &&
            Find(module, "BKC_OnExit", &OnExit) && Find(module, "BKC_OnMenuInit", &OnMenuInit) &&
            Find(module, "BKC_OnOpenFolder", &OnOpenFolder) &&
            Find(module, "BKC_OnOpenMail", &OnOpenMail) && Find(module, "BKC_OnSend", &OnSend) &&
            Find(module, "BKC_OnFinishRetrieve", &OnFinishRetrieve) &&
            Find(module, "BKC_OnRetrieve", &OnRetrieve) &&
            Find(module, "BKC_OnOpenCompose", &OnOpenCompose) &&
            Find(module, "BKC_OnKeyDispatch", &OnKeyDispatch) &&
            Find(module, "BKC_OnOutgoing", &OnOutgoing) &&
            Find(module, "BKC_OnPlugInSetup", &OnPlugInSetup) &&
            Find(module, "BKC_OnPlugInInfo", &OnPlugInInfo);
  if (!ok) {
    Unload();
    return ERROR_PROC_NOT_FOUND;
  }
  return 0;
}

void PluginModule::Unload() {
  if (module) FreeLibrary(module);
  *this = PluginModule();
}

PlugInInfo ReadPlugInInfo(const PluginModule& plugin) {
  // The host's record: room for the four fields, each null-terminated.
  char record[400];
  std::memset(record, 0, sizeof record);
  plugin.OnPlugInInfo(record);
  record[sizeof record - 1] = '\0';
  PlugInInfo info;
  info.name.assign(record, strnlen(record, 80));
  info.vendor.assign(record + 80, strnlen(record + 80, 80));
  info.version.assign(record + 160, strnlen(record + 160, 80));
  info.description.assign(record + 240, strnlen(record + 240, sizeof record - 240));
  return info;
}

std::string ExeFolder() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}

HWND CreateMainWindow(PluginModule* plugin, bool quit_on_close) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  wc.lpszClassName = kMainClass;
  wc.cbWndExtra = sizeof(LONG_PTR);  // quit on close
  RegisterClassA(&wc);  // a second registration fails harmlessly
  MainWindowParams params = {plugin, quit_on_close};
  HMENU menu = BuildMenu();
  HWND hwnd = CreateWindowExA(0, kMainClass, "Stand-in mail client", WS_OVERLAPPEDWINDOW, 40, 40,
                              720, 480, nullptr, menu, GetModuleHandleA(nullptr), &params);
  if (!hwnd) DestroyMenu(menu);
  return hwnd;
}

HMENU MainMenu(HWND main_window) { return GetMenu(main_window); }

}  // namespace standin
