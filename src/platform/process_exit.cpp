#include "platform/process_exit.h"

#include <windows.h>

namespace vantrel {

bool ProcessIsExiting() {
  using Fn = BOOLEAN(WINAPI*)();
  static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
  return fn && fn();
}

}  // namespace vantrel
