// Content of the files served by the bad-media file system, shared with the tests that read
// them (natively and as Windows code), so that a test can tell every byte it should get.
//
// The byte at offset o of a file with seed s is byte (o % 8), counted from the least
// significant, of SplitMix64(s ^ (o / 8)), where SplitMix64(x) is the finaliser of the
// SplitMix64 generator applied to x + 0x9E3779B97F4A7C15 (so SplitMix64(0) is the
// generator's first output from state 0, 0xE220A8397B1DCDAF). Every aligned 8-byte word of a
// file is thus one 64-bit value stored little-endian, cheap to produce at any offset, and
// differs from its neighbours and from the same word of another file.
//
// The default seed of a file is the FNV-1a 64-bit hash of its path bytes as written in the
// tree description, without a leading slash.
#ifndef VEROLUX_TOOLS_BAD_MEDIA_PATTERN_H
#define VEROLUX_TOOLS_BAD_MEDIA_PATTERN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t BadMediaSplitMix64(uint64_t x)
{
  uint64_t z = x + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline uint64_t BadMediaDefaultSeed(const char* path)
{
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p != 0; ++p) {
    hash ^= *p;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// Fills out with the bytes of the file at [offset, offset + length). The caller keeps
// offset + length within 2^64.
inline void BadMediaFill(uint64_t seed, uint64_t offset, void* out, size_t length)
{
  unsigned char* dst = static_cast<unsigned char*>(out);
  // Partial word at the start.
  unsigned first = static_cast<unsigned>(offset % 8);
  if (first != 0 && length != 0) {
    uint64_t word = BadMediaSplitMix64(seed ^ (offset / 8));
    for (unsigned i = first; i < 8 && length != 0; ++i, --length) {
      *dst++ = static_cast<unsigned char>(word >> (8 * i));
    }
    offset += 8 - first;
  }
  // Whole words: one 8-byte store each on little-endian machines, which keeps huge files
  // quick to serve; byte by byte elsewhere.
  uint64_t index = offset / 8;
  for (; length >= 8; length -= 8, dst += 8, ++index) {
    uint64_t word = BadMediaSplitMix64(seed ^ index);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(dst, &word, 8);
#else
    for (unsigned i = 0; i < 8; ++i) {
      dst[i] = static_cast<unsigned char>(word >> (8 * i));
    }
#endif
  }
  // Partial word at the end.
  if (length != 0) {
    uint64_t word = BadMediaSplitMix64(seed ^ index);
    for (unsigned i = 0; i < length; ++i) {
      dst[i] = static_cast<unsigned char>(word >> (8 * i));
    }
  }
}

#endif  // VEROLUX_TOOLS_BAD_MEDIA_PATTERN_H
