#include "salvage/destination_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(DestinationRules, LargestFileByFileSystem) {
  const struct {
    const char* name;
    std::uint64_t largest;
  } kCases[] = {
      {"FAT32", 4294967295u}, {"fat32", 4294967295u}, {"FAT", 4294967295u},
      {"FAT12", 4294967295u}, {"Fat16", 4294967295u}, {"exFAT", UINT64_MAX},
      {"NTFS", UINT64_MAX},   {"UDF", UINT64_MAX},    {"FAT3", UINT64_MAX},
      {"FAT32X", UINT64_MAX}, {"", UINT64_MAX},       {nullptr, UINT64_MAX},
  };
  for (const auto& c : kCases) EXPECT_EQ(LargestFileOnFileSystem(c.name), c.largest) << (c.name ? c.name : "null");
}

VolumeIdentity Volume(char letter, const char* name, std::uint32_t serial) {
  VolumeIdentity volume;
  volume.letter = letter;
  std::strncpy(volume.volumeName, name, kVolumeNameUnits - 1);
  volume.serial = serial;
  return volume;
}

// The folder's volume as the calls give it, against the checked drive E:, a stick.
TEST(DestinationRules, SameVolumeFromWhatTheCallsGive) {
  const char* stick = "\\\\?\\Volume{5c1f0a7e-0000-0000-0000-100000000000}\\";
  const char* other = "\\\\?\\Volume{5c1f0a7e-0000-0000-0000-200000000000}\\";
  const VolumeIdentity drive = Volume('E', stick, 0x1234ABCD);
  const struct {
    const char* what;
    VolumeIdentity folder;
    bool same;
  } kCases[] = {
      {"the same letter", Volume('e', stick, 0x1234ABCD), true},
      {"the same letter, nothing else known", Volume('E', "", 0), true},
      {"the stick mounted at C:\\mnt\\stick", Volume('C', stick, 0x1234ABCD), true},
      {"the stick mounted, its serial unknown", Volume('C', stick, 0), true},
      {"another volume mounted at E:\\mnt\\other", Volume('E', other, 0x55550000), false},
      {"a subst'd letter of E:", Volume('X', "", 0x1234ABCD), true},
      {"a network letter sharing E:", Volume('N', "", 0x1234ABCD), true},
      {"a share of E:", Volume(0, "", 0x1234ABCD), true},
      {"a network letter of another machine", Volume('N', "", 0x77770000), false},
      {"another letter, nothing known", Volume('D', "", 0), false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SameVolume(c.folder, drive), c.same) << c.what;
    EXPECT_EQ(SameVolume(drive, c.folder), c.same) << c.what << ", asked the other way";
  }
  // Two shares whose serials are unknown tell nothing.
  EXPECT_FALSE(SameVolume(Volume(0, "", 0), Volume(0, "", 0)));
}

TEST(DestinationRules, VolumeRootOfTheText) {
  const struct {
    const char* path;
    const char* root;  // null: no root
  } kCases[] = {
      {"C:\\rescue\\here", "C:\\"}, {"d:", "d:\\"},     {"\\\\server\\share\\rescue", "\\\\server\\share\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},    {"rescue\\here", nullptr}, {"\\rescue", nullptr},
  };
  for (const auto& c : kCases) {
    char16_t path[kWidePathUnits] = {};
    char16_t root[kWidePathUnits];
    for (std::size_t i = 0; c.path[i]; ++i) path[i] = static_cast<char16_t>(c.path[i]);
    ASSERT_EQ(VolumeRootOfText(path, root), c.root != nullptr) << c.path;
    if (c.root) {
      EXPECT_EQ(std::u16string(root), std::u16string(c.root, c.root + std::strlen(c.root))) << c.path;
    }
  }
  // A share name that fills the path still gets its closing backslash and terminator.
  char16_t path[kWidePathUnits];
  char16_t root[kWidePathUnits];
  for (auto& unit : path) unit = u's';
  path[0] = path[1] = u'\\';
  path[kWidePathUnits - 1] = 0;
  ASSERT_TRUE(VolumeRootOfText(path, root));
  EXPECT_EQ(root[kWidePathUnits - 2], u'\\');
  EXPECT_EQ(root[kWidePathUnits - 1], 0);
}

}  // namespace
