#include "plugin/address_list.h"

#include "complete/completion_edit.h"
#include "complete/suggest_list.h"

namespace vantrel {

void CAddressList::RowsToIndex::Take(const NamedAddress& row) {
  folder_.Fold(row.address, &key_);
  builder_.Add(row, key_);
}

CAddressList::Reading CAddressList::BeginReading() {
  index_.reset();
  names_.reset();
  reading_.reset();
  namesRead_ = matchNames_;
  if (!matchNames_) return Reading{&items_, nullptr};
  reading_ = std::make_unique<RowsToIndex>();
  return Reading{&items_, reading_.get()};
}

void CAddressList::EndReading() {
  if (!reading_) return;
  names_ = reading_->Build();
  reading_.reset();
}

std::vector<std::string>& CAddressList::Edit() {
  index_.reset();
  names_.reset();
  reading_.reset();
  namesRead_ = false;
  return items_;
}

void CAddressList::Clear() {
  items_.clear();
  reading_.reset();
  namesRead_ = true;
  index_.reset();
  names_.reset();
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
  if (matchNames_) {
    if (std::shared_ptr<const NameIndex> names = NameList()) {
      field->SetNameIndex(std::move(names));
      return;
    }
  }
  field->SetSearchList(SearchList());
}

}  // namespace vantrel
