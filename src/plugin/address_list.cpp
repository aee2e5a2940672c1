#include "plugin/address_list.h"

#include "complete/completion_edit.h"
#include "complete/suggest_list.h"
#include "platform/ansi.h"

namespace vantrel {

CAddressList::Reading CAddressList::BeginReading() {
  index_.reset();
  names_.reset();
  if (!matchNames_) {
    // Rows of earlier readings would lack this one's addresses.
    rows_.clear();
    rowsComplete_ = false;
    return Reading{&items_, nullptr};
  }
  return Reading{&items_, &rows_};
}

std::vector<std::string>& CAddressList::Edit() {
  index_.reset();
  names_.reset();
  rows_.clear();
  rowsComplete_ = false;
  return items_;
}

void CAddressList::Clear() {
  items_.clear();
  rows_.clear();
  rowsComplete_ = true;
  index_.reset();
  names_.reset();
}

std::shared_ptr<const SearchIndex> CAddressList::SearchList() {
  if (!index_) index_ = BuildSearchIndex(items_);
  return index_;
}

std::shared_ptr<const NameIndex> CAddressList::NameList() {
  if (!rowsComplete_) return nullptr;
  if (!names_) {
    NameIndexBuilder builder;
    const AnsiUpperFolder folder;
    std::string key;
    for (const NamedAddress& row : rows_) {
      folder.Fold(row.address, &key);
      builder.Add(row, key);
    }
    names_ = builder.Build();
  }
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
