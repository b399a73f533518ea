#pragma once
// Where the fault campaign takes its random choices from: a seeded
// generator for the campaign runs, or a byte string for the fuzzer, so the
// fuzzer explores the same space of schedules the seeds draw from.

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>

namespace tavro::chaos {

class Choices {
 public:
  explicit Choices(std::uint64_t seed) : rng_(seed), seeded_(true) {}
  explicit Choices(std::span<const std::uint8_t> bytes) : bytes_(bytes), seeded_(false) {}

  // A number in 0..n-1 (0 when n is 0).
  std::uint32_t Below(std::uint32_t n) {
    if (n <= 1)
      return 0;
    return static_cast<std::uint32_t>(Next() % n);
  }
  // A number in lo..hi.
  std::uint32_t Range(std::uint32_t lo, std::uint32_t hi) { return lo + Below(hi - lo + 1); }
  // True `percent` times in a hundred.
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }
  // Small numbers far more often than large ones: a size from lo to hi whose
  // logarithm is spread evenly.
  std::uint32_t LogRange(std::uint32_t lo, std::uint32_t hi);
  // False once a byte string is used up; its choices are then all zero.
  bool Exhausted() const { return !seeded_ && pos_ >= bytes_.size(); }

 private:
  std::uint64_t Next() {
    if (seeded_)
      return rng_();
    std::uint64_t v = 0;
    for (int i = 0; i < 4; ++i)
      v = (v << 8) | (pos_ < bytes_.size() ? bytes_[pos_++] : 0);
    return v;
  }

  std::mt19937_64 rng_;
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool seeded_;
};

inline std::uint32_t Choices::LogRange(std::uint32_t lo, std::uint32_t hi) {
  if (lo == 0)
    lo = 1;
  if (hi <= lo)
    return lo;
  std::uint32_t bits = 0;
  while ((hi >> bits) > lo)
    ++bits;
  const std::uint32_t top = lo << Below(bits + 1);
  const std::uint32_t upper = top > hi || top < lo ? hi : top;
  return Range(upper / 2 > lo ? upper / 2 : lo, upper);
}

}  // namespace tavro::chaos
