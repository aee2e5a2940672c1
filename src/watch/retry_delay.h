// How long to wait before reading the address books again after a reading
// that another program kept from a book (it held the file open without
// sharing while it wrote it): 100 ms, then twice as long each time the book
// is still held, up to 5 s; after that nothing until the next change.
#pragma once

namespace vantrel {

constexpr unsigned kFirstRetryDelayMs = 100;
constexpr unsigned kLastRetryDelayMs = 5000;

// The delay after one of `previous_ms` (0: none yet); 0 when the retries
// are used up.
constexpr unsigned NextRetryDelay(unsigned previous_ms) {
  if (previous_ms == 0) return kFirstRetryDelayMs;
  if (previous_ms >= kLastRetryDelayMs) return 0;
  return previous_ms * 2 < kLastRetryDelayMs ? previous_ms * 2 : kLastRetryDelayMs;
}

}  // namespace vantrel
