#include "watch/change_filter.h"

#include "watch/wildcard.h"

namespace vantrel {
namespace {

bool NamePasses(const char* path, const char* pattern, uint32_t flags, const LeadBytes& lead) {
  if (!path) return false;
  return MatchWildcard(path + FilterNameOffset(path, flags, lead), pattern);
}

}  // namespace

bool IsAlwaysAccepted(int kind) {
  return kind == NK_READ_ERROR || kind == NK_WATCH_STARTED || kind == NK_WATCH_STOPPED ||
         kind == NK_CHANGES_LOST;
}

size_t FilterNameOffset(const char* path, uint32_t filter_flags, const LeadBytes& lead) {
  if (!path || !(filter_flags & FF_NAME_ONLY)) return 0;
  return AfterLastBackslash(path, lead);
}

bool PassesIncludeFilter(int kind, const char* name, const char* new_name,
                         const char* include_pattern, uint32_t filter_flags,
                         const LeadBytes& lead) {
  if (IsAlwaysAccepted(kind)) return true;
  if (kind < NK_ADDED || kind > NK_RENAMED) return false;
  if (!include_pattern || !*include_pattern) return true;
  if (NamePasses(name, include_pattern, filter_flags, lead)) return true;
  return kind == NK_RENAMED && NamePasses(new_name, include_pattern, filter_flags, lead);
}

}  // namespace vantrel
