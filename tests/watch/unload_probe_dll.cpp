// A DLL shaped like the plug-in as far as watching goes: one global watcher
// (GUI flag, FF_NAME_ONLY) and one global handler, destroyed when the module
// is unloaded or the process ends. The tests load it to see what happens when
// the host lets go while a watch still runs.
#include <windows.h>

#include "watch/dir_watcher.h"

namespace {
class CountingHandler : public vantrel::CDirChangeHandler {
 public:
  volatile LONG changes = 0;
  void NotifyAdded(const std::string&) override { ::InterlockedIncrement(&changes); }
  void NotifyModified(const std::string&) override { ::InterlockedIncrement(&changes); }
};

vantrel::CDirWatcher g_watcher(true, vantrel::FF_NAME_ONLY);
CountingHandler g_handler;  // the global keeps its first reference for ever
// As the plug-in's globals do: destroyed just before the handler, it stops
// the handler's watches while the watcher still exists.
struct StopsTheHandlersWatches {
  ~StopsTheHandlersWatches() { g_watcher.StopWatchForHandler(&g_handler); }
} g_stops_the_handlers_watches;
}  // namespace

extern "C" __declspec(dllexport) DWORD ProbeStart(const char* dir) {
  return g_watcher.StartWatch(dir, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE,
                              &g_handler, TRUE, "*.bab", nullptr);
}

extern "C" __declspec(dllexport) LONG ProbeChanges() { return g_handler.changes; }

extern "C" __declspec(dllexport) BOOL ProbeStopAll() { return g_watcher.StopAll(); }

// A notice left queued for the delivery window by a dispatcher that is
// otherwise gone, as after a refused read; returns the window.
extern "C" __declspec(dllexport) HWND ProbeQueueNotice() {
  auto* dispatcher = new vantrel::CChangeDispatcher(&g_handler, "*.bab",
                                                     vantrel::FF_NAME_ONLY);
  dispatcher->NotifyAdded("C:\\queued.bab");
  dispatcher->DetachTarget();
  dispatcher->Release();  // the queued record holds the last reference
  return vantrel::CWindowPoster::Window();
}

// As the plug-in does when the host unloads it.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && !reserved) vantrel::CWindowPoster::ReleaseForUnload();
  return TRUE;
}
