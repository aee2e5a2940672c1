#include "plugin/address_list.h"

#include <utility>

#include "complete/completion_edit.h"
#include "complete/search_fold.h"

namespace vantrel {
namespace {

// Folds each row's address and adds the row to the name index builder.
class RowsToIndex final : public NamedAddressSink {
 public:
  void Take(const NamedAddress& row) override {
    folder_.Fold(row.address, &key_);
    builder_.Add(row, key_);
  }
  std::shared_ptr<const NameIndex> Build() { return builder_.Build(); }

 private:
  NameIndexBuilder builder_;
  AnsiUpperFolder folder_;
  std::string key_;
};

}  // namespace

std::vector<std::string>& CAddressList::Edit() {
  index_.reset();
  names_.reset();
  namesRead_ = false;
  return items_;
}

void CAddressList::Clear() {
  items_.clear();
  namesRead_ = true;
  index_.reset();
  names_.reset();
}

void CAddressList::Replace(std::vector<std::string>&& items,
                           std::shared_ptr<const NameIndex> names) noexcept {
  items_.swap(items);
  index_.reset();
  names_ = std::move(names);
  namesRead_ = names_ != nullptr;
}

size_t CAddressList::ReadBooks(const PathList& paths, bool names, std::vector<std::string>* items,
                               std::shared_ptr<const NameIndex>* index) {
  index->reset();
  if (!names) return ParseAddressBooks(paths, *items);
  RowsToIndex rows;
  const size_t held = ParseAddressBooks(paths, *items, rows);
  *index = rows.Build();
  return held;
}

std::shared_ptr<const SearchIndex> CAddressList::SearchList() {
  if (!index_) index_ = BuildSearchIndex(items_);
  return index_;
}

std::shared_ptr<const NameIndex> CAddressList::NameList() {
  if (!namesRead_) return nullptr;
  // Nothing read yet: an empty index, so a field in the mode stays in it.
  if (!names_) names_ = NameIndexBuilder().Build();
  return names_;
}

void CAddressList::FillField(CCompletionEdit* field) {
  // The order of use applies in the name mode only; the field asks for it
  // only there.
  field->SetUsage(usage_);
  if (matchNames_) {
    if (std::shared_ptr<const NameIndex> names = NameList()) {
      field->SetNameIndex(std::move(names));
      return;
    }
  }
  field->SetSearchList(SearchList());
}

}  // namespace vantrel
