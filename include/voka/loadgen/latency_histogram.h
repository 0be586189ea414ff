// Latencies in nanoseconds, counted in buckets whose width grows with the
// value (64 to each power of two, so within 1.6 % of the value): a run of
// millions of logins keeps a fixed table of 30 KB, and percentiles are exact
// to a bucket's width.
#pragma once

#include <cstdint>
#include <vector>

class CLatencyHistogram {
 public:
  CLatencyHistogram();

  void Record(uint64_t nanoseconds);
  void Add(const CLatencyHistogram& other);
  void Clear();

  uint64_t Count() const { return m_count; }
  uint64_t Max() const { return m_max; }
  // The smallest recorded latency that percent of the values do not exceed,
  // to the bucket's width (its top, never above Max); 0 when empty.
  uint64_t Percentile(double percent) const;

 private:
  std::vector<uint64_t> m_buckets;
  uint64_t m_count = 0;
  uint64_t m_max = 0;
};
