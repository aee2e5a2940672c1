// The receiver of address-book folder changes: whatever .bab file was added,
// removed, renamed or written, every address book is read again and every
// open completion field gets the new addresses (by the rebuild it is given).
//
// A burst of changes costs one reading, not one per change: a notification
// whose change a reading begun since has already seen is dropped (see
// change_stamp.h for why that loses nothing). Lost-change notices reach the
// handler as modifications and follow the same rule.
#pragma once

#include "watch/change_handler.h"
#include "watch/change_stamp.h"

namespace vantrel {

class AddrBookHandler : public CDirChangeHandler {
 public:
  // `rebuild` reads every address book again and refills the fields (the
  // plug-in's RebuildAddressList); it notes each reading in Readings().
  explicit AddrBookHandler(void (*rebuild)());

  void NotifyAdded(const std::string& path) override;
  void NotifyRemoved(const std::string& path) override;
  void NotifyRenamed(const std::string& old_path, const std::string& new_path) override;
  void NotifyModified(const std::string& path) override;

  // What the readings so far have seen. UI thread only.
  ReadingCoverage& Readings() { return readings_; }

 private:
  void OnAddressBooksChanged();

  void (*rebuild_)();
  ReadingCoverage readings_;
};

}  // namespace vantrel
