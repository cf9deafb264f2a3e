#include "compare/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// Expected digests come from RFC 1321's test suite and, for the generated messages, from
// coreutils' md5sum.

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromText(const char* text) { return Bytes(text, text + std::strlen(text)); }

// A byte pattern whose period (251) is not a multiple of the block size.
std::uint8_t PatternByte(std::uint64_t i) { return static_cast<std::uint8_t>((i * 31 + 7) % 251); }

Bytes Pattern(std::size_t length) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = PatternByte(i);
  return bytes;
}

std::string Text(const std::uint8_t (&digest)[16]) {
  char text[33];
  FormatDigestText(digest, text);
  return text;
}

// How a message is cut into Md5Add calls.
struct Split {
  const char* name;
  std::uint32_t pieceSize;  // 0: the whole message in one call
  std::uint32_t seed;       // not 0: random piece sizes from 0 to 149 instead
};

const Split kSplits[] = {
    {"one call", 0, 0},        {"4096-byte pieces", 4096, 0}, {"single bytes", 1, 0},
    {"63-byte pieces", 63, 0}, {"65-byte pieces", 65, 0},     {"random pieces", 0, 0x2545f491},
    {"random pieces", 0, 0x9e3779b9},
};

std::uint32_t NextRandom(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

std::string DigestText(const Bytes& message, const Split& split) {
  Md5State state;
  Md5Start(state);
  std::uint32_t random = split.seed;
  std::size_t done = 0;
  while (done < message.size()) {
    std::size_t piece = message.size() - done;
    if (split.seed != 0) {
      piece = std::min<std::size_t>(piece, NextRandom(random) % 150);
    } else if (split.pieceSize != 0) {
      piece = std::min<std::size_t>(piece, split.pieceSize);
    }
    Md5Add(state, message.data() + done, static_cast<std::uint32_t>(piece));
    done += piece;
  }
  std::uint8_t digest[16];
  Md5Finish(digest, state);
  return Text(digest);
}

struct KnownDigest {
  Bytes message;
  const char* digest;
};

void ExpectDigestWhateverTheSplit(const KnownDigest& known) {
  for (const Split& split : kSplits) {
    EXPECT_EQ(DigestText(known.message, split), known.digest)
        << known.message.size() << "-byte message, " << split.name << " (seed " << split.seed
        << ")";
  }
}

TEST(Md5, RfcSuiteWhateverTheSplit) {
  const KnownDigest suite[] = {
      {FromText(""), "d41d8cd98f00b204e9800998ecf8427e"},
      {FromText("a"), "0cc175b9c0f1b6a831c399e269772661"},
      {FromText("abc"), "900150983cd24fb0d6963f7d28e17f72"},
      {FromText("message digest"), "f96b697d7cb7938d525a2f31aaf161d0"},
      {FromText("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b"},
      {FromText("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {FromText("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Long enough for the 4096-byte pieces to matter.
      {Bytes(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
  };
  for (const KnownDigest& known : suite) ExpectDigestWhateverTheSplit(known);
}

// Padding and count fill one last block up to 55 bytes past a block boundary and two from
// 56 on; lengths on either side of those edges and of the 4096-byte block of file reads.
TEST(Md5, LengthsAroundBlockAndPaddingEdgesWhateverTheSplit) {
  const std::pair<std::size_t, const char*> lengths[] = {
      {1, "89e74e640b8c46257a29de0616794d5d"},    {55, "d39f7454bbe034082797e66c125a31ad"},
      {56, "8e9dbcce67719f0304ad52c59ff3d743"},   {57, "a299b8643026995363f4eb94158bce68"},
      {63, "19a31d9b1afbd6867266fd6cf4c8821f"},   {64, "8d9cfa334d4e690843fa68e59c798b84"},
      {65, "72d8b171f7f46898ee558ad1a86fb907"},   {119, "ae6c390e7155118a1660c98861bc0d69"},
      {120, "b4a4ce125f8932c19665e554892473c4"},  {121, "cb263c380790f2eac9d32c0b19cc04f3"},
      {127, "57aaebf11a34753459f9b60e725d4f4a"},  {128, "8ce39ed43121181a0846c282c5ce287a"},
      {4095, "56bb57e0d329ffeefe0a9bf3cc2c242c"}, {4096, "5ce632ed79ee7f3783502778dde1dbc5"},
      {4097, "5eb5d472366f847ff9f5686d5759b5f6"},
  };
  for (const auto& [length, digest] : lengths) {
    ExpectDigestWhateverTheSplit({Pattern(length), digest});
  }
}

TEST(Md5, EmptyMessage) {
  Md5State state;
  std::uint8_t digest[16];
  Md5Start(state);
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "d41d8cd98f00b204e9800998ecf8427e");

  // A file of no bytes: the only call adds nothing, with no buffer behind it.
  Md5Start(state);
  Md5Add(state, nullptr, 0);
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, AddingNoBytesChangesNothing) {
  const Bytes message = Pattern(200);
  for (std::size_t before : {0, 1, 55, 63, 64, 65, 200}) {
    Md5State state;
    std::memset(&state, 0xa5, sizeof state);
    Md5Start(state);
    Md5Add(state, message.data(), static_cast<std::uint32_t>(before));
    Md5State copy;
    std::memcpy(&copy, &state, sizeof state);

    Md5Add(state, message.data(), 0);
    Md5Add(state, nullptr, 0);
    EXPECT_EQ(std::memcmp(&copy, &state, sizeof state), 0) << "after " << before << " bytes";
  }
}

TEST(Md5, FinishZeroesEveryByteOfTheState) {
  const Bytes message = Pattern(1000);
  for (std::size_t length : {0, 1, 55, 56, 63, 64, 65, 1000}) {
    Md5State state;
    std::memset(&state, 0xa5, sizeof state);
    Md5Start(state);
    Md5Add(state, message.data(), static_cast<std::uint32_t>(length));
    std::uint8_t digest[16];
    Md5Finish(digest, state);

    unsigned char bytes[sizeof state];
    std::memcpy(bytes, &state, sizeof state);
    for (std::size_t i = 0; i < sizeof state; ++i) {
      ASSERT_EQ(bytes[i], 0) << "byte " << i << " after a " << length << "-byte message";
    }
  }
}

// The file comparison digests both files with one state, restarting it in between.
TEST(Md5, RestartedStateGivesAFreshDigest) {
  Md5State state;
  std::memset(&state, 0x5a, sizeof state);  // whatever the stack held
  std::uint8_t digest[16];

  Md5Start(state);
  Md5Add(state, "message digest", 14);
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "f96b697d7cb7938d525a2f31aaf161d0");

  Md5Start(state);
  Md5Add(state, "abc", 3);
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "900150983cd24fb0d6963f7d28e17f72");

  // A restart in the middle of a block forgets the bytes buffered so far.
  Md5Start(state);
  Md5Add(state, "message digest", 14);
  Md5Start(state);
  Md5Add(state, "abc", 3);
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "900150983cd24fb0d6963f7d28e17f72");
}

// The bit count's low word wraps after 512 MiB of input; the digest of a longer stream must
// still carry the full length.
TEST(Md5, BitCountCarriesIntoHighWordPast512MiB) {
  constexpr std::uint32_t kPiece = 4096;
  constexpr std::uint64_t kLength = (std::uint64_t{1} << 29) + 1;
  const Bytes window = Pattern(kPiece + 251);  // every piece starts somewhere in one period

  Md5State state;
  Md5Start(state);
  std::uint64_t done = 0;
  while (done < kLength) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, kLength - done));
    Md5Add(state, window.data() + done % 251, piece);
    done += piece;
    if (done == kLength - 1) {
      EXPECT_EQ(state.bitCount[0], 0u);
      EXPECT_EQ(state.bitCount[1], 1u);
    }
  }
  EXPECT_EQ(state.bitCount[0], 8u);
  EXPECT_EQ(state.bitCount[1], 1u);

  std::uint8_t digest[16];
  Md5Finish(digest, state);
  EXPECT_EQ(Text(digest), "6ef7bc031e552f812afc9ae006246f10");
}

TEST(DigestText, LowercaseHexKeepingLeadingZeros) {
  const std::uint8_t digest[16] = {0x00, 0x01, 0x09, 0x0a, 0x0f, 0x10, 0x1f, 0x7f,
                                   0x80, 0xa5, 0xc3, 0xde, 0xef, 0xf0, 0xfe, 0xff};
  char text[33];
  std::memset(text, 'X', sizeof text);
  FormatDigestText(digest, text);
  EXPECT_EQ(text[32], '\0');
  EXPECT_STREQ(text, "0001090a0f101f7f80a5c3deeff0feff");
}

}  // namespace
