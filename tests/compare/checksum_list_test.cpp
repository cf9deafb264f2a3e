// MD5 lists in the forms people have them, and the lines this program writes.
#include "compare/checksum_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const char kHash[] = "d41d8cd98f00b204e9800998ecf8427e";
const std::uint8_t kDigest[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                  0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};

std::string Text(const PlainText& text) { return std::string(text.data(), text.size()); }

TEST(ChecksumList, EveryFormReadsAndNothingElseDoes) {
  const std::string h = kHash, upper = "D41D8CD98F00B204E9800998ECF8427E";
  const struct {
    std::string line;
    ChecksumLine kind;
    std::string name;
  } kLines[] = {
      {h + " *a/b.bin", ChecksumLine::kEntry, "a/b.bin"},
      {h + "  name with  blanks ", ChecksumLine::kEntry, "name with  blanks "},
      {upper + " *x", ChecksumLine::kEntry, "x"},
      {"\\" + h + " *a\\\\b\\nc\\rd", ChecksumLine::kEntry, "a\\b\nc\rd"},
      {"MD5 (dir/f (1).txt) = " + h, ChecksumLine::kEntry, "dir/f (1).txt"},
      {"\\MD5 (a\\nb) = " + upper, ChecksumLine::kEntry, "a\nb"},
      {"", ChecksumLine::kNothing, ""},
      {"   \t", ChecksumLine::kNothing, ""},
      {"# made by md5sum", ChecksumLine::kNothing, ""},
      {"; a comment", ChecksumLine::kNothing, ""},
      {h, ChecksumLine::kMalformed, ""},                        // no name
      {h + " *", ChecksumLine::kMalformed, ""},                 // an empty name
      {h + "x *a", ChecksumLine::kMalformed, ""},               // 33 digits
      {h.substr(1) + "g *a", ChecksumLine::kMalformed, ""},     // not hex
      {h + "\t*a", ChecksumLine::kMalformed, ""},               // a tab for the blank
      {h + " -a", ChecksumLine::kMalformed, ""},                // no mode character
      {"\\" + h + " *a\\x", ChecksumLine::kMalformed, ""},      // an unknown escape
      {"\\" + h + " *a\\", ChecksumLine::kMalformed, ""},       // an escape cut short
      {"MD5 () = " + h, ChecksumLine::kMalformed, ""},
      {"MD5 (a) = " + h.substr(1), ChecksumLine::kMalformed, ""},
      {"SHA1 (a) = " + h, ChecksumLine::kMalformed, ""},
  };
  for (const auto& c : kLines) {
    SCOPED_TRACE(c.line);
    std::uint8_t digest[16] = {};
    PlainText name;
    EXPECT_EQ(ParseChecksumLine(c.line.data(), c.line.size(), digest, name), c.kind);
    if (c.kind != ChecksumLine::kEntry) continue;
    EXPECT_EQ(Text(name), c.name);
    EXPECT_EQ(std::memcmp(digest, kDigest, 16), 0);
  }
}

TEST(ChecksumList, LinesAreSplitAtLfOrCrLfAfterAByteOrderMark) {
  const std::string text = "\xEF\xBB\xBF" "one\r\ntwo\n\nthree";
  std::vector<std::pair<int, std::string>> lines;
  ForEachChecksumLine(text.data(), text.size(),
                      [&](int number, const char* line, std::size_t length) { lines.emplace_back(number, std::string(line, length)); });
  EXPECT_EQ(lines, (std::vector<std::pair<int, std::string>>{{1, "one"}, {2, "two"}, {3, ""}, {4, "three"}}));
}

TEST(ChecksumList, ListedPathsStayBelowTheirFolder) {
  const struct {
    const char* name;
    const char* below;  // null: refused
  } kPaths[] = {
      {"a/b/c.bin", "a\\b\\c.bin"}, {"a\\b", "a\\b"},      {"./a//b/./c", "a\\b\\c"}, {"a/../b", "b"},
      {"a/b/../../c", "c"},         {"../a", nullptr},     {"a/../../b", nullptr},   {"/etc/passwd", nullptr},
      {"\\a", nullptr},             {"C:\\a", nullptr},    {"a:stream", nullptr},    {".", nullptr},
      {"a/..", nullptr},
  };
  for (const auto& c : kPaths) {
    PlainText below;
    EXPECT_EQ(PathBelowFolder(c.name, '\\', below), c.below != nullptr) << c.name;
    EXPECT_EQ(Text(below), c.below ? c.below : "") << c.name;
  }
}

TEST(ChecksumList, UTF8IsToldFromOtherBytes) {
  const std::pair<std::string, bool> kTexts[] = {
      {"plain", true},           {"\xE6\x97\xA5\xE6\x9C\xAC", true}, {"\xF0\x9F\x98\x80", true},
      {"caf\xE9", false},        {"\xC0\xAF", false},                {"\xED\xA0\x80", false},
      {"\xE6\x97", false},       {"\xF4\x90\x80\x80", false},
  };
  for (const auto& [text, valid] : kTexts) EXPECT_EQ(IsValidUtf8(text.data(), text.size()), valid) << text;
}

// What this program writes reads back as it was, for any name at all; hostile lines of any
// bytes are taken apart without a fault (the sanitizers watch).
TEST(ChecksumList, WrittenLinesReadBackAndAnyBytesAreSafe) {
  PlainText written;
  AddReadErrorLine("bad\nname", written);
  EXPECT_EQ(Text(written), "# READ ERROR: bad?name\n");
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    std::string name(1 + random() % 40, ' ');
    for (char& unit : name) unit = static_cast<char>(1 + random() % 255);
    std::uint8_t digest[16];
    for (auto& byte : digest) byte = static_cast<std::uint8_t>(random());
    PlainText line;
    AddChecksumLine(digest, name.c_str(), line);
    ASSERT_EQ(line.c_str()[line.size() - 1], '\n');
    std::uint8_t read[16] = {};
    PlainText readName;
    ASSERT_EQ(ParseChecksumLine(line.data(), line.size() - 1, read, readName), ChecksumLine::kEntry) << Text(line);
    EXPECT_EQ(Text(readName), name);
    EXPECT_EQ(std::memcmp(read, digest, 16), 0);
    std::string hostile(random() % 120, ' ');
    for (char& unit : hostile) unit = "\\*MD5 () =#;\r\n0af"[random() % 18];
    ParseChecksumLine(hostile.data(), hostile.size(), read, readName);
    PlainText below;
    PathBelowFolder(std::string(hostile.c_str()).c_str(), '/', below);
  }
}

}  // namespace
