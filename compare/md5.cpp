#include "compare/md5.h"

#include <cstddef>
#include <cstring>
#include <utility>

// Speed notes. A block costs 64 steps, each of which needs the previous step's result b
// before it can start, so the time per block is the length of that chain of dependent
// instructions, not the instruction count. Each step below therefore adds the message word,
// the constant and every part of the round function that does not depend on b into a
// first (a was produced four steps ago), and only then adds the b-dependent part:
//   F: d ^ (b & (c ^ d))          -> and, xor, add, rotate, add   (5 on the chain)
//   G: (b & d) + (c & ~d)         -> and, add, rotate, add        (4; the terms share no
//                                    bits, so + is |, and c & ~d is added early)
//   H: b ^ (c ^ d)                -> xor, add, rotate, add        (4)
//   I: c ^ (b | ~d)               -> or, xor, add, rotate, add    (5; ~d computed early)
// That is 288 chained instructions per 64-byte block (the final addition of the chaining
// word B rides in the last step); adding the textbook G as one term, (b & d) | (c & ~d),
// puts the | on the chain of its 16 steps and makes it 304.
// The steps are written out in full so that every rotation count is a constant.

namespace {

template <int kShift>
inline std::uint32_t RotateLeft(std::uint32_t x) {
  return (x << kShift) | (x >> (32 - kShift));
}

// Least significant byte first on any host; compilers make this one load on x86.
inline std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

inline void StoreLittleEndian(std::uint32_t word, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(word);
  p[1] = static_cast<std::uint8_t>(word >> 8);
  p[2] = static_cast<std::uint8_t>(word >> 16);
  p[3] = static_cast<std::uint8_t>(word >> 24);
}

// Written out rather than looped: at -O2 (the Windows build) the two 16-pass loops per
// block cost the digest a few per cent of its speed.
template <std::size_t... kIndex>
inline void DecodeBlock(volatile std::uint32_t* words, const std::uint8_t* data,
                        std::index_sequence<kIndex...>) {
  (static_cast<void>(words[kIndex] = LoadLittleEndian(data + 4 * kIndex)), ...);
}

template <std::size_t... kIndex>
inline void ZeroWords(volatile std::uint32_t* words, std::index_sequence<kIndex...>) {
  (static_cast<void>(words[kIndex] = 0), ...);
}

template <int kShift>
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t constant) {
  a += word + constant;
  a += d ^ (b & (c ^ d));
  a = RotateLeft<kShift>(a) + b;
}

template <int kShift>
inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t constant) {
  a += word + constant + (c & ~d);
  a += b & d;
  a = RotateLeft<kShift>(a) + b;
}

template <int kShift>
inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t constant) {
  a += word + constant;
  a += b ^ (c ^ d);
  a = RotateLeft<kShift>(a) + b;
}

// `early` is added to b before b joins the result; see the block's last step.
template <int kShift>
inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t constant, std::uint32_t early = 0) {
  a += word + constant;
  a += c ^ (b | ~d);
  a = RotateLeft<kShift>(a) + (b + early);
}

// Compresses `blockCount` whole 64-byte blocks at `data` (the caller's bytes, or the state's
// buffer for a block completed there) into the chaining words, which stay in registers
// from one block to the next.
//
// The block's working copy is the array `x`: the words are decoded into it (this is where
// the byte order is settled), the steps read them from it, and it is zeroed after every
// block, as RFC 1321's reference code does, so that no message words stay behind on the
// stack. All three go through a volatile pointer: otherwise the compiler sees that the
// array is only ever zeroed, drops it, and keeps the words in registers and spill slots
// that nothing clears. The extra 32 stores per block are off the dependency chain; against
// a build that reads the words straight from the input they cost nothing measurable.
void CompressBlocks(std::uint32_t (&chaining)[4], const std::uint8_t* data,
                    std::size_t blockCount) {
  std::uint32_t a = chaining[0];
  std::uint32_t b = chaining[1];
  std::uint32_t c = chaining[2];
  std::uint32_t d = chaining[3];
  std::uint32_t x[16];
  volatile std::uint32_t* const w = x;

  for (; blockCount != 0; --blockCount, data += 64) {
    DecodeBlock(w, data, std::make_index_sequence<16>());
    const std::uint32_t aa = a, cc = c, dd = d;
    // B is added back inside the last step (see there). Read through a volatile, it is a
    // value the compiler cannot trace to the loop's start; otherwise it moves the addition
    // to the very end, where it waits for the rotation.
    volatile std::uint32_t savedB = b;

    StepF<7>(a, b, c, d, w[0], 0xd76aa478);
    StepF<12>(d, a, b, c, w[1], 0xe8c7b756);
    StepF<17>(c, d, a, b, w[2], 0x242070db);
    StepF<22>(b, c, d, a, w[3], 0xc1bdceee);
    StepF<7>(a, b, c, d, w[4], 0xf57c0faf);
    StepF<12>(d, a, b, c, w[5], 0x4787c62a);
    StepF<17>(c, d, a, b, w[6], 0xa8304613);
    StepF<22>(b, c, d, a, w[7], 0xfd469501);
    StepF<7>(a, b, c, d, w[8], 0x698098d8);
    StepF<12>(d, a, b, c, w[9], 0x8b44f7af);
    StepF<17>(c, d, a, b, w[10], 0xffff5bb1);
    StepF<22>(b, c, d, a, w[11], 0x895cd7be);
    StepF<7>(a, b, c, d, w[12], 0x6b901122);
    StepF<12>(d, a, b, c, w[13], 0xfd987193);
    StepF<17>(c, d, a, b, w[14], 0xa679438e);
    StepF<22>(b, c, d, a, w[15], 0x49b40821);

    StepG<5>(a, b, c, d, w[1], 0xf61e2562);
    StepG<9>(d, a, b, c, w[6], 0xc040b340);
    StepG<14>(c, d, a, b, w[11], 0x265e5a51);
    StepG<20>(b, c, d, a, w[0], 0xe9b6c7aa);
    StepG<5>(a, b, c, d, w[5], 0xd62f105d);
    StepG<9>(d, a, b, c, w[10], 0x02441453);
    StepG<14>(c, d, a, b, w[15], 0xd8a1e681);
    StepG<20>(b, c, d, a, w[4], 0xe7d3fbc8);
    StepG<5>(a, b, c, d, w[9], 0x21e1cde6);
    StepG<9>(d, a, b, c, w[14], 0xc33707d6);
    StepG<14>(c, d, a, b, w[3], 0xf4d50d87);
    StepG<20>(b, c, d, a, w[8], 0x455a14ed);
    StepG<5>(a, b, c, d, w[13], 0xa9e3e905);
    StepG<9>(d, a, b, c, w[2], 0xfcefa3f8);
    StepG<14>(c, d, a, b, w[7], 0x676f02d9);
    StepG<20>(b, c, d, a, w[12], 0x8d2a4c8a);

    StepH<4>(a, b, c, d, w[5], 0xfffa3942);
    StepH<11>(d, a, b, c, w[8], 0x8771f681);
    StepH<16>(c, d, a, b, w[11], 0x6d9d6122);
    StepH<23>(b, c, d, a, w[14], 0xfde5380c);
    StepH<4>(a, b, c, d, w[1], 0xa4beea44);
    StepH<11>(d, a, b, c, w[4], 0x4bdecfa9);
    StepH<16>(c, d, a, b, w[7], 0xf6bb4b60);
    StepH<23>(b, c, d, a, w[10], 0xbebfbc70);
    StepH<4>(a, b, c, d, w[13], 0x289b7ec6);
    StepH<11>(d, a, b, c, w[0], 0xeaa127fa);
    StepH<16>(c, d, a, b, w[3], 0xd4ef3085);
    StepH<23>(b, c, d, a, w[6], 0x04881d05);
    StepH<4>(a, b, c, d, w[9], 0xd9d4d039);
    StepH<11>(d, a, b, c, w[12], 0xe6db99e5);
    StepH<16>(c, d, a, b, w[15], 0x1fa27cf8);
    StepH<23>(b, c, d, a, w[2], 0xc4ac5665);

    StepI<6>(a, b, c, d, w[0], 0xf4292244);
    StepI<10>(d, a, b, c, w[7], 0x432aff97);
    StepI<15>(c, d, a, b, w[14], 0xab9423a7);
    StepI<21>(b, c, d, a, w[5], 0xfc93a039);
    StepI<6>(a, b, c, d, w[12], 0x655b59c3);
    StepI<10>(d, a, b, c, w[3], 0x8f0ccc92);
    StepI<15>(c, d, a, b, w[10], 0xffeff47d);
    StepI<21>(b, c, d, a, w[1], 0x85845dd1);
    StepI<6>(a, b, c, d, w[8], 0x6fa87e4f);
    StepI<10>(d, a, b, c, w[15], 0xfe2ce6e0);
    StepI<15>(c, d, a, b, w[6], 0xa3014314);
    StepI<21>(b, c, d, a, w[13], 0x4e0811a1);
    StepI<6>(a, b, c, d, w[4], 0xf7537e82);
    StepI<10>(d, a, b, c, w[11], 0xbd3af235);
    StepI<15>(c, d, a, b, w[2], 0x2ad7d2bb);
    // The next block's first step needs the new B at once, so the old B is added to this
    // step's other addend while its round function is still being computed: one addition
    // per block less on the chain.
    StepI<21>(b, c, d, a, w[9], 0xeb86d391, savedB);

    a += aa;
    c += cc;
    d += dd;
    ZeroWords(w, std::make_index_sequence<16>());
  }

  chaining[0] = a;
  chaining[1] = b;
  chaining[2] = c;
  chaining[3] = d;
}

}  // namespace

void Md5Start(Md5State& state) {
  state.bitCount[0] = 0;
  state.bitCount[1] = 0;
  state.chaining[0] = 0x67452301;
  state.chaining[1] = 0xefcdab89;
  state.chaining[2] = 0x98badcfe;
  state.chaining[3] = 0x10325476;
}

void Md5Add(Md5State& state, const void* bytes, std::uint32_t length) {
  if (length == 0) return;  // also spares memcpy a null pointer
  const std::uint8_t* input = static_cast<const std::uint8_t*>(bytes);

  const std::uint32_t position = (state.bitCount[0] >> 3) & 63;
  const std::uint32_t lowBefore = state.bitCount[0];
  state.bitCount[0] += length << 3;
  if (state.bitCount[0] < lowBefore) ++state.bitCount[1];
  state.bitCount[1] += length >> 29;

  const std::uint32_t room = 64 - position;
  if (length < room) {
    std::memcpy(state.buffer + position, input, length);
    return;
  }
  // Only a partial block goes through the buffer; a piece that starts on a block boundary
  // is compressed straight from the caller's bytes, first block included.
  if (position != 0) {
    std::memcpy(state.buffer + position, input, room);
    CompressBlocks(state.chaining, state.buffer, 1);
    input += room;
    length -= room;
  }
  CompressBlocks(state.chaining, input, length / 64);
  std::memcpy(state.buffer, input + (length & ~std::uint32_t{63}), length % 64);
}

void Md5Finish(std::uint8_t (&digest)[16], Md5State& state) {
  static const std::uint8_t kPadding[64] = {0x80};

  std::uint8_t countBytes[8];
  StoreLittleEndian(state.bitCount[0], countBytes);
  StoreLittleEndian(state.bitCount[1], countBytes + 4);

  // Pad to 56 bytes modulo 64, so that the count completes the last block.
  const std::uint32_t position = (state.bitCount[0] >> 3) & 63;
  Md5Add(state, kPadding, position < 56 ? 56 - position : 120 - position);
  Md5Add(state, countBytes, 8);

  for (int i = 0; i < 4; ++i) StoreLittleEndian(state.chaining[i], digest + 4 * i);

  // Through a volatile pointer, so that the compiler cannot drop the stores as dead.
  volatile std::uint8_t* stateBytes = reinterpret_cast<volatile std::uint8_t*>(&state);
  for (std::size_t i = 0; i < sizeof state; ++i) stateBytes[i] = 0;
}

void FormatDigestText(const std::uint8_t (&digest)[16], char (&text)[33]) {
  static const char kHexDigits[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHexDigits[digest[i] >> 4];
    text[2 * i + 1] = kHexDigits[digest[i] & 15];
  }
  text[32] = '\0';
}
