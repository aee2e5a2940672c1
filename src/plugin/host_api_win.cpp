// Binding against the real host: the process's executable exports the BKA_*
// functions by name.
#include <windows.h>

#include "plugin/host_api.h"

namespace vantrel {
namespace {

class Win32HostLookup : public HostLookup {
 public:
  void* HostModule() const override { return GetModuleHandleA(nullptr); }
  void* Find(void* module, const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  }
  // The version gate is defined by these two functions' semantics (lstrcmpA
  // is a locale comparison, not strcmp), so they are used as they are.
  int Length(const char* s) const override { return lstrlenA(s); }
  int Compare(const char* a, const char* b) const override { return lstrcmpA(a, b); }
};

}  // namespace

int CHostApi::Bind() {
  const Win32HostLookup lookup;
  return BindWith(lookup);
}

}  // namespace vantrel
