// The callbacks the host finds by name in Vantrel.dll. Each forwards to the
// shell, the compose hook or the AutoParse command; the bodies live in the
// static library so the tests run the same code in-process. Each runs as a
// guarded call (platform/module_call.h): nothing thrown reaches the host.
#include <windows.h>

#include "compose/compose_hook.h"
#include "platform/module_call.h"
#include "platform/window.h"
#include "plugin/shell.h"
#include "plugin/usage.h"

using namespace vantrel;

extern "C" {

int WINAPI BKC_OnStart() { return 0; }
int WINAPI BKC_OnEveryMinute() { return 0; }
int WINAPI BKC_OnExit() {
  return GuardedCall(0, [] {
    // The host shuts down from inside another call of ours (a stop's
    // message-pumping wait, a window procedure) and unloads the module next,
    // while our frames are still on its stack to return into; the watcher's
    // worker, which holds its own reference, would then be the one to
    // unload it, with this thread waiting for it. Stay mapped instead.
    if (ModuleCall::Depth() > 1) PinThisModule();
    return Exit();
  });
}
int WINAPI BKC_OnMenuInit(HWND, HMENU menu, int type) {
  return GuardedCall(0, [&] { return MenuInit(menu, type); });
}
int WINAPI BKC_OnOpenFolder(LPCSTR) { return 0; }
int WINAPI BKC_OnOpenMail(LPCSTR) { return 0; }
int WINAPI BKC_OnSend(LPCSTR) { return 0; }
int WINAPI BKC_OnFinishRetrieve(int) { return 0; }
int WINAPI BKC_OnRetrieve(LPCSTR, LPCSTR) { return 0; }
int WINAPI BKC_OnOpenCompose(HWND compose, int) {
  return GuardedCall(0, [&] { return OpenCompose(compose); });
}
int WINAPI BKC_OnKeyDispatch(HWND window, int key, int) {
  // Failed: the key is the host's.
  return GuardedCall(0, [&] { return KeyDispatch(window, key); });
}
int WINAPI BKC_OnOutgoing(HWND compose, int) {
  return GuardedCall(0, [&] { return OutgoingMessage(compose); });
}
int WINAPI BKC_OnPlugInSetup(HWND) {
  // The host's argument is not a window we may rely on. Modal to the host's
  // active window, the box cannot fall behind it, and the host's menu
  // (Setup among it) cannot be used again behind it.
  return GuardedCall(1, [] { return ShowAboutBox(AboutBoxOwner()); });
}
int WINAPI BKC_OnPlugInInfo(char* record) {
  return GuardedCall(0, [&] {
    FillPlugInInfo(record);
    return 0;
  });
}

}  // extern "C"
