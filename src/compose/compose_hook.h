// The completion field laid over the recipient field of every compose window.
//
// The host's own recipient field stays in the window, hidden: the host takes
// the recipients from it when the message goes out, so the two fields are kept
// in step through the compose window's replaced window procedure. Everything
// here runs on the host's user-interface thread; nothing locks.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "complete/completion_edit.h"

namespace vantrel {

struct ComposeSlot {
  HWND composeWnd = nullptr;
  HWND hostField = nullptr;
  std::unique_ptr<CCompletionEdit> edit;
  WNDPROC prevWndProc = nullptr;
  RECT hostRect = {};  // host field's window rectangle at opening, right + 7
  int composeWidth = 0;  // compose window's window width at opening
};

using ComposeSlotArray = std::vector<ComposeSlot>;

// One slot per hooked compose window, in opening order. Defined by the
// plug-in among its other process-wide objects, whose order of construction
// and destruction it fixes.
extern ComposeSlotArray ComposeSlots;

// What every completion field gets from the plug-in: its font, and the
// known addresses (the one index that all fields share). Both may be null.
struct ComposeFieldSetup {
  HFONT (*font)();
  void (*fill)(CCompletionEdit* field);
};
// Set once, before the first compose window opens.
void SetComposeFieldSetup(const ComposeFieldSetup& setup);

// Gives every open completion field the known addresses again (after they
// were read again).
void RefillComposeFields();

// Writes the host field without the change coming back into the completion
// field: what the compose window procedure does with the field's text.
void WriteHostField(HWND hostField, const char* text);
// False only while WriteHostField writes.
bool MirrorEnabled();

// The bodies of BKC_OnOpenCompose, BKC_OnKeyDispatch and BKC_OnOutgoing.
// OpenCompose hooks a compose window once; a window whose layout lacks the
// address container or the recipient field is left alone.
int OpenCompose(HWND compose);
int KeyDispatch(HWND window, int key);
int Outgoing(HWND compose);

// Unhooks every compose window still open, in opening order, and gives each
// its host field back, shown and holding the recipients. For unloading:
// once the module is gone, a window whose procedure is still ComposeWndProc
// would call into freed code, and a hidden host field would leave the user
// without a recipient field.
void UnhookAllComposeWindows();

// For process exit: lets go of every completion field without deleting it.
// The windows go with the process; destroying them now would run window
// code (ours and the host's) while the process is being torn down.
void AbandonComposeFields();

// The slot of a compose window, or null. The pointer is good only until the
// next call that may run other windows' code (SendMessage, SetWindowText,
// CallWindowProc): any of them may open or close compose windows.
ComposeSlot* FindComposeSlot(HWND compose);

LRESULT CALLBACK ComposeWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vantrel
