// The folder that Copy Files To... rescues into, checked on real folders and drives.
#include "salvage/rescue_destination.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/results_list_commands.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

std::wstring Reason(DWORD error) {
  char reason[512];
  FormatSystemReason(error, reason);
  return Widen(reason);
}

const std::wstring kOnCheckedDrive =
    L"The folder is on the drive being checked. Writing to a failing medium can destroy what is still readable "
    L"on it: choose a folder on another drive.";

std::wstring CannotBeWritten(DWORD error) {
  return L"The folder does not exist or cannot be written.\n\n" + Reason(error);
}

// The checked drive V: is a removable drive on a folder of its own; nothing is ever left behind
// in a folder that was tried, refused or not.
void ExpectUnfitFoldersRefused() {
  TempFolder checked, other;
  CreateDirectoryW((checked.path() + L"\\rescue").c_str(), nullptr);
  TestDrive drive('V', DRIVE_REMOVABLE, UnixPathOf(checked.path()));
  const std::wstring file = other.CreateFileOfSize(L"file.bin", 10);
  const bool readOnlyDisk = GetFileAttributesW(SalvageDisk("unavailable").c_str()) == INVALID_FILE_ATTRIBUTES;
  const struct {
    std::wstring folder;
    std::wstring message;  // empty: accepted
  } kCases[] = {
      {L"V:\\", kOnCheckedDrive},
      {L"v:\\rescue", kOnCheckedDrive},
      {other.path(), L""},
      {other.path() + L"\\", L""},
      {other.path() + L"\\missing", CannotBeWritten(ERROR_FILE_NOT_FOUND)},
      {other.path() + L"\\missing\\deeper", CannotBeWritten(ERROR_PATH_NOT_FOUND)},
      {file, CannotBeWritten(ERROR_DIRECTORY)},
      // Wine gives a read-only mount as access denied.
      {readOnlyDisk ? SalvageDisk("readonly") : L"", CannotBeWritten(ERROR_ACCESS_DENIED)},
  };
  WidePath root;
  ToWidePath(L"V:\\", root);
  for (const auto& c : kCases) {
    if (c.folder.empty()) continue;  // the read-only disk is not mounted
    SCOPED_TRACE(Narrow(c.folder));
    const std::vector<std::wstring> before = FilesIn(c.folder);
    WidePath folder;
    ToWidePath(c.folder, folder);
    MessageBoxAnswerer answers;
    EXPECT_EQ(RescueFolderRefused(nullptr, folder, root), !c.message.empty());
    if (c.message.empty()) {
      EXPECT_TRUE(answers.seen().empty());
    } else {
      ASSERT_EQ(answers.seen().size(), 1u);
      EXPECT_EQ(answers.seen()[0].caption, L"Read Drive Check");
      EXPECT_EQ(answers.seen()[0].text, c.message);
      EXPECT_EQ(answers.seen()[0].icon, static_cast<UINT>(MB_ICONERROR));
    }
    EXPECT_EQ(FilesIn(c.folder), before);
  }
}

TEST(RescueDestination, UnfitFoldersAreRefusedWithTheSystemsReason) { ExpectUnfitFoldersRefused(); }

// Windows NT 4: the same through the ANSI calls.
TEST(AnsiVariantRescueDestination, RefusesThroughTheAnsiCalls) {
  ASSERT_EQ(g_osMajorVersion, 4);
  ExpectUnfitFoldersRefused();
}

// The free space is that of the folder's own volume, not of the drive whose letter the path
// starts with: S: is a 1 MiB disk, and the same disk is a folder of Z:.
TEST(RescueDestination, FreeSpaceIsOfTheFoldersVolume) {
  REQUIRE_SALVAGE_DISKS();
  for (const std::wstring& path : {std::wstring(L"S:\\"), SalvageDisk("exact")}) {
    SCOPED_TRACE(Narrow(path));
    WidePath folder;
    ToWidePath(path, folder);
    std::uint64_t available = 0;
    ASSERT_TRUE(FolderFreeSpace(folder, available));
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, 1048576u);
  }
  WidePath missing;
  ToWidePath(L"Q:\\nowhere", missing);
  std::uint64_t available = 12345;
  EXPECT_FALSE(FolderFreeSpace(missing, available));
  EXPECT_EQ(available, 12345u);
  // What cannot be told does not keep any file from being copied.
  EXPECT_EQ(LargestFileIn(missing), UINT64_MAX);
}

}  // namespace
