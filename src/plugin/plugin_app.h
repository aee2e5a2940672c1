// The application object: binds the host, creates the field font and selects
// the settings store when the host loads the module.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/settings.h"

namespace vantrel {

class CPluginApp {
 public:
  // Runs at process attach, before any callback. FALSE refuses the load:
  // outside a host we were built for nothing may run.
  BOOL InitInstance(HINSTANCE module);

  // The module's file name without folder and extension; the caption of the
  // About box and the name of the settings key.
  const std::string& name() const { return name_; }
  const SettingsStore& settings() const { return *settings_; }
  bool initialized() const { return settings_ != nullptr; }

 private:
  std::string name_;
  std::unique_ptr<SettingsStore> settings_;
};

// Height of the field font for a screen of the given vertical pixels per
// inch: 9 points, as a negative character height.
int FieldFontHeight(int pixels_per_inch);

}  // namespace vantrel
