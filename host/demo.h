// A scripted session in the stand-in host, for the demo and the end-to-end
// tests of the real DLL: opens a compose window, types a token with real
// keyboard input, captures the window with the suggestion list, and walks
// the list with Down to show what the plug-in offered.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "plugin_host.h"

namespace standin {

struct DemoOptions {
  std::string token = "a";
  std::string screenshot;  // .bmp path; empty: no capture
  // Live update: append a card with this address to liveBook while the
  // compose window is open, then type the token again.
  std::string liveAddress;
  std::string liveBook;
  std::string liveScreenshot;
};

// Returns the process exit code: 0 when everything was shown, 4 when the
// list did not appear or the live address was never offered.
int RunDemo(PluginModule& plugin, HWND main_window, const DemoOptions& options);

}  // namespace standin
