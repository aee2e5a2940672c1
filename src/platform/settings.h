// The settings store: integer values under
// HKEY_CURRENT_USER\software\<application name>\<section>.
//
// Reading or writing opens the keys and creates the missing ones. A value
// that is missing, of another type or unreadable gives the caller's default;
// a failed write is dropped (the plug-in has nowhere to report it).
#pragma once

#include <string>

namespace vantrel {

class SettingsStore {
 public:
  // An empty company name puts the application's key directly under
  // "software".
  SettingsStore(std::string company, std::string app_name);

  int GetInt(const char* section, const char* name, int default_value) const;
  bool SetInt(const char* section, const char* name, int value) const;

  const std::string& app_name() const { return app_name_; }

 private:
  std::string KeyPath(const char* section) const;

  std::string company_;
  std::string app_name_;
};

// The file name of a module without folder and extension ("Vantrel" for
// ...\Vantrel.DLL).
std::string ModuleBaseName(void* module);

}  // namespace vantrel
