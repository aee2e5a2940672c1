// Puts the rows that a matcher found in the order of use. Free of window
// calls.
//
// Rows of hidden addresses leave; rows of used addresses move to the front,
// the most used first; every other row, and used rows whose scores are equal,
// keep the order the matcher gave them. A keystroke costs one table look-up
// per matching row and a sort of the used rows among them: the table (one
// 16-bit place per row of the index) is built again only when the index or
// the usage changes, with one binary search per used address.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "complete/search_index.h"
#include "complete/usage_book.h"

namespace vantrel {

class UsageRanker {
 public:
  // `rows` are entries of `index`, as the matcher gave them. `owner` is what
  // keeps `index` alive (the field's shared index); the ranker holds on to it
  // so that its table can never be taken for that of a later index at the
  // same address.
  void Rank(const UsageBook& book, std::shared_ptr<const void> owner, const SearchIndex& index,
            std::vector<uint32_t>* rows);

  size_t MemoryBytes() const {
    return place_.capacity() * sizeof(uint16_t) + scratch_.capacity() * sizeof(uint64_t) +
           used_rows_.capacity() * sizeof(uint32_t) + found_.capacity() * sizeof(uint32_t);
  }

 private:
  static constexpr uint16_t kUnused = 0;
  static constexpr uint16_t kHidden = 0xFFFF;

  void Build(const UsageBook& book, const SearchIndex& index);

  std::shared_ptr<const void> owner_;
  const SearchIndex* index_ = nullptr;
  const UsageBook* book_ = nullptr;
  uint64_t generation_ = 0;
  // place_[row]: kUnused, kHidden, or 1 + the number of used addresses more
  // used than this row's (equal scores share a place).
  std::vector<uint16_t> place_;
  std::vector<uint64_t> scratch_;  // (place << 32) | index into used_rows_
  std::vector<uint32_t> used_rows_;
  std::vector<uint32_t> found_;
  PrefixMatcher lookup_;
};

}  // namespace vantrel
