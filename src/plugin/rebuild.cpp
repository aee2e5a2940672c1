#include "plugin/rebuild.h"

#include <utility>
#include <vector>

#include "addrbook/address_books.h"
#include "compose/compose_hook.h"
#include "platform/module_call.h"
#include "plugin/globals.h"
#include "watch/change_stamp.h"
#include "watch/retry_delay.h"

namespace vantrel {
namespace {

// All UI thread only.
unsigned long rebuildCount = 0;
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
  const ReadingCoverage before = TheAddrBookHandler.Readings();
  TheAddrBookHandler.Readings().ReadingStarts(LatestChangeStamp());
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
    TheAddrBookHandler.Readings() = before;
    return;
  }
  // A reading that missed a book another program held did not see the
  // changes to it: it covers nothing, and is tried again.
  if (held != 0) TheAddrBookHandler.Readings() = before;
  ScheduleRetry(held != 0);
  RefillComposeFields();
}

}  // namespace vantrel
