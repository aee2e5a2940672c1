// Screen captures for the demo and for tests that leave a picture for a
// person to look at.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// Saves the screen rectangle as a 24-bit BMP.
bool SaveScreenRect(const RECT& rect, const std::string& path);

}  // namespace standin
