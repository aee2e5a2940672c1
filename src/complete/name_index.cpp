#include "complete/name_index.h"

#include <algorithm>

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

// The letters that begin a spelling of the text at `text`.
template <typename Matches>
uint32_t FirstLetters(std::u16string_view text, Matches matches) {
  uint32_t letters = 0;
  char token[1];
  for (int l = 0; l < 26; ++l) {
    token[0] = static_cast<char>('a' + l);
    if (matches(text, std::string_view(token, 1))) letters |= 1u << l;
  }
  return letters;
}

}  // namespace

void NameIndexBuilder::Add(const NamedAddress& row, std::string_view folded_address) {
  if (!seen_.emplace(folded_address).second) return;
  addresses_.Add(row.address, folded_address);
  display_bytes_.append(row.display_name);
  display_offsets_.push_back(static_cast<uint32_t>(display_bytes_.size()));
  AddNames(row, rows_++);
}

void NameIndexBuilder::AddNames(const NamedAddress& row, uint32_t row_number) {
  // Every name and reading, folded, each followed by a 0.
  row_text_.clear();
  row_starts_.clear();
  for (const auto* list : {&row.names, &row.readings}) {
    for (const std::u16string& name : *list) {
      FoldName(name, &folded_);
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
      row_words_.push_back({pos, row_number, 0});
      const std::u16string_view rest = all.substr(pos);
      if (IsHan(name[i])) {
        const uint32_t letters = FirstLetters(rest, PinyinMatches);
        if (letters) row_han_.push_back({pos, row_number, letters});
      } else if (IsKana(name[i])) {
        const uint32_t letters = FirstLetters(rest, RomajiMatches);
        if (letters) row_kana_.push_back({pos, row_number, letters});
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
  drop_contained(&row_han_, han_less, [](const char16_t* a, const char16_t* b) {
    return RunBegins(a, b, IsHan);
  });
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
        if (inside(k)) to->push_back({moved + (k.pos - begin), k.row, k.letters});
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
    NameIndex::Key key;
  };
  std::vector<Item> items;
  items.reserve(words_.size());
  for (const Start& s : words_) {
    uint64_t head = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
      const char16_t c = ended ? 0 : text[s.pos + i];
      ended = ended || c == 0;
      head = (head << 16) | c;
    }
    items.push_back({head, {s.pos, rank[s.row]}});
  }
  std::sort(items.begin(), items.end(), [text](const Item& a, const Item& b) {
    if (a.head != b.head) return a.head < b.head;
    const int c = CompareText(text + a.key.pos, text + b.key.pos);
    return c != 0 ? c < 0 : a.key.pos < b.key.pos;
  });
  index->words_.reserve(items.size());
  for (const Item& i : items) index->words_.push_back(i.key);

  // Spelled starts into 26 lists by letter, in text order within each.
  auto bucket = [&rank](const std::vector<Start>& starts, std::vector<NameIndex::Key>* keys,
                        NameIndex::Buckets* first) {
    first->fill(0);
    for (const Start& s : starts) {
      for (uint32_t l = 0; l < 26; ++l) (*first)[l + 1] += (s.letters >> l) & 1;
    }
    for (int l = 0; l < 26; ++l) (*first)[l + 1] += (*first)[l];
    keys->resize((*first)[26]);
    NameIndex::Buckets fill = *first;
    for (const Start& s : starts) {
      for (uint32_t l = 0; l < 26; ++l) {
        if ((s.letters >> l) & 1) (*keys)[fill[l]++] = {s.pos, rank[s.row]};
      }
    }
  };
  bucket(han_, &index->han_, &index->han_first_);
  bucket(kana_, &index->kana_, &index->kana_first_);

  // Start empty again.
  *this = NameIndexBuilder();
  return index;
}

size_t NameIndex::MemoryBytes() const {
  return addresses_->MemoryBytes() + display_bytes_.capacity() +
         display_offsets_.capacity() * sizeof(uint32_t) + text_.capacity() * sizeof(char16_t) +
         (words_.capacity() + han_.capacity() + kana_.capacity()) * sizeof(Key);
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
    auto wlo = std::lower_bound(words.begin(), words.end(), t, [text](const NameIndex::Key& k, std::u16string_view t) {
      return ComparePrefix(text + k.pos, t) < 0;
    });
    auto whi = std::upper_bound(wlo, words.end(), t, [text](std::u16string_view t, const NameIndex::Key& k) {
      return ComparePrefix(text + k.pos, t) > 0;
    });
    for (auto it = wlo; it != whi; ++it) mark(it->rank);
  }

  // Pinyin and romaji: Latin letters only (ü stands for pinyin's v; romaji
  // also has "-" for the long mark and "'" after n).
  spelled_.clear();
  bool pinyin = !folded_.empty() && folded_.size() <= kMaxSpelledToken;
  bool romaji = pinyin;
  for (char16_t c : folded_) {
    if (!pinyin && !romaji) break;
    if (c >= u'a' && c <= u'z') {
      spelled_.push_back(static_cast<char>(c));
    } else if (c == 0xFC) {
      spelled_.push_back('v');
      romaji = false;
    } else if (c == u'-' || c == u'\'') {
      spelled_.push_back(static_cast<char>(c));
      pinyin = false;
    } else {
      pinyin = romaji = false;
    }
  }
  if ((pinyin || romaji) && spelled_[0] >= 'a' && spelled_[0] <= 'z') {
    const size_t l = static_cast<size_t>(spelled_[0] - 'a');
    const size_t text_size = index.text_.size();
    auto spelled_run = [&](const std::vector<NameIndex::Key>& keys, const NameIndex::Buckets& first,
                           bool (*matches)(std::u16string_view, std::string_view)) {
      const NameIndex::Key* k = keys.data() + first[l];
      const NameIndex::Key* end = keys.data() + first[l + 1];
      if (spelled_.size() == 1) {  // the lists hold exactly these
        for (; k != end; ++k) mark(k->rank);
        return;
      }
      for (; k != end; ++k) {
        if (marked(k->rank)) continue;
        if (matches(std::u16string_view(text + k->pos, text_size - k->pos), spelled_)) mark(k->rank);
      }
    };
    if (pinyin) spelled_run(index.han_, index.han_first_, PinyinMatches);
    if (romaji) spelled_run(index.kana_, index.kana_first_, RomajiMatches);
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
