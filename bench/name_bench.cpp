// The name mode's matching at 100,000 generated cards (Latin, Chinese and
// Japanese names, some with readings, one or two addresses each):
//  1. building the index, beside building the plain address index of the
//     same rows;
//  2. the index's memory beside the bytes of the vCard books that would
//     hold those cards;
//  3. the time of one keystroke's match for each token length, beside the
//     plain address match (PrefixMatcher) of the same tokens in the same
//     run, the one-letter tokens on their own (the largest lists) and
//     syllable tokens ("zha", "zhangs");
//  4. every token's rows against the literal reference matcher.
// Natively: scripts/build.sh bench name_bench, then
// build/bench/bin/name_bench [cards] [tokens]; under Wine:
// scripts/wine-run.sh build/win/bin/name_bench.exe. `--check` compares the
// rows with the reference only, at 5,000 cards, for the tests.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "complete/name_index.h"
#include "complete/name_reference.h"
#include "complete/pinyin.h"
#include "complete/search_index.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The fastest of `repeat` runs of f, in milliseconds (for builds).
template <typename F>
double Fastest(int repeat, F f) {
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    const double t0 = NowMs();
    f();
    best = std::min(best, NowMs() - t0);
  }
  return best;
}

// The median of 5 runs of f, in milliseconds (for keystrokes).
template <typename F>
double Median(F f) {
  double t[5];
  for (double& x : t) {
    const double t0 = NowMs();
    f();
    x = NowMs() - t0;
  }
  std::sort(t, t + 5);
  return t[2];
}

// Compares every token's rows with the reference; returns the mismatches.
size_t Compare(const NameIndex& index, const ReferenceMatcher& reference,
               const std::vector<Token>& tokens, std::map<std::string, size_t>* by_kind) {
  NameMatcher m;
  std::vector<uint32_t> got;
  size_t bad = 0;
  for (const Token& t : tokens) {
    m.Match(index, t.folded, t.wide, &got);
    const std::vector<uint32_t> want = reference.Match(t.folded, t.wide);
    ++(*by_kind)[t.kind];
    if (got != want) {
      if (++bad <= 5)
        std::printf("  MISMATCH %s token \"%s\": %zu rows, reference %zu\n", t.kind.c_str(),
                    Utf8(t.wide).c_str(), got.size(), want.size());
    }
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc > 1 && std::strcmp(argv[1], "--check") == 0;
  const size_t card_count = check ? 5000 : argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const size_t token_count = check ? 400 : argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000;

  const std::vector<Card> cards = MakeCards(card_count, 2024);
  const std::vector<NamedAddress> rows = RowsOf(cards);
  const std::vector<Token> tokens = MakeTokens(cards, token_count, 99);
  std::vector<std::string> folded_addresses;
  for (const NamedAddress& r : rows) folded_addresses.push_back(UpperAscii(r.address));

  std::shared_ptr<const NameIndex> index;
  const double build_ms = Fastest(check ? 1 : 3, [&] {
    NameIndexBuilder b;
    for (size_t i = 0; i < rows.size(); ++i) b.Add(rows[i], folded_addresses[i]);
    index = b.Build();
  });

  if (check) {
    const ReferenceMatcher reference(rows);
    std::map<std::string, size_t> kinds;
    const size_t bad = Compare(*index, reference, tokens, &kinds);
    std::printf("name_bench --check: %zu cards, %zu rows, %zu tokens, %zu mismatches\n", card_count,
                index->size(), tokens.size(), bad);
    return bad == 0 ? 0 : 1;
  }

  // The plain address index of the same rows: the baseline.
  std::shared_ptr<const SearchIndex> plain;
  const double plain_build_ms = Fastest(3, [&] {
    SearchIndexBuilder b;
    for (size_t i = 0; i < index->size(); ++i)
      b.Add(index->addresses().entry(i), index->addresses().key(i));
    plain = b.Build();
  });

  const std::string book = VCardText(cards);
  std::printf("%zu cards, %zu rows (%zu addresses before collapsing)\n", card_count, index->size(),
              rows.size());
  std::printf("build:  name index %.1f ms   plain address index %.1f ms\n", build_ms,
              plain_build_ms);
  std::printf(
      "memory: name index %.2f MB   books (vCard 3.0, UTF-8) %.2f MB   ratio %.2f (goal <= 2)\n",
      index->MemoryBytes() / 1e6, book.size() / 1e6,
      static_cast<double>(index->MemoryBytes()) / static_cast<double>(book.size()));
  std::printf("        plain address index %.2f MB; pinyin table in the DLL %zu bytes\n",
              plain->MemoryBytes() / 1e6, PinyinTableBytes());

  // Per keystroke, by token length.
  NameMatcher names;
  PrefixMatcher prefix;
  std::vector<uint32_t> out;
  struct Stat {
    size_t count = 0;
    double name_sum = 0, name_max = 0, plain_sum = 0, rows = 0;
  };
  std::map<size_t, Stat> by_length;
  for (const Token& t : tokens) {
    const double tn = Median([&] { names.Match(*index, t.folded, t.wide, &out); });
    const size_t found = out.size();
    const double tp = Median([&] { prefix.Match(*plain, -1, t.folded, &out); });
    Stat& s = by_length[std::min<size_t>(t.wide.size(), 12)];
    ++s.count;
    s.name_sum += tn;
    s.name_max = std::max(s.name_max, tn);
    s.plain_sum += tp;
    s.rows += static_cast<double>(found);
  }
  std::printf("\nper keystroke (median of 5 per token), ms\n");
  std::printf("  length  tokens  name mean  name max  address-only mean  mean rows\n");
  double worst_mean = 0;
  size_t worst_length = 0;
  for (const auto& [length, s] : by_length) {
    const double mean = s.name_sum / static_cast<double>(s.count);
    if (mean > worst_mean) worst_mean = mean, worst_length = length;
    std::printf("  %6zu%s %6zu  %9.4f  %8.4f  %17.4f  %9.0f\n", length, length == 12 ? "+" : " ",
                s.count, mean, s.name_max, s.plain_sum / static_cast<double>(s.count),
                s.rows / static_cast<double>(s.count));
  }
  // One-letter tokens: the longest address runs and pinyin/romaji lists.
  double letter_max = 0, letter_plain = 0;
  char worst_letter = 'a';
  size_t letter_rows = 0;
  for (char c = 'a'; c <= 'z'; ++c) {
    const std::u16string wide(1, static_cast<char16_t>(c));
    const std::string folded(1, static_cast<char>(c - 32));
    const double tn = Median([&] { names.Match(*index, folded, wide, &out); });
    const size_t found = out.size();
    const double tp = Median([&] { prefix.Match(*plain, -1, folded, &out); });
    if (tn > letter_max) letter_max = tn, letter_plain = tp, worst_letter = c, letter_rows = found;
  }
  // Every syllable's first three letters, and every syllable with one more
  // letter: the spelled lists' longest checks.
  std::vector<std::string> spelled;
  for (size_t i = 0; i < PinyinSyllableCount(); ++i) {
    const std::string s(PinyinSyllable(static_cast<uint16_t>(i)));
    if (s.size() >= 3) spelled.push_back(s.substr(0, 3));
    spelled.push_back(s + "s");
  }
  std::sort(spelled.begin(), spelled.end());
  spelled.erase(std::unique(spelled.begin(), spelled.end()), spelled.end());
  double spelled_max = 0, spelled_sum = 0, spelled_plain = 0;
  std::string worst_spelled;
  for (const std::string& t : spelled) {
    const std::u16string wide(t.begin(), t.end());
    const std::string folded = UpperAscii(t);
    const double tn = Median([&] { names.Match(*index, folded, wide, &out); });
    spelled_plain += Median([&] { prefix.Match(*plain, -1, folded, &out); });
    spelled_sum += tn;
    if (tn > spelled_max) spelled_max = tn, worst_spelled = t;
  }
  std::printf("\nworst token length: %zu, mean %.4f ms per keystroke (goal <= 1 ms)\n",
              worst_length, worst_mean);
  std::printf(
      "syllable tokens (%zu: \"zha\", \"zhangs\", ...): mean %.4f ms, worst \"%s\" %.4f ms;"
      " address-only mean %.4f ms\n",
      spelled.size(), spelled_sum / static_cast<double>(spelled.size()), worst_spelled.c_str(),
      spelled_max, spelled_plain / static_cast<double>(spelled.size()));
  std::printf("worst single letter: \"%c\" %.4f ms (%zu rows); address-only %.4f ms\n",
              worst_letter, letter_max, letter_rows, letter_plain);

  // The same rows as the literal matcher.
  const double t0 = NowMs();
  const ReferenceMatcher reference(rows);
  std::map<std::string, size_t> kinds;
  const size_t bad = Compare(*index, reference, tokens, &kinds);
  std::printf("\nreference: %zu tokens (", tokens.size());
  for (const auto& [kind, n] : kinds) std::printf(" %s %zu", kind.c_str(), n);
  std::printf(" ), %zu mismatches, %.1f s\n", bad, (NowMs() - t0) / 1000);

  const double ratio = static_cast<double>(index->MemoryBytes()) / static_cast<double>(book.size());
  const double worst = std::max({worst_mean, letter_max, spelled_max});
  const bool fast = worst <= 1.0, small = ratio <= 2.0, same = bad == 0;
  std::printf("\n%s  slowest keystroke figure %.4f ms <= 1 ms\n", fast ? "PASS" : "FAIL", worst);
  std::printf("%s  index memory %.2fx the books' bytes <= 2x\n", small ? "PASS" : "FAIL", ratio);
  std::printf("%s  the same rows as the reference for every token\n", same ? "PASS" : "FAIL");
  std::printf("%s\n", fast && small && same ? "ALL GOALS PASS" : "SOME GOALS FAIL");
  return fast && small && same ? 0 : 1;
}
