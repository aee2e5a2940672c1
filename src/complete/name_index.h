// The search list of the name mode: one row per distinct address (letter
// case ignored, the first in reading order wins), found by the address's
// start, by any name or word of a name, by pinyin for names in Han
// characters, and by kana or romaji for readings. Immutable once built and
// shared by every field, like SearchIndex. Free of window calls.
//
// How this works:
//  - Every name and reading of a row is folded once (name_text.h: case,
//    width, katakana to hiragana) into one block of UTF-16 text, each name
//    ended by a 0. Rows are numbered by their rank in the pop-up's sort, so
//    a match is a bit in a bitmap over ranks, and reading the bitmap gives
//    the rows sorted and without duplicates, as PrefixMatcher does.
//  - Names and words: every word start of every name is a key, sorted by the
//    text from there to the name's end; the keys a token begins form one
//    run, found by binary search. So a token matches a name when the name
//    read from one of its word starts begins with it: "smi" and "smith j"
//    both find "John Smith Jr".
//  - Pinyin and romaji: every word start in Han characters (kana) is a
//    spelled start, kept in 26 lists by the letters that can begin its
//    spelling, each entry with the set of letters that can follow that one.
//    A token in Latin letters takes the list of its first letter: with one
//    letter the whole list matches, with two the entries whose set holds
//    the second, and longer tokens check those entries with PinyinMatches
//    (RomajiMatches), a few comparisons each. Han and kana begin words
//    where they follow Latin letters, so "zs" finds "Tom张三"; a spelling
//    ends where its Han (kana) characters end.
//  - Rows of one card carry the same names: a row whose names equal the
//    row before it shares that row's text.
//  - Keys that a longer key of the same row contains add nothing (the
//    family name "Smith" beside "John Smith", 张 beside 张三) and are left
//    out, and so is a name none of whose keys is kept.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "addrbook/named_address.h"
#include "complete/search_index.h"

namespace vantrel {

class NameIndex;

// Matching reads at most this many UTF-16 characters of a name, and this
// many names and readings of a row (names first): a hostile book cannot
// make the index's sorting quadratic in a name's length.
constexpr size_t kMaxNameLength = 256;
constexpr size_t kMaxNamesPerRow = 64;

class NameIndexBuilder {
 public:
  // `folded_address` is row.address upper-cased through the code page's own
  // case mapping (as SearchIndexBuilder::Add takes it); rows whose folded
  // address was added before are dropped.
  void Add(const NamedAddress& row, std::string_view folded_address);
  // Rows kept so far.
  size_t size() const { return rows_; }
  // The index of every row added; the builder starts empty again.
  std::shared_ptr<const NameIndex> Build();

 private:
  struct Start {
    uint32_t pos;      // in text_
    uint32_t row;      // the first row (in adding order) with these names
    uint32_t rows;     // how many rows from `row` on have them
    uint32_t letters;  // spelled starts: bit l when letter 'a' + l begins a spelling
  };
  // Folds and keeps the names of one row.
  void AddNames(const NamedAddress& row, uint32_t row_number);
  // True (and the address remembered) when `folded` was not added before.
  bool FirstTime(std::string_view folded);

  SearchIndexBuilder addresses_;
  // The folded addresses added, and an open-addressing table of them.
  std::string seen_bytes_;
  std::vector<uint32_t> seen_offsets_{0};
  std::vector<uint64_t> seen_slots_;
  uint32_t rows_ = 0;
  std::string display_bytes_;
  std::vector<uint32_t> display_offsets_{0};
  std::u16string text_;
  std::vector<Start> words_, han_, kana_;
  // The row before: its names, and where its keys begin in each list.
  std::vector<std::u16string> last_names_, last_readings_;
  size_t last_words_ = 0, last_han_ = 0, last_kana_ = 0;
  // Scratch for one row.
  std::u16string row_text_, folded_;
  std::vector<Start> row_words_, row_han_, row_kana_;
  std::vector<uint32_t> row_starts_;
  uint32_t second_[26];
};

class NameIndex {
 public:
  // The rows' addresses, as a SearchIndex: entry(i) is row i's address, and
  // its order and ranks are the sort of the pop-up.
  const SearchIndex& addresses() const { return *addresses_; }
  const std::shared_ptr<const SearchIndex>& shared_addresses() const { return addresses_; }
  // Row i's display name in the system's ANSI code page ("" if none).
  std::string_view display_name(size_t i) const {
    return std::string_view(display_bytes_.data() + display_offsets_[i],
                            display_offsets_[i + 1] - display_offsets_[i]);
  }
  size_t size() const { return addresses_->size(); }
  // The heap bytes this index holds (its SearchIndex included).
  size_t MemoryBytes() const;

 private:
  friend class NameIndexBuilder;
  friend class NameMatcher;
  struct Key {
    uint32_t pos;   // in text_
    uint32_t rank;  // the row's place in addresses().sorted_order()
  };
  struct SpelledKey {
    uint32_t pos, rank;
    // The characters that can follow the list's letter: bit m for 'a' + m,
    // bits 26 and 27 for '-' and '\''; kLonger when the run has more than
    // the two characters below.
    uint32_t next;
    // Han lists: the run's first two characters (the second 0 when it has
    // one), high and low half; kana lists: one number per distinct run.
    // The lists are sorted by it, so that one step of the pinyin serves
    // every run that begins with the same characters, and one romaji check
    // every equal run.
    uint32_t group;
  };
  static constexpr uint32_t kLonger = 1u << 31;
  // Letter l's spelled starts: keys [first[l], first[l + 1]).
  using Buckets = std::array<uint32_t, 27>;

  std::shared_ptr<const SearchIndex> addresses_;
  std::string display_bytes_;
  std::vector<uint32_t> display_offsets_;
  std::u16string text_;          // folded names, each followed by a 0
  std::vector<Key> words_;       // word starts, by the text from there (char order)
  std::vector<SpelledKey> han_;  // Han word starts, by first letter of their pinyin
  Buckets han_first_{};
  std::vector<SpelledKey> kana_;  // kana word starts, by first letter of their romaji
  Buckets kana_first_{};
};

// Finds the rows that match a token, in the pop-up's sort order. Keeps its
// scratch between calls, so that typing allocates nothing once warmed up.
class NameMatcher {
 public:
  // `folded_token`: the token upper-cased through the code page (for the
  // address start); `wide_token`: the same token in UTF-16 (for names,
  // pinyin, kana and romaji). Leading blanks are already gone from both.
  // Replaces *out with the matching rows in sorted order. An empty token
  // matches every row.
  void Match(const NameIndex& index, std::string_view folded_token, std::u16string_view wide_token,
             std::vector<uint32_t>* out);

  size_t MemoryBytes() const {
    return bits_.capacity() * sizeof(uint64_t) + (folded_.capacity() * sizeof(char16_t)) +
           spelled_.capacity() + pinyin_.capacity();
  }

 private:
  std::vector<uint64_t> bits_;  // one bit per rank
  std::u16string folded_;
  std::string spelled_;  // the token for romaji
  std::string pinyin_;   // the token for pinyin, separators made one
};

}  // namespace vantrel
