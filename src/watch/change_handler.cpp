#include "watch/change_handler.h"

#include <cstdio>
#include <cstdlib>

#include "platform/process_exit.h"
#include "platform/thread_check.h"

namespace vantrel {

CDirChangeHandler::CDirChangeHandler() = default;

// A reference beyond the owner's is a watch (or its queued records) that
// would deliver to freed memory: the owner broke the contract in the header.
// Checked where the thread claims are (debug builds, tests); not while the
// process exits, when the watcher leaks its entries, references and all.
CDirChangeHandler::~CDirChangeHandler() {
  if (ThreadChecksEnabled() && refs_ > 1 && !ProcessIsExiting()) {
    std::fprintf(stderr, "a change handler was destroyed while a watch still targets it\n");
    std::fflush(stderr);
    std::abort();
  }
}

LONG CDirChangeHandler::AddRef() { return ::InterlockedIncrement(&refs_); }

LONG CDirChangeHandler::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

// directory_lock_: the string is written by the worker and may be read on
// any thread; a string is not atomic.
void CDirChangeHandler::AssignCurrentDirectory(const std::string& directory) {
  AutoLock lock(directory_lock_);
  current_directory_ = directory;
}

std::string CDirChangeHandler::CurrentDirectory() {
  AutoLock lock(directory_lock_);
  return current_directory_;
}

}  // namespace vantrel
