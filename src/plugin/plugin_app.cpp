#include "plugin/plugin_app.h"

#include <cstring>

#include "platform/handles.h"
#include "plugin/globals.h"

namespace vantrel {
namespace {

// "宋体" in code page 936; passed to the ANSI font functions as bytes.
constexpr char kFieldFontFace[] = "\xCB\xCE\xCC\xE5";
constexpr int kFieldFontTenthsOfPoint = 90;

}  // namespace

int FieldFontHeight(int pixels_per_inch) {
  return -(pixels_per_inch * kFieldFontTenthsOfPoint / 720);
}

BOOL CPluginApp::InitInstance(HINSTANCE module) {
  if (!HostApi.Bind()) return FALSE;

  LOGFONTA font = {};
  {
    ScopedWindowDC screen(nullptr);
    font.lfHeight = FieldFontHeight(screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96);
  }
  font.lfWeight = FW_NORMAL;
  std::memcpy(font.lfFaceName, kFieldFontFace, sizeof kFieldFontFace);
  // A font that cannot be created leaves the fields with the system font.
  FieldFont.reset(CreateFontIndirectA(&font));

  name_ = ModuleBaseName(module);
  settings_ = std::make_unique<SettingsStore>(std::string(), name_);
  return TRUE;
}

}  // namespace vantrel
