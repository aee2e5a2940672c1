#include "platform/window_text.h"

namespace vantrel {

std::string WindowText(HWND hwnd) {
  const int n = ::GetWindowTextLengthA(hwnd);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  const int got = ::GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

}  // namespace vantrel
