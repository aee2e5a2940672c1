// The callbacks the host finds by name in Vantrel.dll. Each forwards to the
// shell, the compose hook or the AutoParse command; the bodies live in the
// static library so the tests run the same code in-process.
#include <windows.h>

#include "compose/compose_hook.h"
#include "plugin/shell.h"
#include "plugin/usage.h"

using namespace vantrel;

extern "C" {

int WINAPI BKC_OnStart() { return 0; }
int WINAPI BKC_OnEveryMinute() { return 0; }
int WINAPI BKC_OnExit() { return Exit(); }
int WINAPI BKC_OnMenuInit(HWND, HMENU menu, int type) { return MenuInit(menu, type); }
int WINAPI BKC_OnOpenFolder(LPCSTR) { return 0; }
int WINAPI BKC_OnOpenMail(LPCSTR) { return 0; }
int WINAPI BKC_OnSend(LPCSTR) { return 0; }
int WINAPI BKC_OnFinishRetrieve(int) { return 0; }
int WINAPI BKC_OnRetrieve(LPCSTR, LPCSTR) { return 0; }
int WINAPI BKC_OnOpenCompose(HWND compose, int) { return OpenCompose(compose); }
int WINAPI BKC_OnKeyDispatch(HWND window, int key, int) { return KeyDispatch(window, key); }
int WINAPI BKC_OnOutgoing(HWND compose, int) { return OutgoingMessage(compose); }
int WINAPI BKC_OnPlugInSetup(HWND) {
  // The host's argument is not a window we may rely on. Modal to the host's
  // active window, the box cannot fall behind it, and the host's menu
  // (Setup among it) cannot be used again behind it.
  return ShowAboutBox(AboutBoxOwner());
}
int WINAPI BKC_OnPlugInInfo(char* record) {
  FillPlugInInfo(record);
  return 0;
}

}  // extern "C"
