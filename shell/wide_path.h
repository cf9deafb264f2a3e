// Wide paths: every path travels from a panel to an engine in 260 16-bit units.
// Under the ANSI variant each unit carries one byte of the ANSI path, so that the
// bytes reach the ANSI file calls unchanged (no code-page conversion either way).
#pragma once

#include <cstddef>

constexpr std::size_t kWidePathUnits = 260;

// Copies all 260 bytes, each sign-extended to 16 bits (0x80-0xFF become 0xFF80-0xFFFF).
template <typename Unit>
void WidenPath(const char (&ansi)[kWidePathUnits], Unit (&wide)[kWidePathUnits]) {
  for (std::size_t i = 0; i < kWidePathUnits; ++i) {
    wide[i] = static_cast<Unit>(static_cast<short>(static_cast<signed char>(ansi[i])));
  }
}

// Keeps the low byte of each unit. The last byte is always a terminator, so a wide path
// that lost its own terminator can never make an ANSI call read past the buffer.
template <typename Unit>
void NarrowPath(const Unit (&wide)[kWidePathUnits], char (&ansi)[kWidePathUnits]) {
  for (std::size_t i = 0; i < kWidePathUnits; ++i) {
    ansi[i] = static_cast<char>(static_cast<unsigned>(wide[i]) & 0xFFu);
  }
  ansi[kWidePathUnits - 1] = '\0';
}

// Length of a zero-terminated text of at most `capacity` units (capacity if unterminated).
template <typename Unit>
std::size_t BoundedLength(const Unit* text, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && text[length] != 0) ++length;
  return length;
}
