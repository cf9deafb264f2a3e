#include "tools/bad_media_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/bad_media_pattern.h"

namespace {

BadMediaTree MustParse(const std::string& text)
{
  BadMediaTree tree;
  std::string error;
  EXPECT_TRUE(ParseBadMediaTree(text, tree, error)) << error;
  return tree;
}

const BadMediaFile& FileAt(const BadMediaTree& tree, const std::string& path)
{
  const BadMediaNode* node = tree.Find(path);
  if (node == nullptr || node->isDir) throw std::runtime_error("no file " + path);
  return tree.files[node->file];
}

std::string ParseError(const std::string& text)
{
  BadMediaTree tree;
  std::string error;
  EXPECT_FALSE(ParseBadMediaTree(text, tree, error)) << "accepted:\n" << text;
  return error;
}

uint64_t Number(const std::string& text)
{
  uint64_t value = 0xDEADBEEF;
  std::string error;
  EXPECT_TRUE(ParseBadMediaNumber(text, value, error)) << text << ": " << error;
  return value;
}

TEST(BadMediaTreeNumbers, SuffixesAreBinaryMultiples)
{
  EXPECT_EQ(Number("0"), 0u);
  EXPECT_EQ(Number("4096"), 4096u);
  EXPECT_EQ(Number("1K"), 1024u);
  EXPECT_EQ(Number("3k"), 3072u);
  EXPECT_EQ(Number("2M"), 2u << 20);
  EXPECT_EQ(Number("4G"), 4ull << 30);
  EXPECT_EQ(Number("1T"), 1ull << 40);
}

TEST(BadMediaTreeNumbers, SumsAddTheirTerms)
{
  EXPECT_EQ(Number("4G+4097"), 4294971393ull);
  EXPECT_EQ(Number("1M+1K+1"), 1049601u);
  EXPECT_EQ(Number("18446744073709551615"), UINT64_MAX);
}

TEST(BadMediaTreeNumbers, RejectsMalformedAndOverflowingNumbers)
{
  for (const char* text : {"", "+", "4G+", "+1", "12Q", "1KB", "-1", "0x10", "1 2", "18446744073709551616",
                           "16777216T", "18446744073709551615+1"}) {
    uint64_t value = 0;
    std::string error;
    EXPECT_FALSE(ParseBadMediaNumber(text, value, error)) << "accepted '" << text << "' as " << value;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(BadMediaTreeParse, FilesDirectoriesAndImplicitParents)
{
  BadMediaTree tree = MustParse(
      "# a comment\n"
      "\n"
      "   \t\n"
      "dir empty\n"
      "file top.bin\t4096\n"
      "  file a/b/deep.bin 5   \n"
      "dir a/b\n"  // repeating an implicit directory is harmless
      "file a/first.bin 0\r\n");

  const BadMediaNode* root = tree.Find("");
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->isDir);
  EXPECT_EQ(root->children, (std::vector<std::string>{"a", "empty", "top.bin"}));
  ASSERT_NE(tree.Find("/a"), nullptr);
  EXPECT_EQ(tree.Find("/a")->children, (std::vector<std::string>{"b", "first.bin"}));
  EXPECT_EQ(tree.Find("a/b")->children, (std::vector<std::string>{"deep.bin"}));
  EXPECT_TRUE(tree.Find("empty")->isDir);
  EXPECT_TRUE(tree.Find("empty")->children.empty());
  EXPECT_EQ(tree.Find("a/missing"), nullptr);

  EXPECT_EQ(FileAt(tree, "top.bin").size, 4096u);
  EXPECT_EQ(FileAt(tree, "a/b/deep.bin").size, 5u);
  EXPECT_EQ(FileAt(tree, "a/first.bin").size, 0u);
  EXPECT_EQ(FileAt(tree, "a/first.bin").path, "a/first.bin");
}

TEST(BadMediaTreeParse, FileOptions)
{
  BadMediaTree tree = MustParse(
      "file plain.bin 4G+4097\n"
      "file bad.bin 1M bad=4096-8192 bad=512K-512K+1 delay=250 seed=42 cache\n"
      "file marginal.bin 1M marginal=4K-8K,3 slowfail=20000 marginal=1023K-1M,1\n");

  const BadMediaFile& plain = FileAt(tree, "plain.bin");
  EXPECT_EQ(plain.size, 4294971393ull);
  EXPECT_TRUE(plain.bad.empty());
  EXPECT_EQ(plain.delayMs, 0u);
  EXPECT_FALSE(plain.cache);
  EXPECT_EQ(plain.seed, BadMediaDefaultSeed("plain.bin"));

  const BadMediaFile& bad = FileAt(tree, "bad.bin");
  ASSERT_EQ(bad.bad.size(), 2u);
  EXPECT_EQ(bad.bad[0].start, 4096u);
  EXPECT_EQ(bad.bad[0].end, 8192u);
  EXPECT_EQ(bad.bad[1].start, 524288u);
  EXPECT_EQ(bad.bad[1].end, 524289u);
  EXPECT_EQ(bad.delayMs, 250u);
  EXPECT_EQ(bad.seed, 42u);
  EXPECT_TRUE(bad.cache);
  EXPECT_EQ(bad.slowFailMs, 0u);

  const BadMediaFile& marginal = FileAt(tree, "marginal.bin");
  ASSERT_EQ(marginal.marginal.size(), 2u);
  const BadMediaMarginalRange &first = marginal.marginal[0], &last = marginal.marginal[1];
  EXPECT_EQ(std::vector<uint64_t>({first.range.start, first.range.end, first.times, last.range.start, last.times}),
            (std::vector<uint64_t>{4096, 8192, 3, 1023 << 10, 1}));
  EXPECT_EQ(marginal.slowFailMs, 20000u);
}

TEST(BadMediaTreeParse, FolderFaultsLinksAndDosAttributes)
{
  BadMediaTree tree = MustParse(
      "dir locked unenterable\n"
      "dir muddled unlistable\n"
      "link a/up ..\n"
      "file a/marked.bin 1 hidden system\n"
      "file a/hidden.bin 1 hidden\n"
      "dir out writable\n"
      "dir full writable eio=1M+100 short=400K,3 enospc=2M\n"
      "dir once writable short=4K\n"
      "dir cd sector=2K\n"
      "file cd/sub/a.bin 1\n"
      "dir cd/sub/small sector=512\n");
  EXPECT_EQ(tree.Find("locked")->dirFault, BadMediaDirFault::kUnenterable);
  EXPECT_EQ(tree.Find("muddled")->dirFault, BadMediaDirFault::kUnlistable);
  EXPECT_EQ(tree.Find("a")->dirFault, BadMediaDirFault::kNone);
  EXPECT_EQ(tree.Find("a")->children, (std::vector<std::string>{"hidden.bin", "marked.bin", "up"}));
  EXPECT_TRUE(tree.Find("a/up")->isLink);
  EXPECT_EQ(tree.Find("a/up")->linkTarget, "..");
  EXPECT_EQ(FileAt(tree, "a/marked.bin").dosAttributes, 6u);
  EXPECT_EQ(FileAt(tree, "a/hidden.bin").dosAttributes, 2u);

  EXPECT_FALSE(tree.Find("a")->writable);
  ASSERT_TRUE(tree.Find("out")->writable);
  const BadMediaWriteFaults& none = tree.Find("out")->writeFaults;
  EXPECT_FALSE(none.shortAt || none.enospcAt || none.eioAt);
  const BadMediaWriteFaults& full = tree.Find("full")->writeFaults;
  EXPECT_EQ(full.shortAt.value_or(0), 409600u);
  EXPECT_EQ(full.shortTimes, 3u);
  EXPECT_EQ(full.enospcAt.value_or(0), 2u << 20);
  EXPECT_EQ(full.eioAt.value_or(0), 1048676u);
  EXPECT_EQ(tree.Find("once")->writeFaults.shortTimes, 1u);

  // A folder's block size holds below it, up to a folder with one of its own.
  const std::pair<const char*, uint32_t> blockSizes[] = {
      {"", 4096}, {"cdrom", 4096}, {"/cd/sub/a.bin", 2048}, {"cd/sub/small", 512}};
  for (const auto& at : blockSizes) EXPECT_EQ(tree.BlockSizeAt(at.first), at.second) << at.first;
}

TEST(BadMediaTreeParse, PathBytesAreKeptAsWritten)
{
  const std::string path = "caf\xE9/\xC3\xA9t\xE9.bin";
  BadMediaTree tree = MustParse("file " + path + " 10\n");
  EXPECT_EQ(tree.Find("")->children, (std::vector<std::string>{"caf\xE9"}));
  EXPECT_EQ(FileAt(tree, path).seed, BadMediaDefaultSeed(path.c_str()));
}

TEST(BadMediaTreeParse, ErrorsNameTheLineAndTheReason)
{
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"file a 1\nfolder b\n", "line 2: unknown entry 'folder'"},
      {"# c\n\nfile a\n", "line 3: expected 'file <path> <size> [options]'"},
      {"dir\n", "line 1: expected 'dir <path>'"},
      {"dir a b\n", "line 1: expected 'dir <path>'"},
      {"dir a unenterable x\n", "line 1: expected 'dir <path>'"},
      {"link a\n", "line 1: expected 'link <path> <target>'"},
      {"file a 1\nlink a b\n", "line 2: 'a' is declared twice"},
      {"file a 12Q\n", "line 1: '12Q' has an unknown suffix"},
      {"file a 10 bad=5\n", "line 1: 'bad=5' must be bad=<start>-<end>"},
      {"file a 10 bad=5-5\n", "line 1: 'bad=5-5' is empty"},
      {"file a 10 bad=6-5\n", "line 1: 'bad=6-5' is empty"},
      {"file a 10 bad=5-11\n", "line 1: 'bad=5-11' reaches past the file size 10"},
      {"file a 10 delay=5 delay=6\n", "line 1: delay= given twice"},
      {"file a 10 delay=1T\n", "line 1: 'delay=1T' is longer than a day"},
      {"file a 10 seed=1 seed=2\n", "line 1: seed= given twice"},
      {"file a 10 seed=x\n", "line 1: 'x' is not a number"},
      {"file a 10 fast\n", "line 1: unknown option 'fast'"},
      {"file a 10 marginal=2-5\n", "line 1: 'marginal=2-5' must be marginal=<start>-<end>,<times>"},
      {"file a 10 marginal=2-5,0\n", "line 1: 'marginal=2-5,0' must fail at least once"},
      {"file a 10 marginal=5-11,1\n", "line 1: 'marginal=5-11,1' reaches past the file size 10"},
      {"file a 10 slowfail=5 slowfail=6\n", "line 1: slowfail= given twice"},
      {"file a 10 slowfail=2T\n", "line 1: 'slowfail=2T' is longer than a day"},
      {"dir a sector=1000\n", "line 1: 'sector=1000' must be a power of two from 512 to 64K"},
      {"dir a sector=2K sector=2K\n", "line 1: sector= given twice"},
      {"dir a sector=2K\ndir a sector=4K\n", "line 2: 'a' is given a sector size twice"},
      {"file a 10\nfile a 20\n", "line 2: 'a' is declared twice"},
      {"dir a\nfile a 20\n", "line 2: 'a' is declared twice"},
      {"file a 10\nfile a/b 20\n", "line 2: 'a' is already a file"},
      {"file a 10\ndir a\n", "line 2: 'a' is already a file"},
      {"file /abs 1\n", "line 1: path '/abs' must be relative"},
      {"file a//b 1\n", "line 1: path 'a//b' has an empty"},
      {"file a/../b 1\n", "line 1: path 'a/../b' has an empty, '.' or '..'"},
      {"dir a/\n", "line 1: path 'a/' has an empty"},
      {"file big 9223372036854775808\n", "line 1: size '9223372036854775808' is too large"},
      {"dir a eio=4K\n", "line 1: 'eio=4K' needs a writable folder"},
      {"dir a unenterable short=1K\n", "line 1: 'short=1K' needs a writable folder"},
      {"dir a writable short=1K enospc=2K short=2K\n", "line 1: short= given twice"},
      {"dir a writable writable\n", "line 1: writable given twice"},
      {"dir a writable enospc=4Q\n", "line 1: '4Q' has an unknown suffix"},
      {"dir a writable short=1K,\n", "line 1: '' is not a number"},
      {"dir a writable full\n", "line 1: expected 'dir <path>'"},
      {"dir a writable unenterable\n", "line 1: a writable folder cannot be unenterable or unlistable"},
      {"dir a unlistable\ndir a writable\n", "line 2: a writable folder cannot be unenterable or unlistable"},
      {"dir a writable\nfile a/b 1\n", "line 2: 'a' is writable: it holds no entries"},
      {"dir a writable\ndir a/b\n", "line 2: 'a' is writable: it holds no entries"},
      {"dir a writable\nlink a/up ..\n", "line 2: 'a' is writable: it holds no entries"},
      {"file a/b 1\ndir a writable\n", "line 2: 'a' holds entries, so it cannot be writable"},
  };
  for (const Case& c : cases) {
    std::string error = ParseError(c.text);
    EXPECT_EQ(error.rfind(c.expected, 0), 0u) << "for:\n" << c.text << "got: " << error;
  }
}

TEST(BadMediaTreeParse, FailedParseLeavesTheTreeAlone)
{
  BadMediaTree tree = MustParse("file keep.bin 1\n");
  std::string error;
  EXPECT_FALSE(ParseBadMediaTree("file new.bin 1\nbogus\n", tree, error));
  EXPECT_NE(tree.Find("keep.bin"), nullptr);
  EXPECT_EQ(tree.Find("new.bin"), nullptr);
}

TEST(BadMediaTreeParse, MissingTreeFileIsAnError)
{
  BadMediaTree tree;
  std::string error;
  EXPECT_FALSE(LoadBadMediaTree("/nonexistent/tree.txt", tree, error));
  EXPECT_NE(error.find("/nonexistent/tree.txt"), std::string::npos) << error;
}

TEST(BadMediaReadFails, OverlapWithABadRangeFailsTheWholeRead)
{
  BadMediaTree tree = MustParse("file f 20000 bad=8192-12288 bad=19999-20000\n");
  const BadMediaFile& file = FileAt(tree, "f");
  EXPECT_FALSE(BadMediaReadFails(file, 0, 4096));
  EXPECT_FALSE(BadMediaReadFails(file, 4096, 4096));     // ends right at the bad range
  EXPECT_TRUE(BadMediaReadFails(file, 4097, 4096));      // its last byte is bad
  EXPECT_TRUE(BadMediaReadFails(file, 8192, 4096));
  EXPECT_TRUE(BadMediaReadFails(file, 12287, 1));
  EXPECT_TRUE(BadMediaReadFails(file, 0, 20000));        // covers it
  EXPECT_FALSE(BadMediaReadFails(file, 12288, 4096));    // starts right after it
  EXPECT_TRUE(BadMediaReadFails(file, 16384, 4096));     // reaches the last byte
  EXPECT_FALSE(BadMediaReadFails(file, 16384, 3615));
  EXPECT_FALSE(BadMediaReadFails(file, 8192, 0));        // asks for nothing
}

TEST(BadMediaReadFails, ReadsAreClippedToTheFileSize)
{
  BadMediaTree tree = MustParse("file f 10000 bad=0-4096\n");
  const BadMediaFile& file = FileAt(tree, "f");
  EXPECT_FALSE(BadMediaReadFails(file, 10000, 4096));   // at the end: reads nothing
  EXPECT_FALSE(BadMediaReadFails(file, 1ull << 62, 4096));
  EXPECT_FALSE(BadMediaReadFails(file, 8192, UINT64_MAX));
  EXPECT_TRUE(BadMediaReadFails(file, 4095, UINT64_MAX));
}

// The definition the fast fill must agree with, byte by byte.
unsigned char ReferenceByte(uint64_t seed, uint64_t offset)
{
  uint64_t z = (seed ^ (offset / 8)) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<unsigned char>(z >> (8 * (offset % 8)));
}

TEST(BadMediaPattern, DefaultSeedIsFnv1a64OfThePath)
{
  EXPECT_EQ(BadMediaDefaultSeed(""), 0xCBF29CE484222325ull);
  EXPECT_EQ(BadMediaDefaultSeed("a"), 0xAF63DC4C8601EC8Cull);
  EXPECT_EQ(BadMediaDefaultSeed("foobar"), 0x85944171F73967E8ull);
}

TEST(BadMediaPattern, FirstWordIsSplitMix64FirstOutput)
{
  unsigned char bytes[8];
  BadMediaFill(0, 0, bytes, sizeof bytes);
  const unsigned char expected[8] = {0xAF, 0xCD, 0x1D, 0x7B, 0x39, 0xA8, 0x20, 0xE2};
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 8), std::vector<unsigned char>(expected, expected + 8));
}

TEST(BadMediaPattern, EveryOffsetAndLengthMatchesTheDefinition)
{
  const uint64_t seed = BadMediaDefaultSeed("dir/file.bin");
  const uint64_t bases[] = {0, 4096, (4ull << 30) - 5, (4ull << 30) + 4093};
  for (uint64_t base : bases) {
    for (uint64_t start = 0; start < 9; ++start) {
      for (size_t length = 0; length < 27; ++length) {
        // Guard bytes on both sides show writes outside the asked range.
        unsigned char buffer[40];
        std::memset(buffer, 0x5A, sizeof buffer);
        BadMediaFill(seed, base + start, buffer + 4, length);
        for (size_t i = 0; i < sizeof buffer; ++i) {
          unsigned char expected = (i >= 4 && i < 4 + length) ? ReferenceByte(seed, base + start + i - 4) : 0x5A;
          ASSERT_EQ(buffer[i], expected) << "base " << base << " start " << start << " length " << length << " byte " << i;
        }
      }
    }
  }
}

TEST(BadMediaPattern, DifferentSeedsAndBlocksDiffer)
{
  std::vector<unsigned char> a(4096), b(4096), c(4096);
  BadMediaFill(1, 0, a.data(), a.size());
  BadMediaFill(2, 0, b.data(), b.size());
  BadMediaFill(1, 4096, c.data(), c.size());
  EXPECT_NE(a, b);
  EXPECT_NE(a, c);
}

}  // namespace
