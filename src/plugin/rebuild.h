// Reading the address books again: the rebuild that the address-book
// change handler is given, and the repetition of a reading that missed a
// book another program held.
#pragma once

#include <cstddef>

namespace vantrel {

// Empties AddressList, reads every address book again and gives each open
// completion field the new list. Runs on the user-interface thread (also
// inside a stop of the watcher, which pumps messages). Each call replaces the
// list and every field's search list whole; the only thing it keeps between
// calls is the stamp its reading covered, which only grows, so a nested run
// is harmless.
void RebuildAddressList();

// A reading that could not open a book because another program held it
// (open without sharing while it wrote it) is repeated after a delay that
// grows from 100 ms to 5 s, then not until the next change. `held` is what
// ParseAddressBooks returned; 0 cancels a pending repetition. For the first
// reading; RebuildAddressList does this itself.
void RetryReadingIfBooksWereHeld(size_t held);
// Forgets a pending repetition (the host is shutting down).
void CancelRebuildRetry();

// How many rebuilds have run since the module was loaded; for tests and
// benchmarks.
unsigned long RebuildCount();

// Tests: called by every rebuild after it has read the books and before it
// refills the fields, to change the folder while a rebuild is under way.
// Null (the default) for none.
void SetRebuildReadHook(void (*hook)());

}  // namespace vantrel
