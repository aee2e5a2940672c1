// AddressList: every address read from the address books, in reading order
// (duplicates and empty strings kept), and the search index built from it.
// With the name mode on, the same reading also fills one row per EMAIL
// property with its card's names, from which the name index is built.
//
// Many completion fields offer the same addresses, so each index is built
// once per reading (at the first request) and shared by every field
// (CCompletionEdit::SetSearchList / SetNameIndex): opening a compose window
// or refilling all fields after a change costs no copy of 100,000 strings
// per field.
//
// Rows are read only while the mode is on: a reading with it off does no
// work for names and leaves no rows (HasRows() false), so switching the
// mode on afterwards needs one reading.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "addrbook/named_address.h"
#include "complete/name_index.h"
#include "complete/search_index.h"
#include "complete/usage_source.h"

namespace vantrel {

class CCompletionEdit;

class CAddressList {
 public:
  // `usage`: what FillField gives the fields to rank the name mode's rows
  // by (may be null).
  explicit CAddressList(UsageSource* usage = nullptr) : usage_(usage) {}
  const std::vector<std::string>& items() const { return items_; }
  const std::vector<NamedAddress>& rows() const { return rows_; }
  // For appending a reading; forgets the indexes built from the old items.
  // The reading's rows go to *rows, which is null while the mode is off.
  struct Reading {
    std::vector<std::string>* items;
    std::vector<NamedAddress>* rows;
  };
  Reading BeginReading();
  // For appending a reading without rows (the mode's state aside).
  std::vector<std::string>& Edit();
  void Clear();

  // The name mode, as the setting says; the reading and the fields follow it.
  bool matchNames() const { return matchNames_; }
  void SetMatchNames(bool on) { matchNames_ = on; }
  // True when every reading since the last Clear filled its rows.
  bool HasRows() const { return rowsComplete_; }

  // The shared index of the current items, built at the first request after
  // a change.
  std::shared_ptr<const SearchIndex> SearchList();
  // The shared name index of the current rows, likewise; null without rows.
  std::shared_ptr<const NameIndex> NameList();
  // Gives a field what it offers now: the name index while the mode is on
  // and the rows are there, else the plain index of every address.
  void FillField(CCompletionEdit* field);

 private:
  std::vector<std::string> items_;
  std::vector<NamedAddress> rows_;
  bool rowsComplete_ = true;  // nothing read yet: no row is missing
  bool matchNames_ = false;
  std::shared_ptr<const SearchIndex> index_;
  std::shared_ptr<const NameIndex> names_;
  UsageSource* usage_ = nullptr;
};

}  // namespace vantrel
