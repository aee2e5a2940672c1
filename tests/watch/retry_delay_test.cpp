#include "watch/retry_delay.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

// From no delay to the end of the retries, each delay from the one before.
TEST(RetryDelay, DoublesFromATenthOfASecondToFiveSecondsThenStops) {
  std::vector<unsigned> got;
  for (unsigned d = NextRetryDelay(0); d != 0 && got.size() < 50; d = NextRetryDelay(d))
    got.push_back(d);
  EXPECT_EQ(got, std::vector<unsigned>({100, 200, 400, 800, 1600, 3200, 5000}));
}

}  // namespace
}  // namespace vantrel
