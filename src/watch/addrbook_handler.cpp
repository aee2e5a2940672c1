#include "watch/addrbook_handler.h"

#include <utility>
#include <vector>

#include "addrbook/address_books.h"
#include "platform/module_call.h"
#include "plugin/globals.h"
#include "watch/change_stamp.h"
#include "watch/retry_delay.h"

namespace vantrel {
namespace {

// All UI thread only.
unsigned long rebuildCount = 0;
ReadingCoverage lastReading;  // what the readings so far have seen
void (*rebuildReadHook)() = nullptr;
// A reading missed a book that another program held: the timer of the next
// try, and the delay it was set with (retry_delay.h).
UINT_PTR retryTimer = 0;
unsigned retryDelay = 0;
bool retrying = false;  // the reading under way is such a try

void CALLBACK OnRetryTimer(HWND, UINT, UINT_PTR, DWORD) {
  GuardedCall(0, [] {
    if (retryTimer) ::KillTimer(nullptr, retryTimer);
    retryTimer = 0;
    retrying = true;
    RebuildAddressList();
    retrying = false;
    return 0;
  });
  retrying = false;
}

// After a reading: when it missed a held book, try again a little later, a
// little later each time the book is still held, then wait for the next
// change. Any other reading starts the delays anew.
void ScheduleRetry(bool missed_a_book) {
  const unsigned previous = retrying ? retryDelay : 0;
  CancelRebuildRetry();
  if (!missed_a_book) return;
  const unsigned delay = NextRetryDelay(previous);
  if (delay == 0) return;
  retryTimer = ::SetTimer(nullptr, 0, delay, &OnRetryTimer);
  if (retryTimer) retryDelay = delay;
}

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

void CancelRebuildRetry() {
  if (retryTimer) ::KillTimer(nullptr, retryTimer);
  retryTimer = 0;
  retryDelay = 0;
}

void RetryReadingIfBooksWereHeld(size_t held) { ScheduleRetry(held != 0); }

void RebuildAddressList() {
  ++rebuildCount;
  // Before the first file is looked at: every change stamped so far
  // happened before this reading and is seen by it. Undone when the reading
  // fails or misses a book: it then did not see every change. (Undoing also
  // drops what a nested reading covered, which costs at most a reading
  // more, never a change.)
  const ReadingCoverage before = lastReading;
  lastReading.ReadingStarts(LatestChangeStamp());
  size_t held = 0;
  try {
    std::vector<std::string> fresh;
    std::shared_ptr<const NameIndex> names;
    PathList paths;
    ScanAddressBooks(AddressBookFolder(), paths);
    // With the name mode on, the same pass over each book reads the cards.
    held = CAddressList::ReadBooks(paths, AddressList.matchNames(), &fresh, &names);
    if (rebuildReadHook) rebuildReadHook();
    AddressList.Replace(std::move(fresh), std::move(names));
  } catch (...) {
    // Out of memory, say: the fields keep the previous list whole, and the
    // changes stay unseen, so the next one reads again.
    lastReading = before;
    return;
  }
  // A reading that missed a book another program held did not see the
  // changes to it: it covers nothing, and is tried again.
  if (held != 0) lastReading = before;
  ScheduleRetry(held != 0);
  // One index for all fields (the name index while the mode is on):
  // refilling costs a reference per field, not a
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
