#include "verify/scan_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Joined {
  bool fits;
  std::u16string text;
  bool zeroFilled;  // every unit after the text is zero
};

Joined Join(const std::u16string& directory, const std::u16string& name, bool asFolder) {
  char16_t dir[kWidePathUnits] = {};
  directory.copy(dir, kWidePathUnits - 1);
  char16_t out[kWidePathUnits];
  for (auto& unit : out) unit = u'#';
  Joined joined;
  joined.fits = JoinScanPath(dir, name.c_str(), asFolder, out);
  joined.text = out;
  joined.zeroFilled = true;
  for (std::size_t i = joined.text.size(); i < kWidePathUnits; ++i) {
    joined.zeroFilled = joined.zeroFilled && out[i] == 0;
  }
  return joined;
}

TEST(JoinScanPath, JoinsWithOneBackslashAndFlagsWhatDoesNotFit) {
  const std::u16string folder250 = u"S:\\" + std::u16string(246, u'd') + u"\\";  // 250 units
  const struct {
    std::u16string directory, name;
    bool asFolder, fits;
    std::u16string expected;
  } kCases[] = {
      {u"S:\\", u"a.bin", false, true, u"S:\\a.bin"},
      {u"S:\\sub", u"a.bin", false, true, u"S:\\sub\\a.bin"},
      {u"S:\\", u"sub", true, true, u"S:\\sub\\"},
      // 250 + 9 = 259: the longest path that fits.
      {folder250, u"123456789", false, true, folder250 + u"123456789"},
      {folder250, u"12345678", true, true, folder250 + u"12345678\\"},
      // One more: shown as the root, "..." and the last 253 units.
      {folder250, u"1234567890", false, false,
       u"S:\\..." + (folder250 + u"1234567890").substr(260 - 253)},
      {folder250, u"123456789", true, false,
       u"S:\\..." + (folder250 + u"123456789\\").substr(260 - 253)},
      // A name of 255 units in a deep folder: the tail is the name's end.
      {folder250, std::u16string(255, u'n'), false, false, u"S:\\..." + std::u16string(253, u'n')},
  };
  for (const auto& c : kCases) {
    const Joined joined = Join(c.directory, c.name, c.asFolder);
    EXPECT_EQ(joined.fits, c.fits) << c.directory.size() << " + " << c.name.size();
    EXPECT_EQ(joined.text, c.expected) << c.directory.size() << " + " << c.name.size();
    EXPECT_LE(joined.text.size(), kWidePathUnits - 1);
    EXPECT_TRUE(joined.zeroFilled);
  }
}

TEST(JoinScanPath, AnsiBytesAreKeptAsTheyAre) {
  char directory[kWidePathUnits] = "T:\\caf\xE9\\";
  char out[kWidePathUnits];
  EXPECT_TRUE(JoinScanPath(directory, "\xFC\x80.bin", false, out));
  EXPECT_STREQ(out, "T:\\caf\xE9\\\xFC\x80.bin");
}

}  // namespace
