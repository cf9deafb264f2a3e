#include "salvage/salvage_copy.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/block_reading.h"
#include "tests/support/bad_media.h"
#include "tests/support/other_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"
#include "tools/bad_media_pattern.h"

namespace {

// A panel with the results list, status line and Cancel button that the engine uses;
// every message box it shows is answered and kept.
class SalvageCopy : public testing::Test {
 protected:
  void SetUp() override {
    g_salvageWindows.resultsList = panel_.AddResultsList();
    g_salvageWindows.statusLine = panel_.AddStatusLine();
    g_salvageWindows.cancelButton = GetDlgItem(panel_.window(), TestPanel::kCancelId);
    g_cancelFlag = 0;
  }
  void TearDown() override { g_salvageWindows = {}; }

  // Runs one copy; returns its closing message, after checking that there was exactly one.
  SeenMessageBox Copy(const std::wstring& source, const std::wstring& destination) {
    WidePath sourcePath, destinationPath;
    ToWidePath(source, sourcePath);
    ToWidePath(destination, destinationPath);
    const size_t before = answers_.seen().size();
    SalvageCopyFile(panel_.window(), sourcePath, destinationPath);
    EXPECT_EQ(answers_.seen().size(), before + 1);
    EXPECT_FALSE(IsWindowVisible(g_salvageWindows.cancelButton));
    EXPECT_EQ(WindowTextOf(g_salvageWindows.statusLine), L"");
    return answers_.seen().size() > before ? answers_.seen().back() : SeenMessageBox();
  }
  std::vector<ListRow> rows() const { return ReadListRows(g_salvageWindows.resultsList); }
  void PressCancelLater() {
    PostMessageW(panel_.window(), WM_COMMAND, MAKEWPARAM(TestPanel::kCancelId, BN_CLICKED), 0);
  }

  TestPanel panel_;
  MessageBoxAnswerer answers_;
  TempFolder folder_;
};

void ExpectMessage(const SeenMessageBox& box, const wchar_t* text, UINT icon) {
  EXPECT_EQ(box.caption, L"Copy Unreadable File");
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.icon, icon) << Narrow(box.text);
}

using SalvageBlocks = SalvageCopy;

TEST_F(SalvageBlocks, ReadableBlocksCopiedInPlaceUnreadableOnesSkipped) {
  REQUIRE_BAD_MEDIA();
  const struct {
    const char* file;
    std::int64_t size;
    const wchar_t* correctCell;
    const wchar_t* errorCell;
    std::int64_t copyLength;  // unreadable blocks at the end leave the copy shorter
    std::vector<ByteRange> unreadable;
  } kCases[] = {
      {"salvage/empty.bin", 0, L"0 bytes (100%)", L"0 bytes (0%)", 0, {}},
      {"salvage/one_block.bin", 4096, L"4096 bytes (100%)", L"0 bytes (0%)", 4096, {}},
      {"salvage/block_and_byte.bin", 4097, L"4097 bytes (100%)", L"0 bytes (0%)", 4097, {}},
      {"salvage/bad_middle.bin", 1228800, L"1224704 bytes (99%)", L"4096 bytes (1%)", 1228800,
       {{614400, 618496}}},
      {"salvage/bad_last_partial.bin", 40000, L"36864 bytes (92%)", L"3136 bytes (8%)", 36864, {}},
      {"salvage/all_bad.bin", 20480, L"0 bytes (0%)", L"20480 bytes (100%)", 0, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::wstring copy = folder_.path() + L"\\copy.bin";
    BadMediaReadLog log;
    ExpectMessage(Copy(BadMediaPath(c.file), copy), L"Copy is complete.", MB_ICONINFORMATION);
    auto shown = rows();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].cells[0], c.correctCell);
    EXPECT_EQ(shown[0].cells[1], c.errorCell);
    EXPECT_FALSE(shown[0].selected);
    EXPECT_EQ(FileLength(copy), c.copyLength);
    EXPECT_EQ(FirstWrongByte(copy, c.file, c.unreadable), -1);

    // Every block is asked for at its own offset, also after an unreadable one (Wine
    // completes a short read with a read of the rest, which is not the engine's own).
    std::set<std::uint64_t> blockReads, everyBlock;
    for (const auto& read : log.ReadsOf(c.file)) {
      if (read.offset % kReadBlockSize == 0) blockReads.insert(read.offset);
    }
    for (std::int64_t offset = 0; offset < c.size; offset += kReadBlockSize) everyBlock.insert(offset);
    EXPECT_EQ(blockReads, everyBlock);
  }
}

TEST_F(SalvageBlocks, SourceLargerThan4GiBCopiesToIdenticalBytes) {
  REQUIRE_BAD_MEDIA();
  const std::wstring copy = folder_.path() + L"\\huge-copy.bin";
  ExpectMessage(Copy(BadMediaPath("salvage/huge.bin"), copy), L"Copy is complete.",
                MB_ICONINFORMATION);
  auto shown = rows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].cells[0], L"4294971393 bytes (100%)");
  EXPECT_EQ(shown[0].cells[1], L"0 bytes (0%)");
  EXPECT_EQ(FileLength(copy), 4294971393);
  EXPECT_EQ(FirstWrongByte(copy, "salvage/huge.bin", {}), -1);
  DeleteFileW(copy.c_str());  // 4 GiB of real disk
}

TEST_F(SalvageBlocks, ProgressRisesDuringASlowCopyAndIsClearedAtTheEnd) {
  REQUIRE_BAD_MEDIA();
  const std::wstring source = BadMediaPath("salvage/slow_progress.bin");
  Copy(source, folder_.path() + L"\\progress.bin");
  const std::wstring head = L"File: " + source + L" - COPYING ";
  std::vector<int> shown;
  for (const auto& text : panel_.statusTexts(g_salvageWindows.statusLine)) {
    if (text.empty()) continue;
    ASSERT_EQ(text.compare(0, head.size(), head), 0) << Narrow(text);
    shown.push_back(_wtoi(text.c_str() + head.size()));
  }
  ASSERT_FALSE(shown.empty());
  EXPECT_GT(shown.front(), 0);  // never for the first block
  for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]);
  EXPECT_LT(shown.back(), 100);
}

// Names that the engine refuses, or that fail safely, each with the message that ends the run.
TEST_F(SalvageCopy, NameChecksAndUnusableFilesEndWithTheirMessage) {
  const std::wstring source = folder_.CreateFileOfSize(L"Source.bin", 10000);
  const std::string original = FileBytes(source);
  const std::wstring caseTwin = folder_.path() + L"\\SOURCE.BIN";
  const std::wstring missing = folder_.path() + L"\\missing.bin";
  const std::wstring held = folder_.CreateFileOfSize(L"held.bin", 10000);
  const std::wstring copy = folder_.path() + L"\\copy.bin";
  FileHeldOpenForWriting other(held);
  ASSERT_TRUE(other.holding());
  // Another program's file that it lets others delete but not write: never this run's to delete.
  const std::wstring othersFile = folder_.CreateFileOfSize(L"others.bin", 3000);
  const std::string othersBytes = FileBytes(othersFile);
  auto othersProgram = std::make_unique<FileHeldOpenForWriting>(othersFile, FILE_SHARE_READ | FILE_SHARE_DELETE);
  ASSERT_TRUE(othersProgram->holding());
  const struct {
    std::wstring source, destination;
    bool cancelled;  // the flag already set, as though Cancel had been pressed
    const wchar_t* text;
    UINT icon;
  } kCases[] = {
      {L"", L"", false, L"Select source file and its destination name.", MB_ICONINFORMATION},
      {L"C:\\", copy, false, L"Select source file and its destination name.", MB_ICONINFORMATION},
      {source, L"C:\\", false, L"Select source file and its destination name.", MB_ICONINFORMATION},
      {source, source, false, L"Source filepath and destination filepath are the same.", MB_ICONERROR},
      // Another spelling of the source passes the name check but is never written, nor
      // deleted by a cancel.
      {source, caseTwin, false, L"Destination file cannot be created.", MB_ICONERROR},
      {source, caseTwin, true, L"Destination file cannot be created.", MB_ICONERROR},
      {source, othersFile, true, L"Destination file cannot be created.", MB_ICONERROR},
      {missing, copy, false, L"Source file cannot be opened.", MB_ICONERROR},
      {held, copy, false, L"Source file cannot be opened.", MB_ICONERROR},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Narrow(c.source + L" -> " + c.destination));
    // The row of an earlier copy stays after a refusal at the name checks only.
    SendMessageA(g_salvageWindows.resultsList, LVM_DELETEALLITEMS, 0, 0);
    LVITEMA earlier = {};
    earlier.mask = LVIF_TEXT;
    earlier.pszText = const_cast<char*>("earlier");
    SendMessageA(g_salvageWindows.resultsList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&earlier));
    g_cancelFlag = c.cancelled ? 1 : 0;
    ExpectMessage(Copy(c.source, c.destination), c.text, c.icon);
    const bool nameCheck = c.icon == MB_ICONINFORMATION || c.source == c.destination;
    EXPECT_EQ(rows().size(), nameCheck ? 1u : 0u);
    EXPECT_EQ(FileBytes(source), original);
    EXPECT_EQ(FileLength(copy), -1);
  }
  g_cancelFlag = 0;
  othersProgram.reset();  // a deletion would take effect once the other program lets go
  EXPECT_TRUE(FileBytes(othersFile) == othersBytes) << "the other program's file was deleted or changed";
}

TEST_F(SalvageCopy, FourCharacterRelativeNamesAreAccepted) {
  folder_.CreateFileOfSize(L"a.in", 5000);
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder_.path().c_str());
  // "b.ou" has no drive root: the free space comes from its own folder.
  const SeenMessageBox box = Copy(L"a.in", L"b.ou");
  SetCurrentDirectoryW(previous);
  ExpectMessage(box, L"Copy is complete.", MB_ICONINFORMATION);
  EXPECT_EQ(FileBytes(folder_.path() + L"\\b.ou"), FileBytes(folder_.path() + L"\\a.in"));
  ASSERT_EQ(rows().size(), 1u);
  EXPECT_EQ(rows()[0].cells[0], L"5000 bytes (100%)");
}

using SalvageDestination = SalvageCopy;

TEST_F(SalvageDestination, FreeSpaceMustExceedTheSourceSize) {
  REQUIRE_SALVAGE_DISKS();
  ULARGE_INTEGER available, total, totalFree;
  ASSERT_TRUE(GetDiskFreeSpaceExA("S:\\", &available, &total, &totalFree));
  ASSERT_EQ(available.QuadPart, 1048576u) << "S: is the empty 1 MiB disk";
  const std::wstring exact = folder_.CreateFileOfSize(L"exact.bin", 1048576);
  const std::wstring fits = folder_.CreateFileOfSize(L"fits.bin", 1048575);
  ExpectMessage(Copy(exact, L"S:\\copy.bin"), L"Not enough disk free space.", MB_ICONERROR);
  EXPECT_EQ(FileLength(L"S:\\copy.bin"), -1);
  EXPECT_TRUE(rows().empty());
  ExpectMessage(Copy(fits, L"S:\\copy.bin"), L"Copy is complete.", MB_ICONINFORMATION);
  EXPECT_EQ(FileBytes(L"S:\\copy.bin"), FileBytes(fits));
  DeleteFileW(L"S:\\copy.bin");
}

// A destination that stops taking writes ends the copy there: the message says after how many
// bytes, and the copy keeps exactly those.
TEST_F(SalvageDestination, FailingWritesStopTheCopyAndKeepWhatWasWritten) {
  REQUIRE_SALVAGE_DISKS();
  REQUIRE_BAD_MEDIA();
  const std::wstring filler = folder_.CreateFileOfSize(L"big.bin", 1048576);
  const std::wstring faulty = BadMediaPath("salvage/fault_source.bin");
  const struct {
    std::wstring source, copy;
    std::int64_t kept;  // 0: some, up to the 256 KiB of the small disk
  } kCases[] = {
      // A 256 KiB file system of its own, while its drive (Z:) has room.
      {filler, SalvageDisk("full") + L"\\copy.bin", 0},
      // Folders of the bad-media file system whose writes fail at set offsets.
      {faulty, BadMediaPath("out/short-at-block") + L"\\copy.bin", 409600},
      {faulty, BadMediaPath("out/short-in-block") + L"\\copy.bin", 409700},
      {faulty, BadMediaPath("out/disk-full") + L"\\copy.bin", 614400},
      {faulty, BadMediaPath("out/medium-gone") + L"\\copy.bin", 614400},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Narrow(c.copy));
    const SeenMessageBox box = Copy(c.source, c.copy);
    const std::wstring head = L"Copy is incomplete: the destination could not be written after ";
    ASSERT_EQ(box.text.compare(0, head.size(), head), 0) << Narrow(box.text);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    const std::int64_t kept = _wtoi64(box.text.c_str() + head.size());
    EXPECT_EQ(box.text.substr(box.text.find(L" of ")), L" of 1048576 bytes.");
    if (c.kept > 0) {
      EXPECT_EQ(kept, c.kept);
    } else {
      EXPECT_GT(kept, 0);
      EXPECT_LE(kept, 262144);
    }
    EXPECT_EQ(FileLength(c.copy), kept);
    EXPECT_TRUE(FileBytes(c.copy) == FileBytes(c.source).substr(0, kept)) << "the copy holds other bytes";
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(NotOpenForReading(c.source) && NotOpenForReading(c.copy));
    DeleteFileW(c.copy.c_str());
  }
}

TEST_F(SalvageDestination, ReadOnlyFolderIsReportedAndLeftAlone) {
  REQUIRE_SALVAGE_DISKS();
  const std::wstring source = folder_.CreateFileOfSize(L"photo.jpg", 5000);
  const std::wstring kept = SalvageDisk("readonly") + L"\\kept.txt";
  const std::string before = FileBytes(kept);
  ASSERT_FALSE(before.empty());
  for (const std::wstring& destination : {SalvageDisk("readonly") + L"\\photo.jpg", kept}) {
    ExpectMessage(Copy(source, destination), L"Destination file cannot be created.", MB_ICONERROR);
  }
  EXPECT_EQ(FileLength(SalvageDisk("readonly") + L"\\photo.jpg"), -1);
  EXPECT_EQ(FileBytes(kept), before);
}

using SalvageCancel = SalvageCopy;

TEST_F(SalvageCancel, CancelAfterTheLastBlockStillRemovesTheReplacedDestination) {
  const std::wstring source = folder_.CreateFileOfSize(L"one-block.bin", 4096);
  const std::wstring copy = folder_.CreateFileOfSize(L"existing.bin", 100000);
  PressCancelLater();  // handled in the drain after the only block
  ExpectMessage(Copy(source, copy), L"Operation cancelled.", MB_ICONERROR);
  EXPECT_EQ(FileLength(copy), -1);
  EXPECT_TRUE(rows().empty());
}

TEST_F(SalvageCancel, CancelDuringASlowCopyStopsItAndRemovesTheDestination) {
  REQUIRE_BAD_MEDIA();
  const std::wstring copy = folder_.path() + L"\\slow-copy.bin";
  BadMediaReadLog log;
  std::atomic<bool> done{false};
  HWND panel = panel_.window();
  std::thread user([&] {
    while (!done && log.ReadsOf("salvage/slow.bin").size() < 5) Sleep(5);
    PostMessageW(panel, WM_COMMAND, MAKEWPARAM(TestPanel::kCancelId, BN_CLICKED), 0);
  });
  const SeenMessageBox box = Copy(BadMediaPath("salvage/slow.bin"), copy);
  done = true;
  user.join();
  ExpectMessage(box, L"Operation cancelled.", MB_ICONERROR);
  EXPECT_LT(log.ReadsOf("salvage/slow.bin").size(), 2048u);  // 8 MiB is 2048 blocks
  EXPECT_EQ(FileLength(copy), -1);
  EXPECT_TRUE(rows().empty());
}

// Run in a prefix that reports Windows NT 4: the names travel as widened ANSI bytes and
// reach the ANSI calls unchanged, also the one that removes a cancelled copy.
using AnsiVariant = SalvageCopy;

TEST_F(AnsiVariant, HighByteNamesAreCopiedAndACancelledCopyRemoved) {
  ASSERT_FALSE(UsesWideCalls());
  const std::wstring source = folder_.CreateFileOfSize(L"caf\u00e9.bin", 9000);
  const std::wstring copy = folder_.path() + L"\\copi\u00e9-\u00fc.bin";
  for (bool cancel : {false, true}) {
    WidePath sourcePath, copyPath;
    char ansi[kWidePathUnits] = {};
    WideCharToMultiByte(CP_ACP, 0, source.c_str(), -1, ansi, kWidePathUnits - 1, nullptr, nullptr);
    WidenPath(ansi, sourcePath);
    std::fill(std::begin(ansi), std::end(ansi), 0);
    WideCharToMultiByte(CP_ACP, 0, copy.c_str(), -1, ansi, kWidePathUnits - 1, nullptr, nullptr);
    WidenPath(ansi, copyPath);
    if (cancel) PressCancelLater();
    SalvageCopyFile(panel_.window(), sourcePath, copyPath);
    ASSERT_FALSE(answers_.seen().empty());
    EXPECT_EQ(answers_.seen().back().text, cancel ? L"Operation cancelled." : L"Copy is complete.");
    EXPECT_EQ(FileBytes(copy), cancel ? "" : FileBytes(source));
    EXPECT_EQ(FileLength(copy), cancel ? -1 : 9000);
  }
}

}  // namespace
