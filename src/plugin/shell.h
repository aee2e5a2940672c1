// The bodies of the plug-in's exported callbacks that belong to the shell:
// the information record, the About box, menu set-up with the first reading
// of the address books, and exit. The exports themselves (exports.cpp) only
// forward here, so the same code runs in-process in the tests.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel {

// Plug-in information record layout: four 80-byte text fields.
constexpr int kInfoNameOffset = 0;
constexpr int kInfoVendorOffset = 80;
constexpr int kInfoVersionOffset = 160;
constexpr int kInfoDescriptionOffset = 240;

void FillPlugInInfo(char* record);
std::string AboutText();
// The window the About box is modal to, found as a framework message box
// finds its owner: the host's active window, its last active pop-up when it
// has one open (a dialog). Null when none of this thread's windows is active.
HWND AboutBoxOwner();
int ShowAboutBox(HWND owner);
int MenuInit(HMENU menu, int type);
int Exit();

}  // namespace vantrel
