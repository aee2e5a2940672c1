#include "platform/thread_check.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace vantrel {
namespace {

#ifdef NDEBUG
std::atomic<bool> checks{false};
#else
std::atomic<bool> checks{true};
#endif

}  // namespace

void EnableThreadChecks() { checks = true; }

bool ThreadChecksEnabled() { return checks.load(std::memory_order_relaxed); }

void WrongThread(const char* file, int line, const char* claim) {
  std::fprintf(stderr, "%s:%d: called on the wrong thread (%s)\n", file, line, claim);
  std::fflush(stderr);
  std::abort();
}

}  // namespace vantrel
