// Change stamps: the order in which the watcher handed out its change
// notifications, process-wide, and what a reading of the watched folder has
// already seen.
//
// How a burst of changes costs one reading:
//  - The worker thread stamps each notification just before it posts it,
//    after it took the change from the system. So the change a notification
//    reports happened before its stamp was handed out.
//  - A reading of the folder notes the latest stamp handed out before it
//    looks at the first file. Every notification stamped up to then reports
//    a change that happened before the reading began, which the reading
//    therefore sees; such a notification, delivered later, can be dropped.
//  - A change made after the reading began is taken from the system, and so
//    stamped, after the reading noted its stamp: its notification carries a
//    newer stamp and causes one more reading.
// Nothing waits and nothing is deferred: the first notification of a burst
// reads at once, and the ones queued behind it find themselves covered.
#pragma once

#include <cstdint>

namespace vantrel {

// 0 means "not stamped": a handler operation called other than for a
// delivered notification.
using ChangeStamp = uint64_t;

// Any thread (the worker, in practice): the next stamp, by an interlocked
// increment; never 0, strictly increasing.
ChangeStamp NextChangeStamp();

// Any thread: the last stamp handed out, 0 before the first.
ChangeStamp LatestChangeStamp();

// What the latest reading of a folder has covered. Used on one thread.
class ReadingCoverage {
 public:
  // A reading starts now; `latest` is LatestChangeStamp(), taken before the
  // reading looks at anything. Coverage only grows: a reading that started
  // earlier (an outer one, around a nested reading) cannot shrink it.
  void ReadingStarts(ChangeStamp latest) {
    if (latest > covered_) covered_ = latest;
  }
  // Whether a notification with this stamp reports a change that a reading
  // begun since has seen. An unstamped one is never covered.
  bool Covers(ChangeStamp stamp) const { return stamp != 0 && stamp <= covered_; }

 private:
  ChangeStamp covered_ = 0;
};

}  // namespace vantrel
