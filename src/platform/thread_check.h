// Code that may run on one thread only says which, and the claim is checked
// in debug builds and in the tests (which switch the checks on); a release
// build of the plug-in pays one load of a flag. A failed check ends the
// process at once: a wrong thread there is a race or a deadlock in waiting.
#pragma once

namespace vantrel {

// Tests: switch the checks on for the whole process.
void EnableThreadChecks();
bool ThreadChecksEnabled();
[[noreturn]] void WrongThread(const char* file, int line, const char* claim);

}  // namespace vantrel

#define VANTREL_ASSERT_THREAD(claim)                                              \
  do {                                                                            \
    if (::vantrel::ThreadChecksEnabled() && !(claim))                             \
      ::vantrel::WrongThread(__FILE__, __LINE__, #claim);                         \
  } while (0)
