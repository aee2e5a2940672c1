// Process attach runs the application's initialisation; a host that does not
// bind makes the load fail, so nothing of the plug-in runs outside the host
// it was built for. The global objects are constructed before this runs and
// destroyed after detach by the runtime.
#include <windows.h>

#include "plugin/globals.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    return vantrel::TheApp.InitInstance(module);
  }
  // Unloaded by FreeLibrary (not at process exit, when windows no longer
  // matter): a compose window still running our window procedure would call
  // into freed code.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    vantrel::UnhookAllComposeWindows();
  }
  return TRUE;
}
