#include "watch/wildcard.h"

namespace vantrel {

bool MatchWildcard(const char* text, const char* pattern) {
  // The literal head before the first "*" must match exactly.
  while (*text && *pattern != '*') {
    if (*pattern != '?' && *pattern != *text) return false;
    ++pattern;
    ++text;
  }
  // Greedy walk with one resume point: the last "*" seen and the text
  // position it would absorb next. Each mismatch moves that position by one,
  // so the walk is quadratic at worst and never recursive.
  const char* resume_pattern = nullptr;
  const char* resume_text = nullptr;
  while (*text) {
    if (*pattern == '*') {
      ++pattern;
      if (!*pattern) return true;
      resume_pattern = pattern;
      resume_text = text + 1;
    } else if (*pattern == '?' || *pattern == *text) {
      ++pattern;
      ++text;
    } else {
      // Reached only after a "*" (the head loop above consumed everything
      // up to the first one), so the resume point is set.
      pattern = resume_pattern;
      text = resume_text++;
    }
  }
  while (*pattern == '*') ++pattern;
  return !*pattern;
}

}  // namespace vantrel
