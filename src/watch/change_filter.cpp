#include "watch/change_filter.h"

#include "watch/wildcard.h"

namespace vantrel {
namespace {

// Position after the last separator, walking whole characters from the start:
// only a forward walk knows whether a byte is a lead byte, a trail byte or a
// character of its own.
size_t AfterLastBackslash(const char* path, LeadBytePredicate is_lead, bool* ends_with) {
  size_t after = 0;
  size_t i = 0;
  bool last_was_separator = false;
  while (path[i]) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '\\') {
      after = i + 1;
      last_was_separator = true;
      ++i;
    } else {
      last_was_separator = false;
      // A lead byte at the very end has no trail; it stays one character.
      i += (is_lead && is_lead(c) && path[i + 1]) ? 2 : 1;
    }
  }
  if (ends_with) *ends_with = last_was_separator;
  return after;
}

bool NamePasses(const char* path, const char* pattern, uint32_t flags, LeadBytePredicate is_lead) {
  if (!path) return false;
  return MatchWildcard(path + FilterNameOffset(path, flags, is_lead), pattern);
}

}  // namespace

bool IsAlwaysAccepted(int kind) {
  return kind == NK_READ_ERROR || kind == NK_WATCH_STARTED || kind == NK_WATCH_STOPPED ||
         kind == NK_CHANGES_LOST;
}

size_t FilterNameOffset(const char* path, uint32_t filter_flags, LeadBytePredicate is_lead) {
  if (!path || !(filter_flags & FF_NAME_ONLY)) return 0;
  return AfterLastBackslash(path, is_lead, nullptr);
}

bool PassesIncludeFilter(int kind, const char* name, const char* new_name,
                         const char* include_pattern, uint32_t filter_flags,
                         LeadBytePredicate is_lead) {
  if (IsAlwaysAccepted(kind)) return true;
  if (kind < NK_ADDED || kind > NK_RENAMED) return false;
  if (!include_pattern || !*include_pattern) return true;
  if (NamePasses(name, include_pattern, filter_flags, is_lead)) return true;
  return kind == NK_RENAMED && NamePasses(new_name, include_pattern, filter_flags, is_lead);
}

bool EndsWithBackslash(const char* path, LeadBytePredicate is_lead) {
  bool ends_with = false;
  AfterLastBackslash(path, is_lead, &ends_with);
  return ends_with;
}

}  // namespace vantrel
