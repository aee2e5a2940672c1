// AddressList: every address read from the address books, in reading order
// (duplicates and empty strings kept), and the search index built from it.
// With the name mode on, the same reading also hands each card's rows (one
// per EMAIL property, with the card's names) straight to a name index
// builder: no row is kept once the reading is over.
//
// Many completion fields offer the same addresses, so each index is built
// once per reading and shared by every field (CCompletionEdit::SetSearchList
// / SetNameIndex): opening a compose window or refilling all fields after a
// change costs no copy of 100,000 strings per field.
//
// A reading with the mode off does no work for names and leaves no name
// index (HasNames() false), so switching the mode on afterwards needs one
// reading. The name index covers the latest reading: a second menu set-up,
// which appends a second reading of the books to the addresses, gives a name
// index of that reading alone (the same rows, duplicates collapsed).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "addrbook/address_books.h"
#include "addrbook/named_address.h"
#include "complete/name_index.h"
#include "complete/search_index.h"
#include "platform/ansi.h"
#include "complete/usage_source.h"

namespace vantrel {

class CCompletionEdit;

class CAddressList {
 public:
  // `usage`: what FillField gives the fields to rank the name mode's rows
  // by (may be null).
  explicit CAddressList(UsageSource* usage = nullptr) : usage_(usage) {}
  const std::vector<std::string>& items() const { return items_; }
  // For appending addresses without names; forgets the indexes built from
  // the old items.
  std::vector<std::string>& Edit();
  void Clear();
  // Takes a whole new reading, with the name index of its cards when it
  // read them (null: read without names); nothing can fail once it is read.
  void Replace(std::vector<std::string>&& items,
               std::shared_ptr<const NameIndex> names = nullptr) noexcept;

  // Reads the listed books into *items and, with `names`, their cards into
  // a new name index (*index; null without): one pass over each book
  // either way. Returns how many books another program held, as
  // ParseAddressBooks does. May throw (out of memory); the list is not
  // touched here.
  static size_t ReadBooks(const PathList& paths, bool names, std::vector<std::string>* items,
                          std::shared_ptr<const NameIndex>* index);

  // The name mode, as the setting says; the reading and the fields follow it.
  bool matchNames() const { return matchNames_; }
  void SetMatchNames(bool on) { matchNames_ = on; }
  // True when the latest reading read the names (or nothing was read yet).
  bool HasNames() const { return namesRead_; }

  // The shared index of the current items, built at the first request after
  // a change.
  std::shared_ptr<const SearchIndex> SearchList();
  // The shared name index of the latest reading; null without one.
  std::shared_ptr<const NameIndex> NameList();
  // Gives a field what it offers now: the name index while the mode is on
  // and the names were read, else the plain index of every address.
  void FillField(CCompletionEdit* field);

 private:
  std::vector<std::string> items_;
  bool namesRead_ = true;  // nothing read yet: no name is missing
  bool matchNames_ = false;
  std::shared_ptr<const SearchIndex> index_;
  std::shared_ptr<const NameIndex> names_;
  UsageSource* usage_ = nullptr;
};

}  // namespace vantrel
