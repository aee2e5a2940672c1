#include "complete/usage_rank.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace vantrel {

static_assert(UsageBook::kMaxAddresses < 0xFFFF, "places must fit below kHidden");

void UsageRanker::Build(const UsageBook& book, const SearchIndex& index) {
  place_.assign(index.size(), kUnused);
  std::vector<std::pair<double, std::string_view>> used;
  std::vector<std::string_view> hidden;
  used.reserve(book.size());
  for (const auto& [key, e] : book.entries()) {
    if (e.hidden) {
      hidden.push_back(key);
    } else if (e.score > 0) {
      used.emplace_back(e.rank, key);
    }
  }
  std::sort(used.begin(), used.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  // The rows whose key begins with a key: the one that equals it (if the
  // index holds the address at all) is among them.
  auto mark = [&](std::string_view key, uint16_t p) {
    lookup_.Match(index, -1, key, &found_);
    for (uint32_t row : found_) {
      if (index.key(row) == key) place_[row] = p;
    }
  };
  uint16_t place = 0;
  for (size_t i = 0; i < used.size(); ++i) {
    if (i == 0 || used[i].first != used[i - 1].first) {
      place = static_cast<uint16_t>(std::min<size_t>(i + 1, kHidden - 1));
    }
    mark(used[i].second, place);
  }
  for (std::string_view key : hidden) mark(key, kHidden);
}

void UsageRanker::Rank(const UsageBook& book, std::shared_ptr<const void> owner,
                       const SearchIndex& index, std::vector<uint32_t>* rows) {
  if (book.size() == 0) return;
  if (owner.get() != owner_.get() || &index != index_ || &book != book_ ||
      book.generation() != generation_ || place_.size() != index.size()) {
    owner_ = std::move(owner);
    index_ = &index;
    book_ = &book;
    generation_ = book.generation();
    Build(book, index);
  }
  // Rows without use are packed at the front in their order; used rows are
  // collected as (place, sequence) so that a plain sort keeps equal places
  // in the matcher's order.
  scratch_.clear();
  used_rows_.clear();
  size_t kept = 0;
  for (size_t i = 0; i < rows->size(); ++i) {
    const uint32_t row = (*rows)[i];
    const uint16_t p = row < place_.size() ? place_[row] : kUnused;
    if (p == kUnused) {
      (*rows)[kept++] = row;
    } else if (p != kHidden) {
      scratch_.push_back(static_cast<uint64_t>(p) << 32 | used_rows_.size());
      used_rows_.push_back(row);
    }
  }
  if (scratch_.empty()) {
    rows->resize(kept);
    return;
  }
  std::sort(scratch_.begin(), scratch_.end());
  rows->resize(kept + scratch_.size());
  std::move_backward(rows->begin(), rows->begin() + kept, rows->end());
  for (size_t i = 0; i < scratch_.size(); ++i) {
    (*rows)[i] = used_rows_[static_cast<uint32_t>(scratch_[i])];
  }
}

}  // namespace vantrel
