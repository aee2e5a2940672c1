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

void SearchIndexBuilder::Reserve(size_t count, size_t bytes) {
  entry_bytes_.reserve(entry_bytes_.size() + bytes);
  key_bytes_.reserve(key_bytes_.size() + bytes);
  entry_offsets_.reserve(entry_offsets_.size() + count);
  key_offsets_.reserve(key_offsets_.size() + count);
}

namespace {

// Byte order of unsigned chars, like std::string_view::compare, but inline:
// some C runtimes' memcmp compares a byte per call iteration, and building
// an index of 100,000 entries makes a few million comparisons.
inline int CompareBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const unsigned char* pa = reinterpret_cast<const unsigned char*>(a.data());
  const unsigned char* pb = reinterpret_cast<const unsigned char*>(b.data());
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint32_t wa, wb;
    std::memcpy(&wa, pa + i, 4);
    std::memcpy(&wb, pb + i, 4);
    if (wa != wb) break;
  }
  for (; i < n; ++i) {
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// CompareNoCaseC with its folding table inline.
struct NoCaseC {
  unsigned char fold[256];
  NoCaseC() {
    for (int c = 0; c < 256; ++c) fold[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
  int operator()(std::string_view a, std::string_view b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      const int ca = fold[static_cast<unsigned char>(a[i])];
      const int cb = fold[static_cast<unsigned char>(b[i])];
      if (ca != cb) return ca - cb;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }
};

// A string's first 16 bytes as two big-endian numbers, zero-padded:
// ordering the numbers orders the strings by those bytes, and equal numbers
// leave the rest to a whole comparison. Addresses often share their first 8
// bytes ("michael."), rarely their first 16.
struct PrefixItem {
  uint64_t high, low;
  uint32_t index;

  bool operator<(const PrefixItem& o) const {  // prefix only
    return high != o.high ? high < o.high : low < o.low;
  }
  bool SamePrefix(const PrefixItem& o) const { return high == o.high && low == o.low; }
};

inline uint64_t Bytes8(std::string_view s, size_t from, const unsigned char* fold) {
  uint64_t p = 0;
  for (size_t i = from; i < from + 8; ++i) {
    unsigned char c = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
    if (fold) c = fold[c];
    p = (p << 8) | c;
  }
  return p;
}

inline PrefixItem MakeItem(std::string_view s, uint32_t index, const unsigned char* fold) {
  return {Bytes8(s, 0, fold), Bytes8(s, 8, fold), index};
}

// Sorts a sequence that is mostly in order: finds its ascending runs and
// merges neighbouring runs until one is left. Many runs (little order to
// use) go to std::sort instead. `less` must be a strict total order, so
// the result is the same as std::sort's.
template <typename Less>
void SortByRuns(std::vector<PrefixItem>* items, Less less) {
  std::vector<PrefixItem>& v = *items;
  std::vector<size_t> bounds{0};
  for (size_t i = 1; i < v.size(); ++i) {
    if (less(v[i], v[i - 1])) bounds.push_back(i);
  }
  if (bounds.size() > v.size() / 8 + 1) {
    std::sort(v.begin(), v.end(), less);
    return;
  }
  bounds.push_back(v.size());
  while (bounds.size() > 2) {
    std::vector<size_t> next;
    size_t r = 0;
    for (; r + 2 < bounds.size(); r += 2) {
      std::inplace_merge(v.begin() + bounds[r], v.begin() + bounds[r + 1], v.begin() + bounds[r + 2],
                         less);
      next.push_back(bounds[r]);
    }
    for (; r < bounds.size(); ++r) next.push_back(bounds[r]);
    bounds.swap(next);
  }
}

}  // namespace

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
  // Both orders sort (first 16 bytes as numbers, entry) items and compare
  // whole strings only when those bytes tie: most comparisons are then
  // integer comparisons on contiguous memory instead of two indirections.
  std::vector<PrefixItem> items(n);
  for (uint32_t i = 0; i < n; ++i) items[i] = MakeItem(ix.key(i), i, nullptr);
  std::sort(items.begin(), items.end(), [&ix](const PrefixItem& a, const PrefixItem& b) {
    if (!a.SamePrefix(b)) return a < b;
    int c = CompareBytes(ix.key(a.index), ix.key(b.index));
    return c != 0 ? c < 0 : a.index < b.index;
  });
  // Unsigned byte order: the order the prefix search relies on.
  index->by_key_.resize(n);
  for (uint32_t i = 0; i < n; ++i) index->by_key_[i] = items[i].index;

  // The case-insensitive "C" order mostly agrees with the key order (they
  // differ where one of [ \ ] ^ _ ` or a letter beyond A-Z meets a letter),
  // so start from the key order and merge its ascending runs instead of
  // sorting from scratch: with few disagreements that is a linear pass and a
  // few merges.
  const NoCaseC no_case;
  auto no_case_less = [&ix, &no_case](const PrefixItem& a, const PrefixItem& b) {
    if (!a.SamePrefix(b)) return a < b;
    int c = no_case(ix.entry(a.index), ix.entry(b.index));
    return c != 0 ? c < 0 : a.index < b.index;
  };
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t e = index->by_key_[i];
    items[i] = MakeItem(ix.entry(e), e, no_case.fold);
  }
  SortByRuns(&items, no_case_less);
  index->order_.resize(n);
  for (uint32_t i = 0; i < n; ++i) index->order_[i] = items[i].index;
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
