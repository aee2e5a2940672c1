#include "plugin/autoparse.h"

#include "plugin/globals.h"
#include "watch/addrbook_handler.h"

namespace vantrel {

const char kAutoParseCommandText[] =
    "\xB8\xFA\xD7\xD9\xB5\xD8\xD6\xB7\xB2\xBE\xD0\xC5\xCF\xA2\xB1\xE4\xBB\xAF";

namespace {

constexpr char kSection[] = "Setup";
constexpr char kValue[] = "AutoParse";
constexpr DWORD kAddressBookNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

HMENU autoParseSubmenu = nullptr;
int autoParseCommandId = 0;

void StartWatchingAddressBooks() {
  // A failed start (no change notification on this system, folder missing)
  // is not reported: the About text's warning is all the user gets.
  DirWatcher.StartWatch(AddressBookFolder(), kAddressBookNotifyFilter, &TheAddrBookHandler, TRUE,
                        "*.bab", nullptr);
}

}  // namespace

HMENU AutoParseSubmenu() { return autoParseSubmenu; }
int AutoParseCommandId() { return autoParseCommandId; }

void SetUpAutoParseCommand(HMENU menu) {
  HMENU submenu = GetSubMenu(menu, 4);
  AppendMenuA(submenu, MF_SEPARATOR, 0, nullptr);
  const int id = HostApi.RegisterCommand(kAutoParseCommandText, 0, &OnToggleAutoParse);
  autoParseCommandId = id;
  AppendMenuA(submenu, MF_STRING, static_cast<UINT_PTR>(id), kAutoParseCommandText);
  // Only the value 1 counts as on here, while the command treats every
  // non-zero value as on: a stray 2 starts off and the first use switches it
  // to a clean 0.
  if (TheApp.settings().GetInt(kSection, kValue, 1) == 1) {
    CheckMenuItem(submenu, static_cast<UINT>(id), MF_BYCOMMAND | MF_CHECKED);
    StartWatchingAddressBooks();
  }
  autoParseSubmenu = submenu;
}

void __stdcall OnToggleAutoParse(void* wnd, std::intptr_t lparam) {
  const SettingsStore& settings = TheApp.settings();
  if (settings.GetInt(kSection, kValue, 1) != 0) {
    settings.SetInt(kSection, kValue, 0);
    // Pumps messages while it waits: queued changes may rebuild the list here.
    DirWatcher.StopAll();
    CheckMenuItem(autoParseSubmenu, static_cast<UINT>(autoParseCommandId),
                  MF_BYCOMMAND | MF_UNCHECKED);
  } else {
    settings.SetInt(kSection, kValue, 1);
    // No reading now; the next change in the folder reads the books.
    StartWatchingAddressBooks();
    CheckMenuItem(autoParseSubmenu, static_cast<UINT>(autoParseCommandId),
                  MF_BYCOMMAND | MF_CHECKED);
  }
}

void StopAutoParse() { DirWatcher.StopAll(); }

}  // namespace vantrel
