#include "voka/loadgen/latency_histogram.h"

#include <algorithm>
#include <cmath>

namespace {

// Values below 2 * kHalf have a bucket each; above, each power of two is cut
// into kHalf buckets.
constexpr unsigned kHalfBits = 6;
constexpr uint64_t kHalf = uint64_t{1} << kHalfBits;
constexpr size_t kBuckets = 2 * kHalf + (63 - kHalfBits) * kHalf;

unsigned HighestBit(uint64_t value) {
  unsigned bit = 0;
  while (value >>= 1) ++bit;
  return bit;
}

size_t BucketOf(uint64_t value) {
  if (value < 2 * kHalf) return static_cast<size_t>(value);
  const unsigned shift = HighestBit(value) - kHalfBits;
  return static_cast<size_t>(2 * kHalf + (shift - 1) * kHalf + ((value >> shift) - kHalf));
}

uint64_t BucketTop(size_t bucket) {
  if (bucket < 2 * kHalf) return bucket;
  const unsigned shift = static_cast<unsigned>((bucket - 2 * kHalf) / kHalf) + 1;
  const uint64_t top = kHalf + (bucket - 2 * kHalf) % kHalf;
  return ((top + 1) << shift) - 1;
}

}  // namespace

CLatencyHistogram::CLatencyHistogram() : m_buckets(kBuckets) {}

void CLatencyHistogram::Record(uint64_t nanoseconds) {
  ++m_buckets[BucketOf(nanoseconds)];
  ++m_count;
  m_max = std::max(m_max, nanoseconds);
}

void CLatencyHistogram::Add(const CLatencyHistogram& other) {
  for (size_t i = 0; i < kBuckets; ++i) m_buckets[i] += other.m_buckets[i];
  m_count += other.m_count;
  m_max = std::max(m_max, other.m_max);
}

void CLatencyHistogram::Clear() {
  std::fill(m_buckets.begin(), m_buckets.end(), 0);
  m_count = 0;
  m_max = 0;
}

uint64_t CLatencyHistogram::Percentile(double percent) const {
  if (m_count == 0) return 0;
  const double wanted = std::ceil(static_cast<double>(m_count) * percent / 100.0);
  const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
  uint64_t seen = 0;
  for (size_t bucket = 0; bucket < kBuckets; ++bucket) {
    seen += m_buckets[bucket];
    if (seen >= rank) return std::min(BucketTop(bucket), m_max);
  }
  return m_max;
}
