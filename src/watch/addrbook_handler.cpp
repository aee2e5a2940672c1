#include "watch/addrbook_handler.h"

#include "addrbook/address_books.h"
#include "plugin/globals.h"
#include "watch/change_stamp.h"

namespace vantrel {
namespace {

// All UI thread only.
unsigned long rebuildCount = 0;
ReadingCoverage lastReading;  // what the readings so far have seen
void (*rebuildReadHook)() = nullptr;

}  // namespace

void AddrBookHandler::NotifyAdded(const std::string&) { OnAddressBooksChanged(); }
void AddrBookHandler::NotifyRemoved(const std::string&) { OnAddressBooksChanged(); }
void AddrBookHandler::NotifyRenamed(const std::string&, const std::string&) {
  OnAddressBooksChanged();
}
void AddrBookHandler::NotifyModified(const std::string&) { OnAddressBooksChanged(); }

void AddrBookHandler::OnAddressBooksChanged() {
  // Posted before the last reading began: that reading saw this change, and
  // AddressList and every field already hold its result.
  if (lastReading.Covers(DeliveringStamp())) return;
  RebuildAddressList();
}

unsigned long RebuildCount() { return rebuildCount; }

void SetRebuildReadHook(void (*hook)()) { rebuildReadHook = hook; }

void RebuildAddressList() {
  ++rebuildCount;
  // Before the first file is looked at: every change stamped so far
  // happened before this reading and is seen by it.
  lastReading.ReadingStarts(LatestChangeStamp());
  AddressList.Clear();
  PathList paths;
  ScanAddressBooks(AddressBookFolder(), paths);
  // With the name mode on, the same pass over each book fills the rows.
  const CAddressList::Reading reading = AddressList.BeginReading();
  ParseAddressBooks(paths, *reading.items, reading.rows);
  if (rebuildReadHook) rebuildReadHook();
  // One index for all fields (the name index while the mode is on): refilling costs a reference per field, not a
  // copy of every address. Asked for at each field, not once: a field's
  // window may react to the refill, and should that ever deliver a change
  // that rebuilds again inside this loop, the remaining fields get the newer
  // list too, not ours. By index: the array is only ever changed on this
  // thread between our steps.
  for (size_t i = 0; i < ComposeSlots.size(); ++i) {
    if (ComposeSlots[i].edit) AddressList.FillField(ComposeSlots[i].edit.get());
  }
}

}  // namespace vantrel
