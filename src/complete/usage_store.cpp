#include "complete/usage_store.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

constexpr char kMagic[8] = {'V', 'T', 'R', 'L', 'U', 'S', 'G', '\x1A'};
constexpr size_t kRecordFixedBytes = 21;
constexpr uint8_t kFlagHidden = 1;

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

uint64_t Get(std::string_view b, size_t at, size_t n) {
  uint64_t v = 0;
  for (size_t i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

void Put(std::string* out, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutAt(std::string* out, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) (*out)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The records of a sound header's body into *book; false at the first
// record that does not fit or is not sound.
bool ReadRecords(std::string_view body, uint64_t count, bool exact, UsageBook* book) {
  size_t at = 0;
  for (uint64_t n = 0; n < count; ++n) {
    if (body.size() - at < kRecordFixedBytes) return false;
    const size_t size = Get(body, at, 2);
    const size_t key_len = Get(body, at + 2, 2);
    if (size < kRecordFixedBytes + key_len || size > body.size() - at) return false;
    if (exact && size != kRecordFixedBytes + key_len) return false;
    UsageBook::Entry e;
    e.hidden = (Get(body, at + 4, 1) & kFlagHidden) != 0;
    e.time = static_cast<int64_t>(Get(body, at + 5, 8));
    const uint64_t bits = Get(body, at + 13, 8);
    std::memcpy(&e.score, &bits, sizeof e.score);
    if (!book->Restore(body.substr(at + kRecordFixedBytes, key_len), e)) return false;
    at += size;
  }
  // Version 1 writes nothing after its records; a later one may.
  return !exact || at == body.size();
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  const auto& t = CrcTable();
  uint32_t c = 0xFFFFFFFFu;
  for (char ch : bytes) c = t[(c ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

UsageStoreState ParseUsageStore(std::string_view bytes, UsageBook* book) {
  *book = UsageBook();
  if (bytes.size() < kUsageStoreHeaderBytes || std::memcmp(bytes.data(), kMagic, 8) != 0 ||
      Crc32(bytes.substr(0, 28)) != Get(bytes, 28, 4)) {
    return UsageStoreState::kCorrupt;
  }
  const uint32_t version = static_cast<uint32_t>(Get(bytes, 8, 2));
  if (version == 0) return UsageStoreState::kCorrupt;
  const bool newer = version > kUsageStoreVersion;
  const UsageStoreState bad = newer ? UsageStoreState::kNewerUnreadable : UsageStoreState::kCorrupt;
  const size_t header_size = Get(bytes, 10, 2);
  const uint64_t count = Get(bytes, 12, 4);
  const uint64_t body_size = Get(bytes, 16, 4);
  if (header_size < kUsageStoreHeaderBytes || (!newer && header_size != kUsageStoreHeaderBytes) ||
      header_size > bytes.size() || body_size != bytes.size() - header_size) {
    return bad;
  }
  const std::string_view body = bytes.substr(header_size);
  if (Crc32(body) != Get(bytes, 20, 4)) return bad;
  if (!newer && count > UsageBook::kMaxAddresses) return bad;
  if (!ReadRecords(body, count, !newer, book)) {
    *book = UsageBook();
    return bad;
  }
  // A newer version may keep more addresses than this one.
  book->Trim();
  return newer ? UsageStoreState::kNewerRead : UsageStoreState::kRead;
}

std::string SerializeUsageStore(const UsageBook& book) {
  std::vector<const std::pair<const std::string, UsageBook::Entry>*> items;
  items.reserve(book.size());
  for (const auto& item : book.entries()) items.push_back(&item);
  std::sort(items.begin(), items.end(), [](auto a, auto b) { return a->first < b->first; });

  std::string out(kUsageStoreHeaderBytes, '\0');
  for (const auto* item : items) {
    const std::string& key = item->first;
    const UsageBook::Entry& e = item->second;
    Put(&out, kRecordFixedBytes + key.size(), 2);
    Put(&out, key.size(), 2);
    Put(&out, e.hidden ? kFlagHidden : 0, 1);
    Put(&out, static_cast<uint64_t>(e.time), 8);
    uint64_t bits = 0;
    std::memcpy(&bits, &e.score, sizeof bits);
    Put(&out, bits, 8);
    out += key;
  }
  std::memcpy(&out[0], kMagic, 8);
  std::string header;
  Put(&header, kUsageStoreVersion, 2);
  Put(&header, kUsageStoreHeaderBytes, 2);
  Put(&header, items.size(), 4);
  Put(&header, out.size() - kUsageStoreHeaderBytes, 4);
  out.replace(8, header.size(), header);
  PutAt(&out, 20, Crc32(std::string_view(out).substr(kUsageStoreHeaderBytes)));
  PutAt(&out, 24, 0);
  PutAt(&out, 28, Crc32(std::string_view(out).substr(0, 28)));
  return out;
}

}  // namespace vantrel
