#include "complete/search_index.h"

#include <algorithm>
#include <cstring>

#include "complete/suggest_math.h"

namespace vantrel {

size_t SearchIndex::MemoryBytes() const {
  return entry_bytes_.capacity() + key_bytes_.capacity() +
         (entry_offsets_.capacity() + key_offsets_.capacity() + by_key_.capacity() +
          order_.capacity() + rank_.capacity()) *
             sizeof(uint32_t);
}

SearchIndexBuilder::SearchIndexBuilder(std::shared_ptr<const SearchIndex> base) {
  if (!base || base->size() == 0) return;
  if (base.use_count() == 1) {
    // Sole owner: nobody else can see the index any more, and it was built
    // non-const by Build(), so taking its blocks over is safe.
    auto* own = const_cast<SearchIndex*>(base.get());
    entry_bytes_ = std::move(own->entry_bytes_);
    entry_offsets_ = std::move(own->entry_offsets_);
    key_bytes_ = std::move(own->key_bytes_);
    key_offsets_ = std::move(own->key_offsets_);
    return;
  }
  entry_bytes_ = base->entry_bytes_;
  entry_offsets_ = base->entry_offsets_;
  key_bytes_ = base->key_bytes_;
  key_offsets_ = base->key_offsets_;
}

void SearchIndexBuilder::Add(std::string_view entry, std::string_view key) {
  entry_bytes_.append(entry.data(), entry.size());
  entry_offsets_.push_back(static_cast<uint32_t>(entry_bytes_.size()));
  key_bytes_.append(key.data(), key.size());
  key_offsets_.push_back(static_cast<uint32_t>(key_bytes_.size()));
}

std::shared_ptr<const SearchIndex> SearchIndexBuilder::Build() {
  auto index = std::make_shared<SearchIndex>();
  const uint32_t n = static_cast<uint32_t>(size());
  index->entry_bytes_ = std::move(entry_bytes_);
  index->entry_offsets_ = std::move(entry_offsets_);
  index->key_bytes_ = std::move(key_bytes_);
  index->key_offsets_ = std::move(key_offsets_);
  // Appending doubled the blocks as they grew; an index lives long.
  index->entry_bytes_.shrink_to_fit();
  index->key_bytes_.shrink_to_fit();
  index->entry_offsets_.shrink_to_fit();
  index->key_offsets_.shrink_to_fit();
  entry_bytes_.clear();
  key_bytes_.clear();
  entry_offsets_.assign(1, 0);
  key_offsets_.assign(1, 0);
  if (n == 0) {
    index->entry_offsets_.clear();
    index->key_offsets_.clear();
    return index;
  }

  const SearchIndex& ix = *index;
  index->by_key_.resize(n);
  for (uint32_t i = 0; i < n; ++i) index->by_key_[i] = i;
  std::sort(index->by_key_.begin(), index->by_key_.end(), [&ix](uint32_t a, uint32_t b) {
    int c = ix.key(a).compare(ix.key(b));
    return c != 0 ? c < 0 : a < b;
  });
  // std::string_view::compare compares char_traits<char>, which compares as
  // unsigned char: the byte order the prefix search relies on.

  index->order_.resize(n);
  for (uint32_t i = 0; i < n; ++i) index->order_[i] = i;
  std::sort(index->order_.begin(), index->order_.end(), [&ix](uint32_t a, uint32_t b) {
    int c = CompareNoCaseC(ix.entry(a), ix.entry(b));
    return c != 0 ? c < 0 : a < b;
  });
  index->rank_.resize(n);
  for (uint32_t r = 0; r < n; ++r) index->rank_[index->order_[r]] = r;
  return index;
}

void PrefixMatcher::Match(const SearchIndex& index, long long start_after,
                          std::string_view folded_token, std::vector<uint32_t>* out) {
  out->clear();
  const size_t n = index.size();
  if (n == 0) return;
  const long long first = std::max(start_after + 1, 0LL);
  const std::vector<uint32_t>& by_key = index.by_key_;
  const size_t len = folded_token.size();
  // The keys that begin with the token sit between the first key whose
  // prefix of the token's length is not less than the token and the first
  // whose prefix is greater.
  auto prefix = [&](uint32_t e) { return index.key(e).substr(0, len); };
  auto lo = std::lower_bound(by_key.begin(), by_key.end(), folded_token,
                             [&](uint32_t e, std::string_view t) { return prefix(e) < t; });
  auto hi = std::upper_bound(lo, by_key.end(), folded_token,
                             [&](std::string_view t, uint32_t e) { return t < prefix(e); });
  const size_t run = static_cast<size_t>(hi - lo);
  if (run == 0) return;

  const std::vector<uint32_t>& rank = index.rank_;
  const std::vector<uint32_t>& order = index.order_;
  if (run < n / 32 + 64) {
    // A short run: sort its ranks.
    ranks_.clear();
    for (auto it = lo; it != hi; ++it) {
      if (*it >= first) ranks_.push_back(rank[*it]);
    }
    std::sort(ranks_.begin(), ranks_.end());
    out->reserve(ranks_.size());
    for (uint32_t r : ranks_) out->push_back(order[r]);
    return;
  }
  // A long run: mark the ranks in a bitmap and read it in order, linear in
  // the run plus n / 64 words.
  bits_.assign((n + 63) / 64, 0);
  size_t count = 0;
  for (auto it = lo; it != hi; ++it) {
    if (*it < first) continue;
    uint32_t r = rank[*it];
    bits_[r >> 6] |= uint64_t{1} << (r & 63);
    ++count;
  }
  out->reserve(count);
  for (size_t w = 0; w < bits_.size(); ++w) {
    uint64_t word = bits_[w];
    while (word) {
      int b = __builtin_ctzll(word);
      out->push_back(order[w * 64 + static_cast<size_t>(b)]);
      word &= word - 1;
    }
  }
}

}  // namespace vantrel
