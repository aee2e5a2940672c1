// The stand-in host's compose window: the window structure that the plug-in
// expects of the mail client, with nothing of the plug-in inside it.
//
// Layout (child windows of the compose window, in order):
//   1. a caption strip, 2. the "Subject:" label, 3. the subject edit,
//   4. the address container, a window of its own class holding
//        1. the "To:" label, 2. the recipient edit,
//      and handing its children's WM_COMMAND notifications on to the compose
//      window, 5. the body edit.
// The plug-in is reached only through PluginCallbacks, so the same window
// serves a DLL loaded with LoadLibrary and the plug-in code linked into a
// test program. Everything runs on the thread that created the window.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel_host {

// The plug-in's BKC_OnOpenCompose, BKC_OnKeyDispatch and BKC_OnOutgoing;
// any of them may be null (no plug-in).
struct PluginCallbacks {
  int(WINAPI* onOpenCompose)(HWND compose, LPARAM unused) = nullptr;
  int(WINAPI* onKeyDispatch)(HWND compose, int key, LPARAM unused) = nullptr;
  int(WINAPI* onOutgoing)(HWND compose, LPARAM unused) = nullptr;
};

// What the host itself saw of one compose window, for checking that the
// plug-in passes on what the host is owed and keeps back what it is not.
struct HostComposeStats {
  int recipientChanges = 0;  // EN_CHANGE of the recipient edit reaching the host
  int enterKeys = 0;         // Enter keys the plug-in left to the host
  int sizeMessages = 0;      // WM_SIZE reaching the host
};

// Creates a compose window (600 x 400, visible), fills the recipient field
// with `recipients` (may be null), puts the focus into it and calls
// onOpenCompose. Null if the window could not be created.
HWND OpenHostComposeWindow(const PluginCallbacks& callbacks, const char* recipients);

// For the host's message loop, before TranslateMessage/DispatchMessage: a
// key-down in a compose window or any of its descendants goes to
// onKeyDispatch first. True when the plug-in took the key over (1): the
// host must then drop the message.
bool HostTranslateKey(const MSG& msg);

// Sends the message: calls onOutgoing, takes the recipient field's whole
// text, destroys the window and returns the text.
std::string HostSendMail(HWND compose);

// The host writes its own recipient field, as for a reply.
void HostReply(HWND compose, const char* recipients);

HWND HostRecipientField(HWND compose);
HWND HostAddressContainer(HWND compose);
// The compose window that `hwnd` is or lies in, or null.
HWND HostComposeWindowOf(HWND hwnd);
HostComposeStats GetHostComposeStats(HWND compose);

// Window classes of the compose window and of the address container.
extern const char kComposeClassName[];
extern const char kContainerClassName[];

}  // namespace vantrel_host
