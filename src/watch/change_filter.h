// What a watch reports, and which reports reach the handler: the kinds of
// change notification and the include test that the dispatcher applies on
// the delivering thread before the handler's own AcceptChange.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/multibyte.h"

namespace vantrel {

// Kinds of change notification, as carried by a CChangeNotification.
enum : int {
  NK_ADDED = 1,
  NK_REMOVED = 2,
  NK_MODIFIED = 3,
  NK_RENAMED = 4,
  NK_READ_ERROR = 5,
  NK_WATCH_STARTED = 6,
  NK_WATCH_STOPPED = 7,
  // The system dropped changes of the watched directory (its change buffer
  // overflowed, or a read completed without data). Nobody can say which
  // files changed, so it bypasses the include test like the watch notices do
  // and reaches the handler as a modification of the directory itself.
  NK_CHANGES_LOST = 8,
};

// Filter flag: the include test looks only at the part of a path after its
// last backslash.
constexpr uint32_t FF_NAME_ONLY = 8;

// Kinds that are never filtered: the watch notices and lost changes.
bool IsAlwaysAccepted(int kind);

// Where the include test starts in a path: with FF_NAME_ONLY, just after the
// last backslash (0 if there is none); a trail byte of a double-byte
// character that happens to equal '\' is not a separator. Without the flag, 0.
size_t FilterNameOffset(const char* path, uint32_t filter_flags, const LeadBytes& lead);

// The wildcard stage of the filter decision for kinds 1 to 4: the name (from
// its offset) must match the include pattern; for a rename the new name may
// match instead. A null or empty pattern lets everything through. Kinds that
// IsAlwaysAccepted() pass; unknown kinds do not.
bool PassesIncludeFilter(int kind, const char* name, const char* new_name,
                         const char* include_pattern, uint32_t filter_flags,
                         const LeadBytes& lead);

}  // namespace vantrel
