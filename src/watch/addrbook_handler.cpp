#include "watch/addrbook_handler.h"

#include "addrbook/address_books.h"
#include "plugin/globals.h"

namespace vantrel {

void AddrBookHandler::NotifyAdded(const std::string&) { RebuildAddressList(); }
void AddrBookHandler::NotifyRemoved(const std::string&) { RebuildAddressList(); }
void AddrBookHandler::NotifyRenamed(const std::string&, const std::string&) {
  RebuildAddressList();
}
void AddrBookHandler::NotifyModified(const std::string&) { RebuildAddressList(); }

namespace {
unsigned long rebuildCount = 0;  // UI thread only
}  // namespace

unsigned long RebuildCount() { return rebuildCount; }

void RebuildAddressList() {
  ++rebuildCount;
  AddressList.Clear();
  PathList paths;
  ScanAddressBooks(AddressBookFolder(), paths);
  ParseAddressBooks(paths, AddressList.Edit());
  if (ComposeSlots.empty()) return;  // the index is built when a field needs it
  // One index for all fields: refilling costs a reference per field, not a
  // copy of every address.
  const std::shared_ptr<const SearchIndex> index = AddressList.SearchList();
  // By index: a field's window may react to the refill, and the array is
  // only ever changed on this thread between our steps.
  for (size_t i = 0; i < ComposeSlots.size(); ++i) {
    if (ComposeSlots[i].edit) ComposeSlots[i].edit->SetSearchList(index);
  }
}

}  // namespace vantrel
