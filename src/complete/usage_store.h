// The bytes of the usage store, the file "<data folder><application name>
// .usage" that keeps a UsageBook between sessions. Free of window calls; the
// file itself is read and replaced by UsageFile.
//
// Layout (little-endian; version 1):
//   header, 32 bytes:
//     0   8  magic "VTRLUSG" and byte 0x1A
//     8   2  version (1)
//     10  2  header size in bytes (32): where the first record starts
//     12  4  number of records
//     16  4  body size: the bytes after the header, all of them
//     20  4  CRC-32 of the body
//     24  4  reserved, written as 0
//     28  4  CRC-32 of header bytes 0 to 27
//   then one record per address:
//     0   2  record size in bytes, this field included (21 + key length)
//     2   2  key length, 1 to 512
//     4   1  flags: bit 0 hidden; the other bits written as 0
//     5   8  time of the last use, seconds since 1970-01-01 UTC (signed)
//     13  8  score at that time (IEEE 754 double): 1 per use, halved every
//            30 days
//     21  -  key: the address upper-cased in the ANSI code page, no NUL
//
// A later version may lengthen the header and the records and add bytes
// after the records, but keeps everything above where it is; that is what
// lets this reader take a newer store's addresses. A newer store is never
// rewritten, since this version would drop what it does not know.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "complete/usage_book.h"

namespace vantrel {

constexpr uint16_t kUsageStoreVersion = 1;
constexpr size_t kUsageStoreHeaderBytes = 32;
// A version 1 store of 5,000 longest keys is about 2.7 MB; anything beyond
// this is not read at all (the reader is handed this many bytes at most).
constexpr size_t kUsageStoreMaxBytes = 4 << 20;

enum class UsageStoreState {
  kMissing,           // no store yet (only the file layer says this)
  kRead,              // a store of this version, read whole
  kCorrupt,           // truncated, damaged, hostile or too large: starts empty
  kNewerRead,         // a newer version's store, its addresses read
  kNewerUnreadable,   // a newer version's store that could not be read
  kUnopenable,        // there, but could not be opened or read (only the
                      // file layer says this): left alone for the session
};

// Whether the next write may replace a store found in this state.
inline bool MayReplaceUsageStore(UsageStoreState s) {
  return s == UsageStoreState::kMissing || s == UsageStoreState::kRead ||
         s == UsageStoreState::kCorrupt;
}

// Reads a store's bytes into *book, which is emptied first and stays empty
// unless the result is kRead or kNewerRead. `bytes` may be only the start of
// a larger file; the body's size then disagrees and the store counts as
// truncated.
UsageStoreState ParseUsageStore(std::string_view bytes, UsageBook* book);

// The bytes of a version 1 store holding the whole book, records in key
// order (the same book always gives the same bytes).
std::string SerializeUsageStore(const UsageBook& book);

uint32_t Crc32(std::string_view bytes);

}  // namespace vantrel
