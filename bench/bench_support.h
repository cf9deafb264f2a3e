// Shared by the digest benchmarks, native and Windows: test data and the core clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Deterministic bytes that no compressor or branch predictor finds regular (xorshift32).
inline std::vector<std::uint8_t> MakeBenchData(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  std::uint32_t x = 0x9e3779b9;
  for (auto& byte : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<std::uint8_t>(x);
  }
  return data;
}

// The core clock in Hz from passes of 1000 dependent adds, one cycle each however wide the
// core is, timed by `seconds` (a clock in seconds); 0 where that cannot be measured.
template <typename Clock>
double CoreHzFromAddChains(Clock seconds, int passes) {
#if defined(__x86_64__) && defined(__GNUC__)
  std::uint64_t value = 1;
  const std::uint64_t step = 3;
  const double start = seconds();
  for (int pass = 0; pass < passes; ++pass) {
    asm volatile(".rept 1000\n\tadd %1, %0\n\t.endr" : "+r"(value) : "r"(step));
  }
  return 1000.0 * passes / (seconds() - start);
#else
  (void)seconds;
  (void)passes;
  return 0;
#endif
}
