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

// The bodies of BKC_OnOpenCompose, BKC_OnKeyDispatch and BKC_OnOutgoing.
int OpenCompose(HWND compose);
int KeyDispatch(HWND window, int key);
int Outgoing(HWND compose);

LRESULT CALLBACK ComposeWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vantrel
