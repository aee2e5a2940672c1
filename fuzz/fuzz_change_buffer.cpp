// ChangeBufferReader on arbitrary buffer contents and delivered byte counts:
// it must stay inside the delivered bytes (AddressSanitizer watches a heap
// copy of exactly that size), and a kept record must be a well-formed
// old-name record that links to the bytes behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "watch/change_buffer.h"

namespace {
const vantrel::LeadBytes GbkLead = [] {
  vantrel::LeadBytes lead{};
  for (int c = 0x81; c <= 0xFE; ++c) lead[c] = true;
  return lead;
}();

std::string Narrow(const char16_t* units, size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += static_cast<char>(units[i] & 0xFF);
  return s;
}

class Sink : public vantrel::ChangeSink {
 public:
  size_t calls = 0;
  void Added(const std::string& p) override { Check(p); }
  void Removed(const std::string& p) override { Check(p); }
  void Modified(const std::string& p) override { Check(p); }
  void Renamed(const std::string& o, const std::string& n) override {
    Check(o);
    Check(n);
  }
  void Check(const std::string& p) {
    ++calls;
    // directory "D:\AB" + "\" + at most 260 converted units
    if (p.size() > 6 + vantrel::kMaxNameUnits || p.compare(0, 6, "D:\\AB\\") != 0) abort();
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > vantrel::kChangeBufferSize) return 0;
  // The buffer is exactly as large as the input, so any read past the
  // delivered bytes is a heap overflow.
  std::unique_ptr<unsigned char[]> buf(new unsigned char[size ? size : 1]);
  if (size) std::memcpy(buf.get(), data, size);
  Sink sink;
  vantrel::ChangeBufferReader reader(buf.get(), size, size);
  const size_t kept = reader.Walk("D:\\AB", Narrow, GbkLead, sink);
  if (kept) {
    uint32_t next = 0, action = 0, len = 0;
    std::memcpy(&next, buf.get(), 4);
    std::memcpy(&action, buf.get() + 4, 4);
    std::memcpy(&len, buf.get() + 8, 4);
    if (kept % 4 || next != kept || action != 4 || 12 + len > kept || kept > 12 + 520 + 3) abort();
  }
  // Records are at least 12 bytes apart or consumed in pairs; a walk over n
  // bytes cannot report more than n changes.
  if (sink.calls > size) abort();
  return 0;
}
