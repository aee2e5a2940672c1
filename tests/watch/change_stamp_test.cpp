// Change stamps from many threads at once, and what a reading covers.
#include "watch/change_stamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace vantrel;

TEST(ChangeStamp, EveryStampIsNewAndLatestIsTheLastHandedOut) {
  const ChangeStamp start = LatestChangeStamp();
  constexpr int kThreads = 4, kEach = 50000;
  std::vector<std::vector<ChangeStamp>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&got, t] {
      for (int i = 0; i < kEach; ++i) {
        const ChangeStamp s = NextChangeStamp();
        // Whoever reads the latest stamp after getting one sees it or newer.
        if (LatestChangeStamp() < s) ADD_FAILURE() << "latest " << LatestChangeStamp() << " < " << s;
        got[t].push_back(s);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<ChangeStamp> all;
  for (const auto& g : got) {
    EXPECT_TRUE(std::is_sorted(g.begin(), g.end())) << "one thread's stamps must increase";
    all.insert(all.end(), g.begin(), g.end());
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all.end(), std::adjacent_find(all.begin(), all.end())) << "a stamp was handed out twice";
  EXPECT_EQ(start + 1, all.front());
  EXPECT_EQ(start + kThreads * kEach, all.back());
  EXPECT_EQ(all.back(), LatestChangeStamp());
}

TEST(ReadingCoverage, CoversWhatWasStampedBeforeTheLatestReadingBegan) {
  ReadingCoverage coverage;
  EXPECT_FALSE(coverage.Covers(1)) << "no reading yet";
  coverage.ReadingStarts(0);  // a reading before the first stamp
  EXPECT_FALSE(coverage.Covers(1));
  coverage.ReadingStarts(40);
  const struct {
    ChangeStamp stamp;
    bool covered;
  } cases[] = {{0, false}, {1, true}, {39, true}, {40, true}, {41, false}, {1000, false}};
  for (const auto& c : cases) EXPECT_EQ(c.covered, coverage.Covers(c.stamp)) << c.stamp;
  // An outer reading that began before a nested one must not shrink it.
  coverage.ReadingStarts(12);
  EXPECT_TRUE(coverage.Covers(40));
  EXPECT_FALSE(coverage.Covers(41));
}
