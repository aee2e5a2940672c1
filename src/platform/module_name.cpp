#include "platform/module_name.h"

namespace vantrel {

std::string FileBaseName(std::string_view path, const std::array<bool, 256>& lead) {
  size_t name = 0;
  size_t dot = std::string_view::npos;
  // Forward, a whole character at a time: walking back from the end cannot
  // tell a trail byte from a character of its own.
  for (size_t i = 0; i < path.size();) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (lead[c] && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (c == '\\' || c == '/') {
      name = i + 1;
      dot = std::string_view::npos;
    } else if (c == '.') {
      dot = i;
    }
    ++i;
  }
  const size_t end = dot == std::string_view::npos ? path.size() : dot;
  return std::string(path.substr(name, end - name));
}

}  // namespace vantrel
