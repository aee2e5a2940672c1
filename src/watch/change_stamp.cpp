#include "watch/change_stamp.h"

#include <atomic>

namespace vantrel {
namespace {

// 64 bits: no wrap-around to reason about. On the 32-bit build the increment
// is one locked cmpxchg8b loop, never a hidden lock.
std::atomic<ChangeStamp> lastStamp{0};
static_assert(std::atomic<ChangeStamp>::is_always_lock_free, "stamps must be interlocked");

}  // namespace

ChangeStamp NextChangeStamp() { return lastStamp.fetch_add(1) + 1; }

ChangeStamp LatestChangeStamp() { return lastStamp.load(); }

}  // namespace vantrel
