// Token bounds in the field's text: the text is a list of tokens separated by
// any byte of a separator set; the token around the caret is what the list
// matches and what a taken entry replaces. Byte positions, nothing trimmed.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vantrel {

// The bytes that end a token. Built from the separator string the way the
// code page reads it: only its single-byte characters are separators. A
// double-byte character in that string adds neither of its bytes, since the
// search for a separator tests one byte of the text at a time, and either
// byte of that character, taken alone, is part of other characters of the
// text (a lead byte starts many of them; a trail byte may be an ASCII
// letter).
class SeparatorSet {
 public:
  SeparatorSet() { is_sep_.fill(false); }
  // lead_bytes[b] is true when b starts a double-byte character in the code
  // page that the separators are written in.
  SeparatorSet(std::string_view separators, const std::array<bool, 256>& lead_bytes);
  // For separator strings without double-byte characters.
  explicit SeparatorSet(std::string_view single_byte_separators);

  bool Contains(unsigned char c) const { return c != 0 && is_sep_[c]; }

 private:
  std::array<bool, 256> is_sep_;
};

// The index just after the separator at or before pos (0 when there is none);
// a pos at or past the end starts the walk at the last byte.
int FindTokenStart(std::string_view text, const SeparatorSet& seps, int pos);

// The index of the first separator at or after pos, or the text's length
// (pos itself when pos is at or past the end).
int FindTokenEnd(std::string_view text, const SeparatorSet& seps, int pos);

// The token bounds [start, end) around caret index p, with p clamped into the
// text first so that an odd caret index never reaches outside it.
struct TokenBounds {
  int start;
  int end;
};
TokenBounds TokenAround(std::string_view text, const SeparatorSet& seps, int caret);

}  // namespace vantrel
