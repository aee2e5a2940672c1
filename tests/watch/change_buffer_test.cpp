// Walking FILE_NOTIFY_INFORMATION batches built byte by byte, the way the
// system (and Wine, which does not pad records) lays them out.
#include "watch/change_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vantrel;

namespace {

const LeadBytes NoLeadBytes{};

std::string Narrow(const char16_t* units, size_t count) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s += units[i] < 0x80 ? static_cast<char>(units[i]) : '?';
  return s;
}

struct Record {
  uint32_t action;
  std::string name;
};

// Lays records out one after another; `pad4` rounds each record up to a
// DWORD boundary as Windows does, otherwise records are packed as in Wine.
// Returns the bytes used.
size_t Lay(unsigned char* buf, size_t at, const std::vector<Record>& records, bool pad4) {
  size_t pos = at;
  for (size_t i = 0; i < records.size(); ++i) {
    const uint32_t len = static_cast<uint32_t>(records[i].name.size() * 2);
    size_t size = 12 + len;
    if (pad4) size = (size + 3) & ~size_t(3);
    const uint32_t next = i + 1 < records.size() ? static_cast<uint32_t>(size) : 0;
    std::memcpy(buf + pos, &next, 4);
    std::memcpy(buf + pos + 4, &records[i].action, 4);
    std::memcpy(buf + pos + 8, &len, 4);
    for (size_t j = 0; j < records[i].name.size(); ++j) {
      const uint16_t u = static_cast<unsigned char>(records[i].name[j]);
      std::memcpy(buf + pos + 12 + 2 * j, &u, 2);
    }
    pos += size;
  }
  return pos - at;
}

class Recorder : public ChangeSink {
 public:
  std::vector<std::string> seen;
  void Added(const std::string& p) override { seen.push_back("add " + p); }
  void Removed(const std::string& p) override { seen.push_back("del " + p); }
  void Modified(const std::string& p) override { seen.push_back("mod " + p); }
  void Renamed(const std::string& o, const std::string& n) override {
    seen.push_back("ren " + o + " -> " + n);
  }
};

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& e : v) s += e + "; ";
  return s;
}

struct Batch {
  alignas(4) unsigned char buf[kChangeBufferSize];
  Recorder rec;
  Batch() { std::memset(buf, 0xCC, sizeof buf); }
  size_t Walk(size_t valid, const std::string& dir = "D:\\AB") {
    ChangeBufferReader reader(buf, sizeof buf, valid);
    return reader.Walk(dir, Narrow, NoLeadBytes, rec);
  }
};

}  // namespace

TEST(ChangeBuffer, ReportsEachActionWithFullPathInRecordOrder) {
  for (bool pad4 : {false, true}) {
    Batch b;
    const size_t n = Lay(b.buf, 0,
                         {{1, "new.bab"}, {3, "Sub\\x.bab"}, {2, "old.txt"}, {7, "odd"},
                          {5, "orphan.bab"}},
                         pad4);
    EXPECT_EQ(0u, b.Walk(n));
    EXPECT_EQ("add D:\\AB\\new.bab; mod D:\\AB\\Sub\\x.bab; del D:\\AB\\old.txt; ", Join(b.rec.seen))
        << "packed records on 2-byte boundaries must read the same (pad4=" << pad4 << ")";
  }
}

TEST(ChangeBuffer, DirectoryWithOrWithoutTrailingBackslashGivesOneSeparator) {
  for (const char* dir : {"D:\\AB", "D:\\AB\\"}) {
    Batch b;
    const size_t n = Lay(b.buf, 0, {{3, "Sub\\x.bab"}}, false);
    b.Walk(n, dir);
    EXPECT_EQ("mod D:\\AB\\Sub\\x.bab; ", Join(b.rec.seen)) << "directory " << dir;
  }
}

TEST(ChangeBuffer, RenamePairInOneBatch) {
  Batch b;
  const size_t n = Lay(b.buf, 0, {{4, "x.tmp"}, {5, "x.bab"}, {1, "y.bab"}}, false);
  EXPECT_EQ(0u, b.Walk(n));
  EXPECT_EQ("ren D:\\AB\\x.tmp -> D:\\AB\\x.bab; add D:\\AB\\y.bab; ", Join(b.rec.seen));
}

TEST(ChangeBuffer, OldNameAtBatchEndIsKeptAndJoinsTheNextRead) {
  Batch b;
  const size_t n = Lay(b.buf, 0, {{1, "a.bab"}, {4, "long-old-name.txt"}}, false);
  const size_t kept = b.Walk(n);
  EXPECT_EQ("add D:\\AB\\a.bab; ", Join(b.rec.seen)) << "no rename without the new name";
  EXPECT_EQ((12u + 34u + 3u) & ~3u, kept);
  uint32_t next = 0, action = 0, len = 0;
  std::memcpy(&next, b.buf, 4);
  std::memcpy(&action, b.buf + 4, 4);
  std::memcpy(&len, b.buf + 8, 4);
  EXPECT_EQ(kept, next) << "the kept record must lead to the next read's records";
  EXPECT_EQ(4u, action);
  EXPECT_EQ(34u, len);

  // The next read lands behind the kept record.
  b.rec.seen.clear();
  const size_t m = Lay(b.buf, kept, {{5, "new.bab"}, {3, "c.bab"}}, false);
  EXPECT_EQ(0u, b.Walk(kept + m));
  EXPECT_EQ("ren D:\\AB\\long-old-name.txt -> D:\\AB\\new.bab; mod D:\\AB\\c.bab; ",
            Join(b.rec.seen));
}

TEST(ChangeBuffer, OldNameFollowedByUnrelatedRecordIsARemoval) {
  Batch b;
  const size_t n = Lay(b.buf, 0, {{4, "gone.bab"}, {1, "other.txt"}}, false);
  EXPECT_EQ(0u, b.Walk(n));
  EXPECT_EQ("del D:\\AB\\gone.bab; add D:\\AB\\other.txt; ", Join(b.rec.seen));
}

TEST(ChangeBuffer, LongNamesAreCutTo260Units) {
  Batch b;
  const std::string name(300, 'n');
  const size_t n = Lay(b.buf, 0, {{1, name}}, false);
  b.Walk(n);
  ASSERT_EQ(1u, b.rec.seen.size());
  EXPECT_EQ("add D:\\AB\\" + std::string(260, 'n'), b.rec.seen[0]);

  // A kept old name is cut the same way, so the kept record stays small.
  Batch k;
  const size_t m = Lay(k.buf, 0, {{4, name}}, false);
  EXPECT_EQ(12u + 520u, k.Walk(m));
}

TEST(ChangeBuffer, NeverReadsBeyondTheDeliveredBytes) {
  Batch b;
  const size_t n = Lay(b.buf, 0, {{1, "a.bab"}, {1, "b.bab"}}, false);
  // Only the first record was delivered; the second lies beyond the count.
  EXPECT_EQ(0u, b.Walk(22));
  EXPECT_EQ("add D:\\AB\\a.bab; ", Join(b.rec.seen));

  b.rec.seen.clear();
  EXPECT_EQ(0u, b.Walk(0)) << "a 0-byte completion holds no records";
  EXPECT_EQ(0u, b.Walk(11));
  EXPECT_TRUE(b.rec.seen.empty()) << Join(b.rec.seen);

  // A name length reaching past the delivered bytes ends the walk unread.
  Batch c;
  Lay(c.buf, 0, {{1, "abc"}}, false);
  const uint32_t huge = 0xFFFFFFF0u;
  std::memcpy(c.buf + 8, &huge, 4);
  c.Walk(18);
  EXPECT_TRUE(c.rec.seen.empty()) << Join(c.rec.seen);

  // A next offset pointing outside the delivered bytes ends the walk.
  Batch d;
  Lay(d.buf, 0, {{1, "a"}}, false);
  for (uint32_t bad : {14u, 4000u, 0xFFFFFFFFu}) {
    d.rec.seen.clear();
    std::memcpy(d.buf, &bad, 4);
    d.Walk(n);
    EXPECT_EQ("add D:\\AB\\a; ", Join(d.rec.seen)) << "offset " << bad;
  }
  (void)n;
}
