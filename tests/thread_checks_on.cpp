// Linked into every Wine test program: the claims the code makes about its
// threads (VANTREL_ASSERT_THREAD) are checked in every test, as in a debug
// build.
#include "platform/thread_check.h"

namespace {

const bool kEnabled = [] {
  vantrel::EnableThreadChecks();
  return true;
}();

}  // namespace
