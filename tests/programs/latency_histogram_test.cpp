#include "voka/loadgen/latency_histogram.h"

#include <gtest/gtest.h>

// Percentiles land within a bucket's width (1/64 of the value) of the exact
// rank, never above the largest value, and survive adding histograms.
TEST(LatencyHistogram, PercentilesOfKnownValues) {
  CLatencyHistogram low, high;
  for (uint64_t microseconds = 1; microseconds <= 1000; ++microseconds) {
    (microseconds <= 500 ? low : high).Record(microseconds * 1000);
  }
  low.Add(high);
  const struct {
    double percent;
    uint64_t exact;
  } cases[] = {{0, 1000}, {50, 500000}, {90, 900000}, {99, 990000}, {99.9, 999000}, {100, 1000000}};
  for (const auto& c : cases) {
    EXPECT_GE(low.Percentile(c.percent), c.exact) << c.percent;
    EXPECT_LE(low.Percentile(c.percent), c.exact + c.exact / 64) << c.percent;
  }
  EXPECT_EQ(low.Percentile(100), 1000000u);
  EXPECT_EQ(low.Count(), 1000u);
  EXPECT_EQ(low.Max(), 1000000u);
  EXPECT_EQ(CLatencyHistogram().Percentile(99), 0u);
  // Of a handful, p99 is the largest: of 10 logins, the 10th.
  CLatencyHistogram few;
  for (uint64_t milliseconds = 1; milliseconds <= 10; ++milliseconds) few.Record(milliseconds * 1000000);
  EXPECT_EQ(few.Percentile(99), 10000000u);
}
