// Search keys: every entry of the search list, and every token typed, is
// folded through the code page's case mapping before the two are compared.
// Window-free: the mapping comes in as a function object, so the folding is
// tested natively; BuildSearchIndex and MatchToken use the system's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "complete/search_index.h"

namespace vantrel {

// An index of `entries`, each under the key fold(entry, &key) gives it.
template <typename Fold>
std::shared_ptr<const SearchIndex> BuildFoldedIndex(const std::vector<std::string>& entries,
                                                    const Fold& fold) {
  SearchIndexBuilder builder;
  size_t bytes = 0;
  for (const std::string& e : entries) bytes += e.size();
  builder.Reserve(entries.size(), bytes);
  std::string key;
  for (const std::string& e : entries) {
    fold(std::string_view(e), &key);
    builder.Add(e, key);
  }
  return builder.Build();
}

// The entries after start_after (-1: all) whose key begins with the folded
// token, in sorted order.
template <typename Fold>
void MatchFolded(PrefixMatcher* matcher, const SearchIndex& index, int start_after,
                 const std::string& token, const Fold& fold, std::vector<uint32_t>* out) {
  std::string key;
  fold(std::string_view(token), &key);
  matcher->Match(index, start_after, key, out);
}

// With the system ANSI code page's upper case (platform/ansi.h): an index
// ready to be shared by several fields, and the matching of a token in it.
std::shared_ptr<const SearchIndex> BuildSearchIndex(const std::vector<std::string>& entries);
void MatchToken(PrefixMatcher* matcher, const SearchIndex& index, int start_after,
                const std::string& token, std::vector<uint32_t>* out);

}  // namespace vantrel
