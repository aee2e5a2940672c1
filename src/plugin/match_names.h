// The menu command that switches the name mode ("MatchNames") on and off:
// with it on, the fields also find an address by the names, nicknames,
// pinyin and readings of the card it came from. Off by default.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vantrel {

// The command's text in the system's ANSI code page (936, 932, or English).
const char* MatchNamesCommandText();
// One line of the About text saying what the command does, in the same
// language as the command's text.
const char* MatchNamesAboutLine();

// The stored setting: missing or unreadable is 0 (off); non-zero is on.
bool MatchNamesSetting();

// Registers the command with the host and appends it to the fifth submenu
// of menu, right after the AutoParse item, checked while the setting is on.
void SetUpMatchNamesCommand(HMENU menu);

// The command callback: switches the setting, stores it, and gives every
// open field the matching search list at once (reading the books once when
// their names were not read yet).
void __stdcall OnToggleMatchNames(void* wnd, std::intptr_t lparam);

HMENU MatchNamesSubmenu();
int MatchNamesCommandId();

}  // namespace vantrel
