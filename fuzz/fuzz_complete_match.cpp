// Feeds arbitrary entries, tokens and caret positions to the window-free
// completion code: the index must agree with the literal algorithm (an
// upper-cased copy of every entry, a prefix test, a sort by the "C"
// case-insensitive order), token bounds must stay inside the text, and a
// caret converted between characters and bytes (GBK lead bytes) must come
// back to the same character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "complete/search_index.h"
#include "complete/suggest_math.h"
#include "complete/text_units.h"
#include "complete/token.h"

using namespace vantrel;

namespace {
std::string Fold(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Layout: entries separated by '\n', then '\t', then tokens separated by
  // '\n'. Each token also serves as a text with ',' separators.
  std::string in(reinterpret_cast<const char*>(data), size);
  size_t tab = in.find('\t');
  std::string list = in.substr(0, tab);
  std::string rest = tab == std::string::npos ? std::string() : in.substr(tab + 1);
  std::vector<std::string> entries;
  size_t pos = 0;
  while (pos <= list.size() && entries.size() < 2000) {
    size_t nl = list.find('\n', pos);
    if (nl == std::string::npos) nl = list.size();
    entries.push_back(list.substr(pos, nl - pos));
    pos = nl + 1;
  }
  SearchIndexBuilder builder;
  for (const auto& e : entries) builder.Add(e, Fold(e));
  auto index = builder.Build();
  PrefixMatcher matcher;
  std::vector<uint32_t> got;
  SeparatorSet comma(",");
  LeadBytes gbk{};
  for (int b = 0x81; b <= 0xFE; ++b) gbk[b] = true;
  pos = 0;
  while (pos <= rest.size()) {
    size_t nl = rest.find('\n', pos);
    if (nl == std::string::npos) nl = rest.size();
    std::string token = rest.substr(pos, nl - pos);
    pos = nl + 1;
    for (int caret : {-3, 0, static_cast<int>(token.size() / 2), static_cast<int>(token.size()),
                      static_cast<int>(token.size()) + 5}) {
      TokenBounds b = TokenAround(token, comma, caret);
      if (b.start < 0 || b.start > b.end || b.end > static_cast<int>(token.size())) abort();
    }
    if (token.size() <= 256) {
      const int n = static_cast<int>(token.size());
      const int chars = CharIndexOfByte(token, n, gbk);
      for (int c = 0; c <= chars; ++c) {
        const int at = ByteIndexOfChar(token, c, gbk);
        if (at < 0 || at > n || CharIndexOfByte(token, at, gbk) != c) abort();
      }
    }
    if (token.empty()) continue;
    matcher.Match(*index, -1, Fold(token), &got);
    std::string t = Fold(token);
    std::vector<uint32_t> want;
    for (size_t i = 0; i < entries.size(); ++i)
      if (Fold(entries[i]).compare(0, t.size(), t) == 0 && entries[i].size() >= t.size())
        want.push_back(static_cast<uint32_t>(i));
    if (want.size() != got.size()) abort();
    for (size_t i = 1; i < got.size(); ++i)
      if (CompareNoCaseC(index->entry(got[i - 1]), index->entry(got[i])) > 0) abort();
    std::sort(got.begin(), got.end());
    if (got != want) abort();
  }
  return 0;
}
