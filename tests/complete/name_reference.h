// For the name matcher's tests and benchmark: generated cards (Latin,
// Chinese and Japanese names, some with readings, one or two addresses
// each), tokens typed the ways users type them, and a slow reference
// matcher that does literally what the rules say, card by card.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "addrbook/named_address.h"

namespace vantrel::testing {

// UTF-16 <-> UTF-8 (the native stand-in for the code page) and the native
// stand-in for the code page's upper-casing (A-Z only).
std::string Utf8(std::u16string_view s);
std::u16string Utf16(std::string_view utf8);
std::string UpperAscii(std::string_view s);

// One card's worth of rows: the same names on each of its addresses.
struct Card {
  std::u16string fn, family, given, nickname;
  std::u16string family_reading, given_reading;
  std::vector<std::string> emails;
};

// `count` cards from a seed; a few repeat an earlier address in another
// letter case.
std::vector<Card> MakeCards(size_t count, unsigned seed);
// The rows the card reader would make, in reading order.
std::vector<NamedAddress> RowsOf(const std::vector<Card>& cards);
// The cards as a vCard 3.0 book in UTF-8, as a mail client writes them.
std::string VCardText(const std::vector<Card>& cards);

struct Token {
  std::string kind;  // what it was made from, for messages
  std::u16string wide;
  std::string folded;  // UTF-8, upper-cased A-Z
};
// Tokens of every kind, made from the cards: words, pinyin (whole,
// initials, mixed), kana, romaji, addresses, and a few random letters.
std::vector<Token> MakeTokens(const std::vector<Card>& cards, size_t count, unsigned seed);

// The literal matcher: every row's every name folded and split per token.
class ReferenceMatcher {
 public:
  explicit ReferenceMatcher(const std::vector<NamedAddress>& rows);
  // The matching rows (numbered after dropping repeated addresses, the
  // first wins), sorted by address with the "C" case-insensitive order,
  // ties in row order.
  std::vector<uint32_t> Match(std::string_view folded_token, std::u16string_view wide_token) const;
  const std::vector<NamedAddress>& rows() const { return rows_; }

 private:
  struct Spelled {
    std::u16string name;  // folded
    std::vector<size_t> han_starts;
    std::vector<std::vector<std::string>> romaji;  // per kana word start: every spelling
  };
  std::vector<NamedAddress> rows_;
  std::vector<std::string> folded_addresses_;
  std::vector<std::vector<Spelled>> names_;  // per row
};

// Every full spelling of the kana at the start of `run`, each cut to
// `max_length` letters.
std::vector<std::string> RomajiSpellings(std::u16string_view run, size_t max_length);

}  // namespace vantrel::testing
