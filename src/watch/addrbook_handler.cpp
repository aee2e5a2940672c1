#include "watch/addrbook_handler.h"

namespace vantrel {

AddrBookHandler::AddrBookHandler(void (*rebuild)()) : rebuild_(rebuild) {}

void AddrBookHandler::NotifyAdded(const std::string&) { OnAddressBooksChanged(); }
void AddrBookHandler::NotifyRemoved(const std::string&) { OnAddressBooksChanged(); }
void AddrBookHandler::NotifyRenamed(const std::string&, const std::string&) {
  OnAddressBooksChanged();
}
void AddrBookHandler::NotifyModified(const std::string&) { OnAddressBooksChanged(); }

void AddrBookHandler::OnAddressBooksChanged() {
  // Posted before the last reading began: that reading saw this change, and
  // AddressList and every field already hold its result.
  if (readings_.Covers(DeliveringStamp())) return;
  if (rebuild_) rebuild_();
}

}  // namespace vantrel
