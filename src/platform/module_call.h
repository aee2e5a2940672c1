// Calls into this module from outside it: the host's callbacks, the command
// callback, window and timer procedures. Each is one ModuleCall while it
// runs, so the module knows when its code is further up the thread's stack
// (a callback run from inside another's message loop), and none lets a C++
// exception or a failed allocation unwind into the host or the system's
// message dispatch, which cannot handle it: the call fails quietly and the
// next one runs normally.
#pragma once

namespace vantrel {

class ModuleCall {
 public:
  ModuleCall() { ++depth_; }
  ~ModuleCall() { --depth_; }
  ModuleCall(const ModuleCall&) = delete;
  ModuleCall& operator=(const ModuleCall&) = delete;

  // How many calls into this module are running on this thread, this one
  // included.
  static int Depth() { return depth_; }

 private:
  static thread_local int depth_;
};

// Runs `body` as one call into the module; `failed` when it threw.
template <class Result, class Body>
Result GuardedCall(Result failed, Body&& body) noexcept {
  ModuleCall call;
  try {
    return body();
  } catch (...) {
    return failed;
  }
}

}  // namespace vantrel
