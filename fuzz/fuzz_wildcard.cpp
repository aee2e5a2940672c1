// MatchWildcard on arbitrary text and pattern bytes: no crash, no read past
// either terminator, and agreement with a memoised reference matcher.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "watch/wildcard.h"

namespace {
bool Reference(const std::string& t, const std::string& p) {
  // dp[i][j]: t[i..] matches p[j..]
  std::vector<std::vector<char>> dp(t.size() + 1, std::vector<char>(p.size() + 1, 0));
  dp[t.size()][p.size()] = 1;
  for (size_t i = t.size() + 1; i-- > 0;) {
    for (size_t j = p.size(); j-- > 0;) {
      if (p[j] == '*') {
        dp[i][j] = dp[i][j + 1] || (i < t.size() && dp[i + 1][j]);
      } else {
        dp[i][j] = i < t.size() && (p[j] == '?' || p[j] == t[i]) && dp[i + 1][j + 1];
      }
    }
  }
  return dp[0][0];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 512) return 0;
  // First byte: length of the text; the rest of the input is the pattern.
  // Embedded NULs end the strings early, as in the C strings callers pass.
  if (size == 0) return 0;
  const char* rest = reinterpret_cast<const char*>(data) + 1;
  const size_t rest_size = size - 1;
  const size_t text_size = data[0] < rest_size ? data[0] : rest_size;
  std::string text(rest, text_size);
  std::string pattern(rest + text_size, rest_size - text_size);
  text = text.c_str();
  pattern = pattern.c_str();
  if (vantrel::MatchWildcard(text.c_str(), pattern.c_str()) != Reference(text, pattern)) abort();
  return 0;
}
