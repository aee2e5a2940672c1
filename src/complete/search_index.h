// The search list of a completion field, as an immutable shared index.
//
// How this works:
//  - A SearchIndex holds every candidate entry exactly as it was added, its
//    folded key (the entry upper-cased through the code page's own case
//    mapping, done once by whoever adds it) and two permutations computed
//    once when the index is built: the entries in byte order of their keys
//    (so the entries that begin with a token form one contiguous run, found
//    by binary search) and the entries in the "C" locale's case-insensitive
//    order (_stricmp: only A-Z folded), with each entry's rank in it.
//  - Matching a token is then two binary searches for the run, and ordering
//    the run by rank: a sort of the ranks for a short run, a bitmap over all
//    ranks for a long one. Nothing is upper-cased or copied per keystroke.
//  - Strings live in two contiguous byte blocks with offsets, so an index of
//    100,000 addresses is a handful of allocations.
//  - An index never changes once built. Fields share one through
//    std::shared_ptr<const SearchIndex>; appending to a shared index builds
//    a new one (SearchIndexBuilder), the old one lives as long as someone
//    (another field, or a match list still showing) refers to it.
// Single-threaded by use (the UI thread), but an immutable index may be read
// from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class SearchIndex {
 public:
  size_t size() const { return entry_offsets_.empty() ? 0 : entry_offsets_.size() - 1; }
  std::string_view entry(size_t i) const {
    return Slice(entry_bytes_, entry_offsets_, i);
  }
  std::string_view key(size_t i) const { return Slice(key_bytes_, key_offsets_, i); }

  // Entries in the case-insensitive "C" order; ties in the order of adding.
  const std::vector<uint32_t>& sorted_order() const { return order_; }

  // The heap bytes this index holds.
  size_t MemoryBytes() const;

 private:
  friend class SearchIndexBuilder;
  friend class PrefixMatcher;
  friend class NameIndexBuilder;  // ranks of its rows
  friend class NameMatcher;       // the address-start run
  static std::string_view Slice(const std::string& bytes, const std::vector<uint32_t>& offsets,
                                size_t i) {
    return std::string_view(bytes.data() + offsets[i], offsets[i + 1] - offsets[i]);
  }

  std::string entry_bytes_;
  std::vector<uint32_t> entry_offsets_;  // size() + 1 offsets when not empty
  std::string key_bytes_;
  std::vector<uint32_t> key_offsets_;
  std::vector<uint32_t> by_key_;  // entry indices, keys in byte order
  std::vector<uint32_t> order_;   // entry indices, CompareNoCaseC order
  std::vector<uint32_t> rank_;    // rank_[entry] = its position in order_
};

// Collects entries for a new index. Adding is O(1); Build() sorts once.
class SearchIndexBuilder {
 public:
  SearchIndexBuilder() = default;
  // Starts from the entries of `base` (may be null). When the caller holds
  // the only reference, the strings are moved rather than copied.
  explicit SearchIndexBuilder(std::shared_ptr<const SearchIndex> base);

  // `key` is the entry folded for matching (upper-cased by the code page).
  void Add(std::string_view entry, std::string_view key);
  // Room for `count` more entries of `bytes` bytes in all (keys alike).
  void Reserve(size_t count, size_t bytes);
  size_t size() const { return entry_offsets_.size() - 1; }

  std::shared_ptr<const SearchIndex> Build();

 private:
  std::string entry_bytes_;
  std::vector<uint32_t> entry_offsets_{0};
  std::string key_bytes_;
  std::vector<uint32_t> key_offsets_{0};
};

// Finds, in sorted order, the entries whose key begins with a folded token.
// Keeps its scratch buffers between calls, so that repeated matching against
// the same index allocates nothing once warmed up.
class PrefixMatcher {
 public:
  // Replaces *out with the indices of the entries after start_after (-1: all)
  // whose key begins with folded_token, in CompareNoCaseC order.
  void Match(const SearchIndex& index, long long start_after, std::string_view folded_token,
             std::vector<uint32_t>* out);

  size_t MemoryBytes() const {
    return ranks_.capacity() * sizeof(uint32_t) + bits_.capacity() * sizeof(uint64_t);
  }

 private:
  std::vector<uint32_t> ranks_;
  std::vector<uint64_t> bits_;
};

}  // namespace vantrel
