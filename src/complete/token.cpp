#include "complete/token.h"

#include <algorithm>

namespace vantrel {

SeparatorSet::SeparatorSet(std::string_view separators, const std::array<bool, 256>& lead_bytes) {
  is_sep_.fill(false);
  for (size_t i = 0; i < separators.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(separators[i]);
    if (c == 0) break;
    if (lead_bytes[c]) {
      // A double-byte character (or a lead byte cut off at the end): no
      // byte of it is a separator, and its trail byte is not read alone.
      if (i + 1 < separators.size() && separators[i + 1] == '\0') break;
      ++i;
      continue;
    }
    is_sep_[c] = true;
  }
}

SeparatorSet::SeparatorSet(std::string_view single_byte_separators) {
  is_sep_.fill(false);
  for (char ch : single_byte_separators) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == 0) break;
    is_sep_[c] = true;
  }
}

int FindTokenStart(std::string_view text, const SeparatorSet& seps, int pos) {
  const int n = static_cast<int>(text.size());
  int i = pos >= n ? n - 1 : pos;
  for (; i >= 0; --i) {
    if (seps.Contains(static_cast<unsigned char>(text[i]))) return i + 1;
  }
  return 0;
}

int FindTokenEnd(std::string_view text, const SeparatorSet& seps, int pos) {
  const int n = static_cast<int>(text.size());
  int i = std::max(pos, 0);
  if (pos >= n) return pos;
  while (i < n && !seps.Contains(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

TokenBounds TokenAround(std::string_view text, const SeparatorSet& seps, int caret) {
  const int n = static_cast<int>(text.size());
  int p = std::min(std::max(caret, 0), n);
  return {FindTokenStart(text, seps, p - 1), FindTokenEnd(text, seps, p)};
}

}  // namespace vantrel
