// Feeds arbitrary names, readings, addresses and tokens to the name index.
// The matcher must give the rows the literal reference matcher gives, each
// once and in sorted order, and the one- and two-letter sets that place a
// name in the spelled lists must be exactly the tokens the spelling
// matchers accept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "complete/name_index.h"
#include "complete/name_reference.h"
#include "complete/name_text.h"
#include "complete/pinyin.h"
#include "complete/romaji.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Bytes below 0xF0 pick from characters the matcher treats specially; 0xF0
// and above take the next two bytes as any UTF-16 unit.
const char16_t kAlphabet[] =
    u"abcdeghijklmnoprstuvwxyzAZ  -'.,ü1"
    u"あいうえおかきくしじちっつてとにはひふみゃゅょらりるをんぁぃぇぉゔー"
    u"アカサタナハマヤラワンッャｱｶｻﾀﾅﾊｯｬﾞﾟ゛゜\u3099"
    u"张三長长单單曾吕女重山田佐藤太郎千葉服部々";

std::u16string Decode(const uint8_t*& p, const uint8_t* end, uint8_t stop1, uint8_t stop2) {
  std::u16string out;
  while (p < end && *p != stop1 && *p != stop2 && out.size() < 24) {
    const uint8_t b = *p++;
    if (b >= 0xF0 && end - p >= 2) {
      out += static_cast<char16_t>(p[0] | (p[1] << 8));
      p += 2;
    } else {
      out += kAlphabet[b % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
    }
  }
  while (p < end && *p != stop1 && *p != stop2) ++p;  // the rest of an overlong one
  return out;
}

// The one- and two-character tokens a matcher accepts, as PinyinHeads and
// RomajiHeads describe them.
template <typename Matches, typename Heads>
void CheckHeads(std::u16string_view run, Matches matches, Heads heads, const char* extra) {
  uint32_t first = 0, second[26];
  heads(run, &first, second);
  const std::string seconds = std::string("abcdefghijklmnopqrstuvwxyz") + extra;
  for (int a = 0; a < 26; ++a) {
    const char one[1] = {static_cast<char>('a' + a)};
    if (matches(run, std::string_view(one, 1)) != static_cast<bool>((first >> a) & 1)) abort();
    for (size_t b = 0; b < seconds.size(); ++b) {
      const char two[2] = {one[0], seconds[b]};
      if (matches(run, std::string_view(two, 2)) != static_cast<bool>((second[a] >> b) & 1))
        abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Rows separated by '\n', the row's address first, then names separated
  // by '|'; after a 0 byte, tokens separated by '\n'.
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  std::vector<NamedAddress> rows;
  int heads_checked = 0;  // 700 calls each: a few per input
  while (p < end && *p != 0 && rows.size() < 8) {
    NamedAddress r;
    r.address = Utf8(Decode(p, end, '|', '\n'));
    for (int k = 0; p < end && *p == '|' && k < 4; ++k) {
      ++p;
      std::u16string name = Decode(p, end, '|', '\n');
      if (name.size() > 6) name.resize(6);  // the reference spells every way
      (k % 2 ? r.readings : r.names).push_back(name);
      std::u16string folded;
      FoldName(name, &folded);
      for (size_t i = 0; i < folded.size() && heads_checked < 4; ++i) {
        if (!IsWordStart(folded, i)) continue;
        ++heads_checked;
        const std::u16string_view rest = std::u16string_view(folded).substr(i);
        if (IsHan(folded[i])) CheckHeads(rest, PinyinMatches, PinyinHeads, "");
        if (IsKana(folded[i])) CheckHeads(rest, RomajiMatches, RomajiHeads, "-'");
      }
    }
    while (p < end && *p != '\n' && *p != 0) ++p;
    if (p < end && *p == '\n') ++p;
    rows.push_back(std::move(r));
  }
  NameIndexBuilder builder;
  for (const NamedAddress& r : rows) builder.Add(r, UpperAscii(r.address));
  const auto index = builder.Build();
  const ReferenceMatcher reference(rows);
  if (index->size() != reference.rows().size()) abort();
  NameMatcher matcher;
  std::vector<uint32_t> got;
  if (p < end) ++p;
  while (p < end) {
    const std::u16string token = Decode(p, end, '\n', '\n');
    if (p < end) ++p;
    const std::string folded = UpperAscii(Utf8(token));
    matcher.Match(*index, folded, token, &got);
    if (got != reference.Match(folded, token)) abort();
  }
  return 0;
}
