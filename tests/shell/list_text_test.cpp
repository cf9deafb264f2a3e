#include "shell/list_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Lines(ListTextFormat format, const std::vector<std::vector<std::u16string>>& rows) {
  ListText<char16_t> text(format);
  for (const auto& row : rows) {
    for (const auto& cell : row) text.AddCell(cell.data(), cell.size());
    text.EndLine();
  }
  EXPECT_FALSE(text.failed());
  return std::u16string(text.units(), text.length());
}

// Only a cell that holds a comma, a double quote, CR or LF is quoted in CSV; tab-separated
// text takes every cell as it is.
TEST(ListText, CsvQuotesOnlyTheCellsThatNeedItAndTextTakesThemAsTheyAre) {
  const std::vector<std::vector<std::u16string>> rows = {
      {u"File Name", u"File Size", u"Status"},
      {u"C:\\plain.bin", u"5000 bytes", u"READ OK"},
      {u"C:\\a,b.bin", u"say \"hi\"", u"line\r\nbreak"},
      {u"C:\\lone\nfeed", u"", u"\u8aad\u307f"},
  };
  EXPECT_EQ(Lines(ListTextFormat::kCsv, rows),
            u"File Name,File Size,Status\r\n"
            u"C:\\plain.bin,5000 bytes,READ OK\r\n"
            u"\"C:\\a,b.bin\",\"say \"\"hi\"\"\",\"line\r\nbreak\"\r\n"
            u"\"C:\\lone\nfeed\",,\u8aad\u307f\r\n");
  EXPECT_EQ(Lines(ListTextFormat::kTabSeparated, rows),
            u"File Name\tFile Size\tStatus\r\n"
            u"C:\\plain.bin\t5000 bytes\tREAD OK\r\n"
            u"C:\\a,b.bin\tsay \"hi\"\tline\r\nbreak\r\n"
            u"C:\\lone\nfeed\t\t\u8aad\u307f\r\n");
}

TEST(ListText, GrowsPastItsFirstBlockWithoutLosingALine) {
  const std::u16string cell(259, u'x');
  ListText<char16_t> text(ListTextFormat::kTabSeparated);
  for (int row = 0; row < 1000; ++row) {
    text.AddCell(cell.data(), cell.size());
    text.EndLine();
  }
  ASSERT_EQ(text.length(), 1000u * 261);
  EXPECT_EQ(std::u16string(text.units() + 999 * 261, 261), cell + u"\r\n");
}

std::string Utf8File(const std::u16string& text) {
  std::string bytes(Utf8FileCapacity(text.size()), '?');
  bytes.resize(EncodeUtf8File(text.data(), text.size(), bytes.data()));
  return bytes;
}

TEST(ListText, FilesAreUtf8WithAByteOrderMark) {
  EXPECT_EQ(Utf8File(u""), "\xEF\xBB\xBF");
  EXPECT_EQ(Utf8File(u"A,\u00e9\u8aad\r\n"), "\xEF\xBB\xBF" "A,\xC3\xA9\xE8\xAA\xAD\r\n");
  // A pair of surrogates is one character of four bytes; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(Utf8File(u"\U0001F4BE"), "\xEF\xBB\xBF\xF0\x9F\x92\xBE");
  EXPECT_EQ(Utf8File(std::u16string(1, char16_t(0xD83D)) + u"x" + std::u16string(1, char16_t(0xDCBE))),
            "\xEF\xBB\xBF\xEF\xBF\xBDx\xEF\xBF\xBD");
  // The room the caller gives is enough for three bytes a unit.
  const std::u16string widest(100, u'\uFFFF');
  EXPECT_EQ(Utf8File(widest).size(), Utf8FileCapacity(widest.size()));
}

}  // namespace
