// The address-book parser against the plain reading of the same bytes: the
// input is fed in chunks whose sizes come from the input's first bytes, and
// the addresses must equal those of the byte-by-byte text-mode reading of
// the whole file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "addrbook/address_parser.h"

namespace {

std::vector<std::string> Plain(const std::string& file) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (size_t i = 0; i < file.size(); ++i) {
    const char c = file[i];
    if (c == '\x1a') break;
    if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') continue;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);

  std::vector<std::string> out;
  for (const std::string& l : lines) {
    if (l.find("EMAIL;PREF") == std::string::npos) continue;
    const size_t colon = l.find(':');
    std::string address = colon == std::string::npos ? l : l.substr(colon + 1);
    address = address.substr(0, address.find('\0'));
    out.push_back(address);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Four bytes of chunk sizes (1..256, repeating), the rest is the file.
  const uint8_t* sizes = data;
  const std::string file(reinterpret_cast<const char*>(data + 4), size - 4);

  std::vector<std::string> got;
  vantrel::CAddressParser parser(got);
  size_t pos = 0;
  for (size_t i = 0; pos < file.size(); ++i) {
    const size_t n = std::min<size_t>(sizes[i % 4] + 1u, file.size() - pos);
    if (!parser.Feed(file.data() + pos, n)) break;
    pos += n;
  }
  parser.Finish();
  if (got != Plain(file)) std::abort();
  return 0;
}
