// Our digest against OpenSSL's, an independent implementation, on generated data: the edge
// lengths, a stream longer than 4 GiB and thousands of random lengths and splits.
#include <openssl/md5.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compare/md5.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// xorshift64*: fast, and the same sequence everywhere for a given seed.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545f4914f6cdd1dULL;
  }
  std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

 private:
  std::uint64_t state_;
};

void FillRandom(std::uint8_t* bytes, std::size_t length, Random& random) {
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    const std::uint64_t word = random.Next();
    std::memcpy(bytes + i, &word, 8);
  }
  for (; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(random.Next());
}

Bytes RandomBytes(std::size_t length, std::uint64_t seed) {
  Bytes bytes(length);
  Random random(seed);
  FillRandom(bytes.data(), length, random);
  return bytes;
}

std::string Text(const std::uint8_t (&digest)[16]) {
  char text[33];
  FormatDigestText(digest, text);
  return text;
}

std::string OpenSslText(const std::uint8_t* bytes, std::size_t length) {
  std::uint8_t digest[16];
  MD5(bytes, length, digest);
  return Text(digest);
}

std::string OurText(const std::uint8_t* bytes, std::size_t length, std::size_t pieceSize) {
  Md5State state;
  Md5Start(state);
  for (std::size_t done = 0; done < length; done += pieceSize) {
    Md5Add(state, bytes + done, static_cast<std::uint32_t>(std::min(pieceSize, length - done)));
  }
  std::uint8_t digest[16];
  Md5Finish(digest, state);
  return Text(digest);
}

// 64-bit length in bits, as the state carries it.
std::uint64_t BitCount(const Md5State& state) {
  return std::uint64_t{state.bitCount[1]} << 32 | state.bitCount[0];
}

TEST(Md5Oracle, EdgeLengthsAgreeWithOpenSsl) {
  const Bytes data = RandomBytes(4097, 1);
  std::vector<std::size_t> lengths = {55, 56, 63, 64, 65, 4095, 4096, 4097};
  for (std::size_t length = 0; length <= 300; ++length) lengths.push_back(length);
  for (std::size_t length : lengths) {
    const std::string expected = OpenSslText(data.data(), length);
    for (std::size_t pieceSize : {std::size_t{4096}, std::size_t{64}, std::size_t{7},
                                  std::size_t{1}, std::max<std::size_t>(length, 1)}) {
      EXPECT_EQ(OurText(data.data(), length, pieceSize), expected)
          << length << " bytes in pieces of " << pieceSize;
    }
  }
}

// 4 GiB + 1 bytes: the bit count passes 2^32 bits eight times and 2^35 once. Most of the
// stream goes in 4096-byte pieces, as files are read; two pieces of 512 MiB and more carry
// into the high word through the length's own top bits as well.
TEST(Md5Oracle, FourGiBPlusOneCarriesTheBitCountIntoTheHighWord) {
  constexpr std::uint64_t kTotal = (std::uint64_t{1} << 32) + 1;
  constexpr std::size_t kLargePiece = (std::size_t{1} << 29) + 12345;
  constexpr std::size_t kWindow = kLargePiece + 8192;
  const Bytes window = RandomBytes(kWindow, 42);

  Md5State ours;
  Md5Start(ours);
  MD5_CTX theirs;
  MD5_Init(&theirs);

  std::uint64_t done = 0;
  std::size_t offset = 0;
  std::uint64_t pieces = 0;
  while (done < kTotal) {
    // Large pieces first and in the middle of the stream; otherwise mostly 4096 bytes with
    // an odd piece now and then, so that blocks straddle pieces.
    std::size_t piece = 4096;
    if (pieces == 0 || pieces == 500000) {
      piece = kLargePiece;
    } else if (pieces % 1000 == 7) {
      piece = 4096 - 1 - pieces % 61;
    }
    piece = static_cast<std::size_t>(std::min<std::uint64_t>(piece, kTotal - done));
    if (offset + piece > kWindow) offset = pieces % 4096;

    Md5Add(ours, window.data() + offset, static_cast<std::uint32_t>(piece));
    MD5_Update(&theirs, window.data() + offset, piece);
    done += piece;
    offset += piece + pieces % 17;  // vary where pieces start
    ++pieces;
    ASSERT_EQ(BitCount(ours), done * 8) << "after " << done << " bytes in " << pieces << " pieces";
  }
  EXPECT_EQ(ours.bitCount[0], 8u);
  EXPECT_EQ(ours.bitCount[1], 8u);

  std::uint8_t ourDigest[16];
  Md5Finish(ourDigest, ours);
  std::uint8_t theirDigest[16];
  MD5_Final(theirDigest, &theirs);
  EXPECT_EQ(Text(ourDigest), Text(theirDigest));
}

// Messages of random length cut into random pieces, some of them empty. Every piece is
// copied into an allocation of exactly its size, so that AddressSanitizer sees any read
// past a piece's end.
TEST(Md5Oracle, RandomLengthsAndSplitsAgreeWithOpenSsl) {
  constexpr std::uint64_t kSeed = 0x5eed0f1a2b3c4d5eULL;
  constexpr int kMessages = 10000;
  Random random(kSeed);
  Md5State state;  // reused, as the file comparison reuses it
  for (int message = 0; message < kMessages; ++message) {
    SCOPED_TRACE("seed " + std::to_string(kSeed) + ", message " + std::to_string(message));
    std::size_t length = 0;
    switch (random.Below(4)) {
      case 0: length = random.Below(300); break;
      case 1: length = 64 * (1 + random.Below(70)) + random.Below(3) - 1; break;  // at block edges
      case 2: length = random.Below(20000); break;
      default: length = random.Below(70000); break;
    }
    Bytes bytes(length);
    FillRandom(bytes.data(), length, random);

    const std::uint32_t maxPiece = 1 + random.Below(random.Below(2) ? 200 : 9000);
    Md5Start(state);
    std::size_t done = 0;
    while (done < length) {
      const std::size_t piece = std::min<std::size_t>(random.Below(maxPiece + 1), length - done);
      std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[piece == 0 ? 1 : piece]);
      if (piece != 0) std::memcpy(copy.get(), bytes.data() + done, piece);
      Md5Add(state, copy.get(), static_cast<std::uint32_t>(piece));
      done += piece;
    }
    std::uint8_t digest[16];
    Md5Finish(digest, state);
    ASSERT_EQ(Text(digest), OpenSslText(bytes.data(), length)) << length << " bytes";
  }
}

}  // namespace
