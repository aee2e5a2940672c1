// The menu command that switches automatic re-reading of the address books
// ("AutoParse") on and off, with its check mark and registry setting.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vantrel {

// "跟踪地址簿信息变化" in code page 936, as bytes for the ANSI menu functions.
extern const char kAutoParseCommandText[];

// Appends a separator and the command to the fifth submenu of menu,
// registers the command with the host and, with the setting at exactly 1,
// checks it and starts watching the address-book folder.
void SetUpAutoParseCommand(HMENU menu);

// The command callback the host calls when the user chooses the command.
void __stdcall OnToggleAutoParse(void* wnd, std::intptr_t lparam);

// BKC_OnExit: stops every watch and the watcher's worker thread. The
// setting and the check mark stay; no watch starts again (not even from the
// command, which may still run inside the stop) until the next menu set-up.
void StopAutoParse();

HMENU AutoParseSubmenu();
int AutoParseCommandId();

}  // namespace vantrel
