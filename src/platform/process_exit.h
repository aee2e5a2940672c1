// Whether the process is shutting down (ExitProcess has begun): the system
// has ended or is ending the other threads, and the loader lock is held, so
// nothing may wait for another thread any more.
#pragma once

namespace vantrel {

bool ProcessIsExiting();

}  // namespace vantrel
