#include "plugin/shell.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "addrbook/address_books.h"
#include "plugin/autoparse.h"
#include "plugin/globals.h"
#include "plugin/match_names.h"
#include "plugin/rebuild.h"
#include "plugin/usage.h"

namespace vantrel {
namespace {

constexpr char kName[] = "Vantrel Plugin";
constexpr char kVendor[] = "The Vantrel developers, https://vantrel.example/";
constexpr char kVersion[] = "1.1";
constexpr char kDescription[] = "enhance address bar function for Becky!";

static_assert(sizeof kName <= 80 && sizeof kVendor <= 80 && sizeof kVersion <= 80,
              "information record fields are 80 bytes");

}  // namespace

void FillPlugInInfo(char* record) {
  // Each string with its terminating null and nothing else: the host's bytes
  // beyond the terminators stay as the host gave them.
  std::memcpy(record + kInfoNameOffset, kName, sizeof kName);
  std::memcpy(record + kInfoDescriptionOffset, kDescription, sizeof kDescription);
  std::memcpy(record + kInfoVendorOffset, kVendor, sizeof kVendor);
  std::memcpy(record + kInfoVersionOffset, kVersion, sizeof kVersion);
}

std::string AboutText() {
  return std::string(
             "Vantrel 1.1 for Becky!\n"
             "\n"
             "Written by the Vantrel developers\n"
             "Homepage: https://vantrel.example/\n"
             "E-mail: developers@vantrel.example\n"
             "\n") +
         MatchNamesAboutLine() + "\n" + UsageAboutLine() +
         "\nWarning:Auto Parse will only take effect on NT Platform!";
}

HWND AboutBoxOwner() {
  HWND owner = GetActiveWindow();
  // A pop-up cannot be owned by a child window.
  while (owner && (GetWindowLongA(owner, GWL_STYLE) & WS_CHILD)) owner = GetParent(owner);
  return owner ? GetLastActivePopup(owner) : nullptr;
}

int ShowAboutBox(HWND owner) {
  MessageBoxA(owner, AboutText().c_str(), TheApp.name().c_str(), MB_OK | MB_ICONINFORMATION);
  return 1;
}

int MenuInit(HMENU menu, int type) {
  if (type != 0) return 0;
  // The name mode decides before the reading whether it also reads the
  // cards' names: one pass over the books either way.
  AddressList.SetMatchNames(MatchNamesSetting());
  try {
    PathList paths;
    ScanAddressBooks(AddressBookFolder(), paths);
    // Appends: a second menu set-up reads the books a second time. Read
    // aside first: a reading that fails (out of memory) adds nothing.
    std::vector<std::string> read;
    std::shared_ptr<const NameIndex> names;
    const size_t held = CAddressList::ReadBooks(paths, AddressList.matchNames(), &read, &names);
    std::vector<std::string> items = AddressList.items();
    items.insert(items.end(), read.begin(), read.end());
    AddressList.Replace(std::move(items), std::move(names));
    RetryReadingIfBooksWereHeld(held);
  } catch (...) {
    // The commands are set up all the same.
  }
  SetUpAutoParseCommand(menu);
  SetUpMatchNamesCommand(menu);
  return 0;
}

int Exit() {
  StopAutoParse();
  return 0;
}

}  // namespace vantrel
