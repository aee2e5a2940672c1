#include "complete/recipients.h"

#include <algorithm>

namespace vantrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// "Name <addr>" -> addr; a piece without a '<' is the address itself. The
// last '<' counts, since a quoted name may hold one; a missing '>' takes the
// rest of the piece.
std::string_view Address(std::string_view piece) {
  const size_t open = piece.rfind('<');
  if (open == std::string_view::npos) return piece;
  std::string_view inner = piece.substr(open + 1);
  const size_t close = inner.find('>');
  if (close != std::string_view::npos) inner = inner.substr(0, close);
  return Trim(inner);
}

// False when a quote is left open: the text is then split at every comma.
bool Split(std::string_view text, bool honour_quotes, std::vector<std::string_view>* out) {
  out->clear();
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      if (honour_quotes && text[i] == '"') quoted = !quoted;
      if (text[i] != ',' || quoted) continue;
    }
    std::string_view addr = Address(Trim(text.substr(start, i - start)));
    if (!addr.empty()) out->push_back(addr);
    start = i + 1;
  }
  return !quoted;
}

}  // namespace

std::vector<std::string_view> SplitRecipients(std::string_view text) {
  std::vector<std::string_view> out;
  if (!Split(text, true, &out)) Split(text, false, &out);
  return out;
}

size_t CountRecipients(std::string_view text,
                       const std::function<void(std::string_view, std::string*)>& fold,
                       int64_t now, UsageBook* book) {
  std::vector<std::string> keys;
  std::string key;
  for (std::string_view address : SplitRecipients(text)) {
    fold(address, &key);
    keys.push_back(key);
  }
  // Sorted and made unique: a message to many addresses costs n log n, and
  // the first kMaxAddresses distinct ones (in the text's order) are kept.
  std::vector<size_t> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
  std::vector<size_t> first;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i == 0 || keys[order[i]] != keys[order[i - 1]]) first.push_back(order[i]);
  }
  std::sort(first.begin(), first.end());
  if (first.size() > UsageBook::kMaxAddresses) first.resize(UsageBook::kMaxAddresses);
  for (size_t i : first) book->RecordUse(keys[i], now);
  return first.size();
}

}  // namespace vantrel
