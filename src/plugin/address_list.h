// AddressList: every address read from the address books, in reading order
// (duplicates and empty strings kept), and the search index built from it.
//
// Many completion fields offer the same addresses, so the index is built once
// per reading and shared by every field (CCompletionEdit::SetSearchList):
// opening a compose window or refilling all fields after a change costs no
// copy of 100,000 strings per field.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "complete/search_index.h"

namespace vantrel {

class CAddressList {
 public:
  const std::vector<std::string>& items() const { return items_; }
  // For appending a reading; forgets the index built from the old items.
  std::vector<std::string>& Edit() {
    index_.reset();
    return items_;
  }
  void Clear() {
    items_.clear();
    index_.reset();
  }
  // Takes a whole new reading; nothing can fail once it is read.
  void Replace(std::vector<std::string>&& items) noexcept {
    items_.swap(items);
    index_.reset();
  }
  // The shared index of the current items, built at the first request after
  // a change.
  std::shared_ptr<const SearchIndex> SearchList();

 private:
  std::vector<std::string> items_;
  std::shared_ptr<const SearchIndex> index_;
};

}  // namespace vantrel
