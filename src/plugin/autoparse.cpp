#include "plugin/autoparse.h"

#include "platform/module_call.h"
#include "plugin/globals.h"
#include "plugin/rebuild.h"

namespace vantrel {

const char kAutoParseCommandText[] =
    "\xB8\xFA\xD7\xD9\xB5\xD8\xD6\xB7\xB2\xBE\xD0\xC5\xCF\xA2\xB1\xE4\xBB\xAF";

namespace {

constexpr char kSection[] = "Setup";
constexpr char kValue[] = "AutoParse";
constexpr DWORD kAddressBookNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

HMENU autoParseSubmenu = nullptr;
int autoParseCommandId = 0;

// What the user chose last (menu set-up and the command), and whether the
// host has shut down since. The folder is to be watched while both say so.
bool autoParseOn = false;
bool exited = false;
// True while ApplyWatchState switches the watch.
bool applying = false;

void StartWatchingAddressBooks() {
  // A failed start (no change notification on this system, folder missing)
  // is not reported: the About text's warning is all the user gets.
  DirWatcher.StartWatch(AddressBookFolder(), kAddressBookNotifyFilter, &TheAddrBookHandler, TRUE,
                        "*.bab", nullptr);
}

// Makes the watch follow autoParseOn and exited. Stopping pumps messages, so
// the command and BKC_OnExit can run again inside it (the user chooses the
// command twice in quick succession, the host shuts down meanwhile). Such a
// nested call only records its wish and leaves the switching to the call
// already under way, which goes on until the watch matches the newest wish:
// the last choice wins, and no start waits inside a stop.
void ApplyWatchState() {
  if (applying) return;
  // Cleared however the loop ends: a call that failed must not leave every
  // later one recording a wish that nobody applies.
  struct Applying {
    Applying() { applying = true; }
    ~Applying() { applying = false; }
  } scope;
  for (;;) {
    const bool watch = autoParseOn && !exited;
    if (watch)
      StartWatchingAddressBooks();
    else
      DirWatcher.StopAll();
    if (watch == (autoParseOn && !exited)) break;
  }
}

void ShowCheckMark() {
  CheckMenuItem(autoParseSubmenu, static_cast<UINT>(autoParseCommandId),
                MF_BYCOMMAND | (autoParseOn ? MF_CHECKED : MF_UNCHECKED));
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
  exited = false;  // a new set-up of the host's menu: a new session
  autoParseOn = TheApp.settings().GetInt(kSection, kValue, 1) == 1;
  // Stored before the watch call: restarting a running watch pumps
  // messages, and the command may run in there and set its check mark.
  autoParseSubmenu = submenu;
  if (autoParseOn) {
    CheckMenuItem(submenu, static_cast<UINT>(id), MF_BYCOMMAND | MF_CHECKED);
    ApplyWatchState();
  }
}

void __stdcall OnToggleAutoParse(void* wnd, std::intptr_t lparam) {
  // Called by the host: nothing thrown may reach it.
  GuardedCall(0, [] {
    const SettingsStore& settings = TheApp.settings();
    const bool on = settings.GetInt(kSection, kValue, 1) != 0;
    settings.SetInt(kSection, kValue, on ? 0 : 1);
    autoParseOn = !on;
    // Off: stopping pumps messages, so queued changes may rebuild the list
    // here. On: no reading now; the next change in the folder reads the
    // books.
    ApplyWatchState();
    // After the switch, and from the newest choice: a nested use of the
    // command may have changed it meanwhile.
    ShowCheckMark();
    return 0;
  });
}

void StopAutoParse() {
  exited = true;
  CancelRebuildRetry();  // the host is going: no reading after this
  ApplyWatchState();
}

}  // namespace vantrel
