// Process attach runs the application's initialisation; a host that does not
// bind makes the load fail, so nothing of the plug-in runs outside the host
// it was built for. The global objects are constructed before this runs and
// destroyed after detach by the runtime.
#include <windows.h>

#include "platform/window.h"
#include "plugin/globals.h"
#include "watch/change_dispatch.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    return vantrel::TheApp.InitInstance(module);
  }
  if (reason != DLL_PROCESS_DETACH) return TRUE;
  if (reserved != nullptr) {
    // Process exit: the windows go with the process. The slots' fields must
    // not be deleted by the destruction of the globals that follows.
    vantrel::AbandonComposeFields();
    return TRUE;
  }
  // Unloaded by FreeLibrary while the process goes on: nothing of ours may
  // be left where a message can reach it. A compose window still running
  // our window procedure, the hidden delivery window with records queued
  // for it (or a broadcast), and a registered class would all lead into
  // freed code. The compose windows get their host fields back.
  vantrel::CancelRebuildRetry();  // its timer procedure is ours
  vantrel::UnhookAllComposeWindows();
  vantrel::CWindowPoster::ReleaseForUnload();
  vantrel::Window::UnregisterObjectClasses();
  return TRUE;
}
