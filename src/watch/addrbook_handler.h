// The receiver of address-book folder changes: whatever .bab file was added,
// removed, renamed or written, every address book is read again and every
// open completion field gets the new addresses.
#pragma once

#include "watch/change_dispatch.h"

namespace vantrel {

class AddrBookHandler : public CDirChangeHandler {
 public:
  void NotifyAdded(const std::string& path) override;
  void NotifyRemoved(const std::string& path) override;
  void NotifyRenamed(const std::string& old_path, const std::string& new_path) override;
  void NotifyModified(const std::string& path) override;
};

// Empties AddressList, reads every address book again and gives each open
// completion field the new list. Runs on the user-interface thread (also
// inside a stop of the watcher, which pumps messages); keeps no state between
// calls, so such a nested run is harmless.
void RebuildAddressList();

// How many rebuilds have run since the module was loaded; for tests and
// benchmarks.
unsigned long RebuildCount();

}  // namespace vantrel
