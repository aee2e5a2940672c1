// The usage store's reader on arbitrary bytes: no crash, no read past the
// input, a book within its limits, and a book that is read back the same
// after writing it (what the next send would write). The first byte can ask
// for the magic, the body size and both checksums to be made right, or
// mutations would hardly ever get past the header.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "complete/usage_store.h"

using vantrel::ParseUsageStore;
using vantrel::SerializeUsageStore;
using vantrel::UsageBook;
using vantrel::UsageStoreState;

namespace {
void PutAt(std::string* s, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void MakeHeaderSound(std::string* s, uint8_t mode) {
  if (s->size() < vantrel::kUsageStoreHeaderBytes) return;
  std::memcpy(&(*s)[0], "VTRLUSG\x1A", 8);
  const size_t header_size =
      static_cast<unsigned char>((*s)[10]) | static_cast<unsigned char>((*s)[11]) << 8;
  if (header_size <= s->size()) {
    const std::string_view body = std::string_view(*s).substr(header_size);
    if (mode & 4) PutAt(s, 16, static_cast<uint32_t>(body.size()));
    PutAt(s, 20, vantrel::Crc32(body));
  }
  PutAt(s, 28, vantrel::Crc32(std::string_view(*s).substr(0, 28)));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > vantrel::kUsageStoreMaxBytes) return 0;
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) MakeHeaderSound(&input, data[0]);
  UsageBook book;
  const UsageStoreState state = ParseUsageStore(input, &book);
  const bool read = state == UsageStoreState::kRead || state == UsageStoreState::kNewerRead;
  if (!read && book.size() != 0) abort();
  if (book.size() > UsageBook::kMaxAddresses) abort();
  for (const auto& [key, e] : book.entries()) {
    if (key.empty() || key.size() > UsageBook::kMaxKeyBytes) abort();
    if (!std::isfinite(e.score) || e.score < 0 || e.score > UsageBook::kMaxScore) abort();
  }
  if (read) {
    UsageBook again;
    const std::string bytes = SerializeUsageStore(book);
    if (ParseUsageStore(bytes, &again) != UsageStoreState::kRead) abort();
    if (SerializeUsageStore(again) != bytes) abort();
  }
  return 0;
}
