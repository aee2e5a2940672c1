#include "complete/name_index.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "complete/name_text.h"
#include "complete/pinyin.h"
#include "complete/romaji.h"

namespace vantrel {

namespace {

// -1, 0 or 1 as the 0-terminated text at s, cut to t's length, compares with
// t (which holds no 0): 0 when s begins with t.
inline int ComparePrefix(const char16_t* s, std::u16string_view t) {
  for (size_t i = 0; i < t.size(); ++i) {
    if (s[i] != t[i]) return s[i] < t[i] ? -1 : 1;
  }
  return 0;
}

// Order of 0-terminated texts.
inline int CompareText(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == 0) return 0;
  }
}

// True when the run of characters of kind `in_run` at a begins with the one
// at b's (b's run is a prefix of a's).
template <typename InRun>
bool RunBegins(const char16_t* a, const char16_t* b, InRun in_run) {
  for (;; ++a, ++b) {
    if (!in_run(*b)) return true;
    if (*a != *b) return false;
  }
}

}  // namespace

bool NameIndexBuilder::FirstTime(std::string_view folded) {
  // A multiplicative hash of 8 bytes at a time (a byte at a time is a chain
  // of multiplications as long as the address).
  uint64_t x = folded.size();
  size_t i = 0;
  for (; i + 8 <= folded.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, folded.data() + i, 8);
    x = (x ^ w) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, folded.data() + i, folded.size() - i);
  x = (x ^ tail) * 0x9E3779B97F4A7C15ull;
  const uint32_t h = static_cast<uint32_t>(x >> 32);
  // A slot holds the hash and the address's number + 1 (0: free), so that
  // most probes touch one slot and no text.
  const size_t count = seen_offsets_.size() - 1;
  if (seen_slots_.size() < 2 * (count + 1)) {
    std::vector<uint64_t> slots(std::max<size_t>(64, seen_slots_.size() * 2), 0);
    const size_t mask = slots.size() - 1;
    for (uint64_t slot : seen_slots_) {
      if (!slot) continue;
      size_t at = static_cast<uint32_t>(slot >> 32) & mask;
      while (slots[at]) at = (at + 1) & mask;
      slots[at] = slot;
    }
    seen_slots_.swap(slots);
  }
  const size_t mask = seen_slots_.size() - 1;
  size_t at = h & mask;
  for (; seen_slots_[at]; at = (at + 1) & mask) {
    const uint64_t slot = seen_slots_[at];
    if (static_cast<uint32_t>(slot >> 32) != h) continue;
    const uint32_t i = static_cast<uint32_t>(slot) - 1;
    if (std::string_view(seen_bytes_.data() + seen_offsets_[i],
                         seen_offsets_[i + 1] - seen_offsets_[i]) == folded)
      return false;
  }
  seen_slots_[at] = (uint64_t{h} << 32) | (count + 1);
  seen_bytes_.append(folded);
  seen_offsets_.push_back(static_cast<uint32_t>(seen_bytes_.size()));
  return true;
}

void NameIndexBuilder::Add(const NamedAddress& row, std::string_view folded_address) {
  if (!FirstTime(folded_address)) return;
  addresses_.Add(row.address, folded_address);
  display_bytes_.append(row.display_name);
  display_offsets_.push_back(static_cast<uint32_t>(display_bytes_.size()));
  if (rows_ > 0 && row.names == last_names_ && row.readings == last_readings_) {
    // The same names as the row before (another address of the card): its
    // keys stand for this row too.
    for (auto [list, from] : {std::pair{&words_, last_words_}, std::pair{&han_, last_han_},
                              std::pair{&kana_, last_kana_}}) {
      for (size_t i = from; i < list->size(); ++i) ++(*list)[i].rows;
    }
    ++rows_;
    return;
  }
  last_names_ = row.names;
  last_readings_ = row.readings;
  last_words_ = words_.size();
  last_han_ = han_.size();
  last_kana_ = kana_.size();
  AddNames(row, rows_++);
}

void NameIndexBuilder::AddNames(const NamedAddress& row, uint32_t row_number) {
  // Every name and reading, folded, each followed by a 0.
  row_text_.clear();
  row_starts_.clear();
  size_t names = 0;
  for (const auto* list : {&row.names, &row.readings}) {
    for (const std::u16string& name : *list) {
      if (names++ == kMaxNamesPerRow) break;
      FoldName(std::u16string_view(name).substr(0, kMaxNameLength), &folded_);
      row_starts_.push_back(static_cast<uint32_t>(row_text_.size()));
      row_text_.append(folded_);
      row_text_.push_back(0);
    }
  }
  if (row_text_.empty()) return;
  const std::u16string_view all(row_text_);
  const char16_t* base = row_text_.data();

  // Word starts, and among them the Han and kana ones that can be spelled.
  row_words_.clear();
  row_han_.clear();
  row_kana_.clear();
  for (size_t s = 0; s < row_starts_.size(); ++s) {
    const size_t begin = row_starts_[s];
    const size_t end = all.find(char16_t{0}, begin);
    const std::u16string_view name = all.substr(begin, end - begin);
    for (size_t i = 0; i < name.size(); ++i) {
      if (!IsWordStart(name, i)) continue;
      const uint32_t pos = static_cast<uint32_t>(begin + i);
      row_words_.push_back({pos, row_number, 1, 0});
      const std::u16string_view rest = all.substr(pos);
      uint32_t letters = 0;
      if (IsHan(name[i])) {
        PinyinHeads(rest, &letters, second_);
        if (letters) row_han_.push_back({pos, row_number, 1, letters});
      } else if (IsKana(name[i])) {
        RomajiHeads(rest, &letters, second_);
        if (letters) row_kana_.push_back({pos, row_number, 1, letters});
      }
    }
  }

  // Drop what a longer key of the row already finds: a key whose text
  // begins another key's (equal ones included; the later is kept).
  auto by_text = [base](const Start& a, const Start& b) {
    const int c = CompareText(base + a.pos, base + b.pos);
    return c != 0 ? c < 0 : a.pos < b.pos;
  };
  auto drop_contained = [base](std::vector<Start>* keys, auto less, auto contains) {
    std::sort(keys->begin(), keys->end(), less);
    size_t kept = 0;
    for (size_t i = 0; i < keys->size(); ++i) {
      if (i + 1 < keys->size() && contains(base + (*keys)[i + 1].pos, base + (*keys)[i].pos))
        continue;
      (*keys)[kept++] = (*keys)[i];
    }
    keys->resize(kept);
  };
  drop_contained(&row_words_, by_text, [](const char16_t* a, const char16_t* b) {
    return RunBegins(a, b, [](char16_t c) { return c != 0; });
  });
  auto han_less = [base](const Start& a, const Start& b) {
    for (const char16_t *x = base + a.pos, *y = base + b.pos;; ++x, ++y) {
      const char16_t cx = IsHan(*x) ? *x : 0, cy = IsHan(*y) ? *y : 0;
      if (cx != cy) return cx < cy;
      if (cx == 0) return a.pos < b.pos;
    }
  };
  drop_contained(&row_han_, han_less,
                 [](const char16_t* a, const char16_t* b) { return RunBegins(a, b, IsHan); });
  // Kana spellings depend on what follows (きゃ, ー), so only equal runs
  // are dropped.
  auto kana_equal = [](const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
      const char16_t ca = IsKana(*a) ? *a : 0, cb = IsKana(*b) ? *b : 0;
      if (ca != cb) return false;
      if (ca == 0) return true;
    }
  };
  auto kana_less = [base](const Start& a, const Start& b) {
    for (const char16_t *x = base + a.pos, *y = base + b.pos;; ++x, ++y) {
      const char16_t cx = IsKana(*x) ? *x : 0, cy = IsKana(*y) ? *y : 0;
      if (cx != cy) return cx < cy;
      if (cx == 0) return a.pos < b.pos;
    }
  };
  drop_contained(&row_kana_, kana_less, kana_equal);

  // Keep the names that some key points into, and move the keys over.
  for (size_t s = 0; s < row_starts_.size(); ++s) {
    const uint32_t begin = row_starts_[s];
    const uint32_t end = static_cast<uint32_t>(all.find(char16_t{0}, begin));
    auto inside = [&](const Start& k) { return k.pos >= begin && k.pos < end; };
    const bool used = std::any_of(row_words_.begin(), row_words_.end(), inside) ||
                      std::any_of(row_han_.begin(), row_han_.end(), inside) ||
                      std::any_of(row_kana_.begin(), row_kana_.end(), inside);
    if (!used) continue;
    const uint32_t moved = static_cast<uint32_t>(text_.size());
    text_.append(all.substr(begin, end - begin + 1));
    auto move = [&](std::vector<Start>& from, std::vector<Start>* to) {
      for (const Start& k : from) {
        if (inside(k)) to->push_back({moved + (k.pos - begin), k.row, 1, k.letters});
      }
    };
    move(row_words_, &words_);
    move(row_han_, &han_);
    move(row_kana_, &kana_);
  }
}

std::shared_ptr<const NameIndex> NameIndexBuilder::Build() {
  auto index = std::make_shared<NameIndex>();
  index->addresses_ = addresses_.Build();
  const std::vector<uint32_t>& rank = index->addresses_->rank_;
  index->display_bytes_ = std::move(display_bytes_);
  index->display_offsets_ = std::move(display_offsets_);
  index->text_ = std::move(text_);
  index->display_bytes_.shrink_to_fit();
  index->display_offsets_.shrink_to_fit();
  index->text_.shrink_to_fit();
  const char16_t* text = index->text_.data();

  // Word keys by their text. The first four characters as one number make
  // most comparisons one integer comparison.
  struct Item {
    uint64_t head;
    uint32_t pos;
    uint32_t start;  // in words_
  };
  std::vector<Item> items;
  items.reserve(words_.size());
  size_t keys = 0;
  for (const Start& s : words_) {
    uint64_t head = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
      const char16_t c = ended ? 0 : text[s.pos + i];
      ended = ended || c == 0;
      head = (head << 16) | c;
    }
    items.push_back({head, s.pos, static_cast<uint32_t>(&s - words_.data())});
    keys += s.rows;
  }
  // Many keys: a stable radix sort by the heads (16 bits a pass; words_ is
  // in text order, so equal heads stay in text order), then a comparison
  // sort of each run of equal heads whose texts go on past them. Few keys:
  // one comparison sort (the radix passes cost 65,536 counters each).
  if (items.size() < 4096) {
    std::sort(items.begin(), items.end(), [text](const Item& a, const Item& b) {
      if (a.head != b.head) return a.head < b.head;
      const int c = CompareText(text + a.pos, text + b.pos);
      return c != 0 ? c < 0 : a.pos < b.pos;
    });
  } else {
    std::vector<Item> other(items.size());
    std::vector<uint32_t> count(65537);
    for (int shift = 0; shift < 64; shift += 16) {
      std::fill(count.begin(), count.end(), 0u);
      for (const Item& i : items) ++count[((i.head >> shift) & 0xFFFF) + 1];
      if (count[((items[0].head >> shift) & 0xFFFF) + 1] == items.size()) continue;
      for (size_t d = 1; d < count.size(); ++d) count[d] += count[d - 1];
      for (const Item& i : items) other[count[(i.head >> shift) & 0xFFFF]++] = i;
      items.swap(other);
    }
    for (size_t i = 0; i < items.size();) {
      size_t j = i + 1;
      while (j < items.size() && items[j].head == items[i].head) ++j;
      if (j - i > 1 && (items[i].head & 0xFFFF) != 0) {
        std::sort(items.begin() + i, items.begin() + j, [text](const Item& a, const Item& b) {
          const int c = CompareText(text + a.pos + 4, text + b.pos + 4);
          return c != 0 ? c < 0 : a.pos < b.pos;
        });
      }
      i = j;
    }
  }
  // Each start once for every row that has its names.
  index->words_.reserve(keys);
  for (const Item& i : items) {
    const Start& s = words_[i.start];
    for (uint32_t r = s.row; r < s.row + s.rows; ++r) index->words_.push_back({s.pos, rank[r]});
  }

  // Spelled starts into 26 lists by letter, in text order within each.
  const std::u16string_view all(index->text_);
  auto bucket = [&rank, all](const std::vector<Start>& starts, auto heads, auto group_of,
                             std::vector<NameIndex::SpelledKey>* keys, NameIndex::Buckets* first) {
    first->fill(0);
    for (const Start& s : starts) {
      for (uint32_t l = 0; l < 26; ++l) (*first)[l + 1] += ((s.letters >> l) & 1) * s.rows;
    }
    for (int l = 0; l < 26; ++l) (*first)[l + 1] += (*first)[l];
    keys->resize((*first)[26]);
    NameIndex::Buckets fill = *first;
    uint32_t letters = 0, second[26];
    for (const Start& s : starts) {
      heads(all.substr(s.pos), &letters, second);
      const uint32_t group = group_of(s.pos);
      for (uint32_t l = 0; l < 26; ++l) {
        if (!((s.letters >> l) & 1)) continue;
        for (uint32_t r = s.row; r < s.row + s.rows; ++r)
          (*keys)[fill[l]++] = {s.pos, rank[r], second[l], group};
      }
    }
  };
  // Han runs group by their first two characters; a run longer than that
  // is marked so, as the matcher then reads on in the text.
  auto spelled = [](char16_t c) { return IsHan(c) && ReadingsOf(c).count != 0; };
  bucket(
      han_, PinyinHeads,
      [all, spelled](uint32_t pos) {
        const uint32_t c1 = spelled(all[pos + 1]) ? all[pos + 1] : 0;
        return (uint32_t{all[pos]} << 16) | c1;
      },
      &index->han_, &index->han_first_);
  for (NameIndex::SpelledKey& k : index->han_) {
    if ((k.group & 0xFFFF) && spelled(all[k.pos + 2])) k.next |= NameIndex::kLonger;
  }
  // Kana runs group by equal runs.
  std::unordered_map<std::u16string_view, uint32_t> runs;
  bucket(
      kana_, RomajiHeads,
      [all, &runs](uint32_t pos) {
        size_t end = pos;
        while (IsKana(all[end])) ++end;
        return runs.emplace(all.substr(pos, end - pos), static_cast<uint32_t>(runs.size()))
            .first->second;
      },
      &index->kana_, &index->kana_first_);
  for (auto [keys, first] : {std::pair{&index->han_, &index->han_first_},
                             std::pair{&index->kana_, &index->kana_first_}}) {
    for (uint32_t l = 0; l < 26; ++l) {
      std::sort(keys->begin() + (*first)[l], keys->begin() + (*first)[l + 1],
                [](const NameIndex::SpelledKey& a, const NameIndex::SpelledKey& b) {
                  return a.group != b.group ? a.group < b.group : a.pos < b.pos;
                });
    }
  }

  // Start empty again.
  *this = NameIndexBuilder();
  return index;
}

size_t NameIndex::MemoryBytes() const {
  return addresses_->MemoryBytes() + display_bytes_.capacity() +
         display_offsets_.capacity() * sizeof(uint32_t) + text_.capacity() * sizeof(char16_t) +
         words_.capacity() * sizeof(Key) +
         (han_.capacity() + kana_.capacity()) * sizeof(SpelledKey);
}

void NameMatcher::Match(const NameIndex& index, std::string_view folded_token,
                        std::u16string_view wide_token, std::vector<uint32_t>* out) {
  out->clear();
  const size_t n = index.size();
  if (n == 0) return;
  bits_.assign((n + 63) / 64, 0);
  auto mark = [this](uint32_t rank) { bits_[rank >> 6] |= uint64_t{1} << (rank & 63); };
  auto marked = [this](uint32_t rank) { return (bits_[rank >> 6] >> (rank & 63)) & 1; };

  // The address begins with the token: one run of the keys in byte order.
  const SearchIndex& ix = index.addresses();
  const size_t len = folded_token.size();
  auto prefix = [&](uint32_t e) { return ix.key(e).substr(0, len); };
  auto lo = std::lower_bound(ix.by_key_.begin(), ix.by_key_.end(), folded_token,
                             [&](uint32_t e, std::string_view t) { return prefix(e) < t; });
  auto hi = std::upper_bound(lo, ix.by_key_.end(), folded_token,
                             [&](std::string_view t, uint32_t e) { return t < prefix(e); });
  for (auto it = lo; it != hi; ++it) mark(ix.rank_[*it]);

  // A name read from one of its word starts begins with the token.
  FoldName(wide_token, &folded_);
  const char16_t* text = index.text_.data();
  if (!folded_.empty()) {
    const std::u16string_view t(folded_);
    const auto& words = index.words_;
    auto wlo = std::lower_bound(words.begin(), words.end(), t,
                                [text](const NameIndex::Key& k, std::u16string_view t) {
                                  return ComparePrefix(text + k.pos, t) < 0;
                                });
    auto whi = std::upper_bound(wlo, words.end(), t,
                                [text](std::u16string_view t, const NameIndex::Key& k) {
                                  return ComparePrefix(text + k.pos, t) > 0;
                                });
    for (auto it = wlo; it != whi; ++it) mark(it->rank);
  }

  // Pinyin and romaji: Latin letters only (ü stands for pinyin's v; romaji
  // also has "-" for the long mark and "'" after n; pinyin has blanks and
  // "'" between its syllables, kept as one separator between letters).
  spelled_.clear();
  pinyin_.clear();
  bool pinyin = !folded_.empty() && folded_.size() <= kMaxSpelledToken;
  bool romaji = pinyin;
  bool apart = false;  // a separator since the last letter
  for (char16_t c : folded_) {
    if (!pinyin && !romaji) break;
    if ((c >= u'a' && c <= u'z') || c == 0xFC) {
      if (apart && !pinyin_.empty()) pinyin_.push_back(kPinyinSeparator);
      apart = false;
      const char letter = c == 0xFC ? 'v' : static_cast<char>(c);
      pinyin_.push_back(letter);
      spelled_.push_back(letter);
      if (c == 0xFC) romaji = false;
    } else if (c == u'\'' || c == u' ') {
      apart = true;
      if (c == u' ') romaji = false;
      else spelled_.push_back('\'');
    } else if (c == u'-') {
      spelled_.push_back('-');
      pinyin = false;
    } else {
      pinyin = romaji = false;
    }
  }
  if (pinyin_.empty()) pinyin = false;
  if (spelled_.empty() || spelled_[0] < 'a' || spelled_[0] > 'z') romaji = false;
  using Key = NameIndex::SpelledKey;
  // One and two letters: the lists and their sets are exact.
  auto short_token = [&](const std::string& token, const Key* k, const Key* end) {
    const uint32_t second = token.size() > 1 ? 1u << RomajiCharBit(token[1]) : 0;
    for (; k != end; ++k) {
      if (token.size() == 1 || (k->next & second)) mark(k->rank);
    }
  };
  if (pinyin) {
    const size_t l = static_cast<size_t>(pinyin_[0] - 'a');
    const Key* k = index.han_.data() + index.han_first_[l];
    const Key* end = index.han_.data() + index.han_first_[l + 1];
    if (pinyin_.size() <= 2) {
      short_token(pinyin_, k, end);
    } else {
      // Runs with the same first (first two) characters: one step each.
      auto mark_all = [&](const Key* from, const Key* to) {
        for (; from != to; ++from) mark(from->rank);
      };
      while (k != end) {
        const Key* group = k;
        const char16_t c0 = static_cast<char16_t>(k->group >> 16);
        while (k != end && (k->group >> 16) == c0) ++k;
        bool done = false;
        const uint64_t reach0 = PinyinStep(c0, pinyin_, 1, &done);
        if (done) mark_all(group, k);
        if (done || !reach0) continue;
        for (const Key* j = group; j != k;) {
          const Key* pair = j;
          const char16_t c1 = static_cast<char16_t>(j->group & 0xFFFF);
          while (j != k && (j->group & 0xFFFF) == c1) ++j;
          if (c1 == 0) continue;  // one character, already too short
          done = false;
          const uint64_t reach1 = PinyinStep(c1, pinyin_, reach0, &done);
          if (done) mark_all(pair, j);
          if (done || !reach1) continue;
          for (const Key* e = pair; e != j; ++e) {  // the rest from the text
            if (!(e->next & NameIndex::kLonger) || marked(e->rank)) continue;
            uint64_t reach = reach1;
            for (const char16_t* c = text + e->pos + 2; reach && !done; ++c) {
              if (ReadingsOf(*c).count == 0) break;
              reach = PinyinStep(*c, pinyin_, reach, &done);
            }
            if (done) mark(e->rank);
            done = false;
          }
        }
      }
    }
  }
  if (romaji) {
    const size_t l = static_cast<size_t>(spelled_[0] - 'a');
    const Key* k = index.kana_.data() + index.kana_first_[l];
    const Key* end = index.kana_.data() + index.kana_first_[l + 1];
    if (spelled_.size() <= 2) {
      short_token(spelled_, k, end);
    } else {
      // One check for every equal run.
      const uint32_t second = 1u << RomajiCharBit(spelled_[1]);
      const size_t text_size = index.text_.size();
      while (k != end) {
        const Key* group = k;
        while (k != end && k->group == group->group) ++k;
        if (!(group->next & second)) continue;
        if (RomajiMatches(std::u16string_view(text + group->pos, text_size - group->pos),
                          spelled_)) {
          for (; group != k; ++group) mark(group->rank);
        }
      }
    }
  }

  // The marked ranks in order are the rows in the pop-up's order.
  const std::vector<uint32_t>& order = ix.order_;
  for (size_t w = 0; w < bits_.size(); ++w) {
    for (uint64_t word = bits_[w]; word; word &= word - 1) {
      out->push_back(order[w * 64 + static_cast<size_t>(__builtin_ctzll(word))]);
    }
  }
}

}  // namespace vantrel
