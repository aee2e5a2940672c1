#include "plugin/address_list.h"

#include "complete/suggest_list.h"

namespace vantrel {

std::shared_ptr<const SearchIndex> CAddressList::SearchList() {
  if (!index_) index_ = BuildSearchIndex(items_);
  return index_;
}

}  // namespace vantrel
