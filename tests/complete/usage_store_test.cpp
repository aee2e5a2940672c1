// The usage store's bytes: the layout written, and what the reader makes of
// damaged, truncated, huge, hostile and newer stores.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "complete/usage_store.h"

using namespace vantrel;

namespace {

constexpr int64_t kT0 = 1700000000;

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

void Put(std::string* out, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

struct Rec {
  Rec(std::string k, int f = 0, int64_t t = kT0, double s = 1, std::string x = "",
      long long sd = 0, long long kd = 0)
      : key(std::move(k)), flags(f), time(t), score(s), extra(std::move(x)), size_delta(sd),
        key_len_delta(kd) {}
  std::string key;
  int flags;
  int64_t time;
  double score;
  std::string extra;        // bytes after the key (a later version's fields)
  long long size_delta;     // added to the record size written
  long long key_len_delta;  // added to the key length written
};

// A store as a writer of any version could make it, with sound checksums
// unless told otherwise.
struct Raw {
  int version = 1;
  size_t header_size = 32;
  long long header_size_written_delta = 0;  // only the field, not the bytes
  std::vector<Rec> recs;
  long long count_delta = 0;
  long long body_size_delta = 0;
  std::string trailer;  // bytes after the records
  bool bad_body_crc = false;

  std::string Bytes() const {
    std::string body;
    for (const Rec& r : recs) {
      Put(&body, 21 + r.key.size() + r.extra.size() + r.size_delta, 2);
      Put(&body, r.key.size() + r.key_len_delta, 2);
      Put(&body, r.flags, 1);
      Put(&body, static_cast<uint64_t>(r.time), 8);
      uint64_t bits;
      std::memcpy(&bits, &r.score, 8);
      Put(&body, bits, 8);
      body += r.key + r.extra;
    }
    body += trailer;
    std::string h = "VTRLUSG\x1A";
    Put(&h, version, 2);
    Put(&h, header_size + header_size_written_delta, 2);
    Put(&h, recs.size() + count_delta, 4);
    Put(&h, body.size() + body_size_delta, 4);
    Put(&h, Crc32(body) ^ (bad_body_crc ? 1 : 0), 4);
    Put(&h, 0, 4);
    Put(&h, Crc32(h), 4);
    h.resize(header_size, '\0');  // a later version's header fields
    return h + body;
  }
};

std::map<std::string, std::string> Contents(const UsageBook& book) {
  std::map<std::string, std::string> out;
  for (const auto& [key, e] : book.entries()) {
    out[key] = std::to_string(e.score) + "@" + std::to_string(e.time) + (e.hidden ? " hidden" : "");
  }
  return out;
}

}  // namespace

TEST(UsageStore, Crc32IsTheStandardOne) {
  EXPECT_EQ(0xCBF43926u, Crc32("123456789"));
  EXPECT_EQ(0u, Crc32(""));
}

TEST(UsageStore, WritesTheDocumentedLayout) {
  UsageBook book;
  UsageBook::Entry a;
  a.score = 1.0;
  a.time = kT0;
  UsageBook::Entry b;
  b.score = 2.5;
  b.time = kT0 + 86400;
  b.hidden = true;
  ASSERT_TRUE(book.Restore("B@Y", b));
  ASSERT_TRUE(book.Restore("A@X", a));
  // Checksums from Python's zlib.crc32.
  const std::string want = Hex(
      "56 54 52 4c 55 53 47 1a 01 00 20 00 02 00 00 00 30 00 00 00 9c c1 7d b7 00 00 00 00 "
      "e9 01 19 33"
      "18 00 03 00 00 00 f1 53 65 00 00 00 00 00 00 00 00 00 00 f0 3f 41 40 58 "
      "18 00 03 00 01 80 42 55 65 00 00 00 00 00 00 00 00 00 00 04 40 42 40 59");
  EXPECT_EQ(want, SerializeUsageStore(book));
}

TEST(UsageStore, ReadsBackWhatItWrote) {
  UsageBook book;
  book.RecordUse("A@X", kT0);
  book.RecordUse("A@X", kT0 + 1000);
  book.RecordUse("\x8E\x52\x93\x63@X", kT0 + 5);  // a double-byte key
  book.Hide("GONE@X");
  UsageBook back;
  ASSERT_EQ(UsageStoreState::kRead, ParseUsageStore(SerializeUsageStore(book), &back));
  EXPECT_EQ(Contents(book), Contents(back));
  EXPECT_EQ(book.Find("A@X")->rank, back.Find("A@X")->rank);
  UsageBook empty;
  ASSERT_EQ(UsageStoreState::kRead, ParseUsageStore(SerializeUsageStore(empty), &back));
  EXPECT_EQ(0u, back.size());
}

TEST(UsageStore, EveryTruncationAndEveryFlippedByteStartsEmpty) {
  UsageBook book;
  book.RecordUse("A@X", kT0);
  book.RecordUse("B@Y", kT0);
  const std::string good = SerializeUsageStore(book);
  UsageBook got;
  for (size_t n = 0; n < good.size(); ++n) {
    got.RecordUse("STALE@X", kT0);
    EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(good.substr(0, n), &got)) << n;
    EXPECT_EQ(0u, got.size()) << n;
  }
  for (size_t i = 0; i < good.size(); ++i) {
    for (int bit : {0x01, 0x80}) {
      std::string bad = good;
      bad[i] = static_cast<char>(bad[i] ^ bit);
      EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(bad, &got)) << i << " " << bit;
      EXPECT_EQ(0u, got.size());
    }
  }
  EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(good + "x", &got));
}

TEST(UsageStore, HostileStoresWithSoundChecksumsStartEmpty) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto one = [](Rec r) {
    Raw raw;
    raw.recs = {Rec{"OK@X"}, r};
    return raw;
  };
  struct Case {
    const char* what;
    Raw raw;
  } cases[] = {
      {"version 0", [] { Raw r; r.version = 0; return r; }()},
      {"count far beyond the body", [] { Raw r; r.recs = {Rec{"A@X"}}; r.count_delta = 0xFFFFFFF0; return r; }()},
      {"count one short", [] { Raw r; r.recs = {Rec{"A@X"}, Rec{"B@X"}}; r.count_delta = -1; return r; }()},
      {"body size too large", [] { Raw r; r.recs = {Rec{"A@X"}}; r.body_size_delta = 1; return r; }()},
      {"body size too small", [] { Raw r; r.recs = {Rec{"A@X"}}; r.body_size_delta = -1; return r; }()},
      {"body checksum", [] { Raw r; r.recs = {Rec{"A@X"}}; r.bad_body_crc = true; return r; }()},
      {"a longer header in version 1", [] { Raw r; r.header_size = 40; return r; }()},
      {"header size beyond the file", [] { Raw r; r.header_size_written_delta = 100; return r; }()},
      {"header size below 32", [] { Raw r; r.header_size_written_delta = -1; return r; }()},
      {"trailing bytes", [] { Raw r; r.recs = {Rec{"A@X"}}; r.trailer = "xx"; return r; }()},
      {"empty key", one(Rec{""})},
      {"key of 513 bytes", one(Rec{std::string(513, 'K')})},
      {"NUL in the key", one(Rec{std::string("A\0B", 3)})},
      {"key length past the record", one(Rec{"A@X", 0, kT0, 1, "", 0, 5})},
      {"record size below its key", one(Rec{"A@X", 0, kT0, 1, "", -1})},
      {"record size past the body", one(Rec{"A@X", 0, kT0, 1, "", 100})},
      {"record longer than its key in version 1", one(Rec{"A@X", 0, kT0, 1, "zz"})},
      {"score NaN", one(Rec{"A@X", 0, kT0, nan})},
      {"score infinite", one(Rec{"A@X", 0, kT0, std::numeric_limits<double>::infinity()})},
      {"score negative", one(Rec{"A@X", 0, kT0, -1})},
      {"score huge", one(Rec{"A@X", 0, kT0, 1e300})},
      {"time negative", one(Rec{"A@X", 0, -5, 1})},
      {"the same key twice", one(Rec{"OK@X"})},
      {"5,001 records", [] {
         Raw r;
         for (int i = 0; i <= 5000; ++i) r.recs.push_back(Rec{"A" + std::to_string(i)});
         return r;
       }()},
  };
  for (const Case& c : cases) {
    UsageBook got;
    EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(c.raw.Bytes(), &got)) << c.what;
    EXPECT_EQ(0u, got.size()) << c.what;
  }
  // The same writer's sound store is read, so the cases above fail for the
  // reason they name.
  UsageBook got;
  EXPECT_EQ(UsageStoreState::kRead, ParseUsageStore(one(Rec{"A@X", 1, kT0, 2}).Bytes(), &got));
  EXPECT_EQ((std::map<std::string, std::string>{{"A@X", "2.000000@1700000000 hidden"},
                                                {"OK@X", "1.000000@1700000000"}}),
            Contents(got));
  Raw full;
  for (int i = 0; i < 5000; ++i) full.recs.push_back(Rec{"A" + std::to_string(i)});
  EXPECT_EQ(UsageStoreState::kRead, ParseUsageStore(full.Bytes(), &got));
  EXPECT_EQ(5000u, got.size());
}

TEST(UsageStore, ANewerStoreIsReadWhereItCanBe) {
  struct Case {
    const char* what;
    Raw raw;
    UsageStoreState want;
    size_t want_size;
  } cases[] = {
      {"longer header, longer records, a trailing section",
       [] {
         Raw r;
         r.version = 2;
         r.header_size = 48;
         r.recs = {Rec{"A@X", 1 | 6, kT0, 3, "more"}, Rec{"B@X", 0, kT0, 1, ""}};
         r.trailer = "a section this version does not know";
         return r;
       }(),
       UsageStoreState::kNewerRead, 2},
      {"more addresses than this version keeps",
       [] {
         Raw r;
         r.version = 7;
         for (int i = 0; i < 6000; ++i) r.recs.push_back(Rec{"A" + std::to_string(i)});
         return r;
       }(),
       UsageStoreState::kNewerRead, 5000},
      {"body checksum", [] { Raw r; r.version = 2; r.recs = {Rec{"A@X"}}; r.bad_body_crc = true; return r; }(),
       UsageStoreState::kNewerUnreadable, 0},
      {"a record this version cannot read",
       [] { Raw r; r.version = 2; r.recs = {Rec{"A@X"}, Rec{"B@X", 0, kT0, -1}}; return r; }(),
       UsageStoreState::kNewerUnreadable, 0},
      {"truncated", [] { Raw r; r.version = 2; r.recs = {Rec{"A@X"}}; r.body_size_delta = 9; return r; }(),
       UsageStoreState::kNewerUnreadable, 0},
  };
  for (const Case& c : cases) {
    UsageBook got;
    EXPECT_EQ(c.want, ParseUsageStore(c.raw.Bytes(), &got)) << c.what;
    EXPECT_EQ(c.want_size, got.size()) << c.what;
    EXPECT_EQ(c.want == UsageStoreState::kRead, MayReplaceUsageStore(c.want));
  }
  UsageBook got;
  ParseUsageStore(cases[0].raw.Bytes(), &got);
  EXPECT_EQ((std::map<std::string, std::string>{{"A@X", "3.000000@1700000000 hidden"},
                                                {"B@X", "1.000000@1700000000"}}),
            Contents(got));
  EXPECT_TRUE(MayReplaceUsageStore(UsageStoreState::kCorrupt));
  EXPECT_TRUE(MayReplaceUsageStore(UsageStoreState::kMissing));
}

TEST(UsageStore, HugeAndRandomInputStartsEmpty) {
  // A file larger than the reader takes is handed over cut at the limit.
  Raw huge;
  for (int i = 0; huge.recs.size() * 520 < kUsageStoreMaxBytes + 100000; ++i) {
    huge.recs.push_back(Rec{std::to_string(i) + std::string(500, 'K')});
  }
  std::string bytes = huge.Bytes();
  ASSERT_GT(bytes.size(), kUsageStoreMaxBytes);
  bytes.resize(kUsageStoreMaxBytes);
  UsageBook got;
  EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(bytes, &got));
  huge.version = 2;
  bytes = huge.Bytes();
  bytes.resize(kUsageStoreMaxBytes);
  EXPECT_EQ(UsageStoreState::kNewerUnreadable, ParseUsageStore(bytes, &got));

  std::mt19937 rng(7);
  for (int n = 0; n < 2000; ++n) {
    std::string junk(rng() % 200, '\0');
    for (char& c : junk) c = static_cast<char>(rng());
    if (n % 2) junk.replace(0, std::min<size_t>(8, junk.size()), "VTRLUSG\x1A", std::min<size_t>(8, junk.size()));
    EXPECT_EQ(UsageStoreState::kCorrupt, ParseUsageStore(junk, &got)) << n;
  }
}
