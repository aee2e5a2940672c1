// The search list of the name mode: one row per distinct address (letter
// case ignored, the first in reading order wins), found by the address's
// start, by any name or word of a name, by pinyin for names in Han
// characters, and by kana or romaji for readings. Immutable once built and
// shared by every field, like SearchIndex. Free of window calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "addrbook/named_address.h"
#include "complete/search_index.h"

namespace vantrel {

class NameIndex;

class NameIndexBuilder {
 public:
  // `folded_address` is row.address upper-cased through the code page's own
  // case mapping (as SearchIndexBuilder::Add takes it); rows whose folded
  // address was added before are dropped.
  void Add(const NamedAddress& row, std::string_view folded_address);
  std::shared_ptr<const NameIndex> Build();
};

class NameIndex {
 public:
  // The rows' addresses, as a SearchIndex: entry(i) is row i's address, and
  // its order and ranks are the sort of the pop-up.
  const SearchIndex& addresses() const;
  // Row i's display name in the system's ANSI code page ("" if none).
  std::string_view display_name(size_t i) const;
  size_t size() const;
  size_t MemoryBytes() const;
};

// Finds the rows that match a token, in the pop-up's sort order. Keeps its
// scratch between calls.
class NameMatcher {
 public:
  // `folded_token`: the token upper-cased through the code page (for the
  // address start); `wide_token`: the same token in UTF-16 (for names,
  // pinyin, kana and romaji). Leading blanks are already gone from both.
  // Replaces *out with the matching rows in sorted order.
  void Match(const NameIndex& index, std::string_view folded_token,
             std::u16string_view wide_token, std::vector<uint32_t>* out);
};

}  // namespace vantrel
