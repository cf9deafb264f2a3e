// The MD5 message digest (RFC 1321) over a byte stream that arrives in pieces.
#pragma once

#include <cstdint>

// The running state of one digest. A plain record that its caller keeps on its own
// stack; nothing is allocated.
struct Md5State {
  std::uint32_t chaining[4];  // the words A, B, C, D
  std::uint32_t bitCount[2];  // input length in bits, low word first; wraps modulo 2^64
  std::uint8_t buffer[64];    // input bytes that do not yet make up a whole block
};

// Starts a new digest: resets the bit count and sets the standard initial chaining words.
// A finished state must be started again before it is used.
void Md5Start(Md5State& state);

// Adds `length` bytes to the digest. A length of 0 changes nothing (`bytes` may then be null).
void Md5Add(Md5State& state, const void* bytes, std::uint32_t length);

// Writes the digest of everything added since Md5Start, then sets every byte of the state
// to zero.
void Md5Finish(std::uint8_t (&digest)[16], Md5State& state);

// Writes the digest as 32 lowercase hex digits and a terminating zero.
void FormatDigestText(const std::uint8_t (&digest)[16], char (&text)[33]);
