#include "platform/settings.h"

#include <windows.h>

#include <string_view>

#include "platform/ansi.h"
#include "platform/handles.h"
#include "platform/multibyte.h"

namespace vantrel {

SettingsStore::SettingsStore(std::string company, std::string app_name)
    : company_(std::move(company)), app_name_(std::move(app_name)) {}

std::string SettingsStore::KeyPath(const char* section) const {
  std::string path = "software\\";
  if (!company_.empty()) path += company_ + "\\";
  path += app_name_;
  path += "\\";
  path += section;
  return path;
}

int SettingsStore::GetInt(const char* section, const char* name, int default_value) const {
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return default_value;
  }
  UniqueHKey key(raw);
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return default_value;
  }
  return static_cast<int>(value);
}

bool SettingsStore::SetInt(const char* section, const char* name, int value) const {
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  UniqueHKey key(raw);
  DWORD v = static_cast<DWORD>(value);
  return ::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof v) == ERROR_SUCCESS;
}

std::string ModuleBaseName(void* module) {
  char path[MAX_PATH + 1] = {};
  DWORD n = ::GetModuleFileNameA(static_cast<HMODULE>(module), path, MAX_PATH);
  return FileBaseName(std::string_view(path, n), AnsiLeadBytes());
}

}  // namespace vantrel
