// Reading a window's text.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel {

// The whole text of a window, however long: recipient lists of a few
// hundred addresses are ordinary, and a cut list would send the message to
// fewer people than the user typed. Empty when the window has none.
std::string WindowText(HWND hwnd);

}  // namespace vantrel
