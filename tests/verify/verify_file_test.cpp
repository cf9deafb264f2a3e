#include "verify/verify_file.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "shell/progress_text.h"
#include "tests/support/bad_media.h"
#include "tests/support/other_process.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

// A panel with both lists of the disc check and the file check's list, each with its
// status line, as the engine finds them when the program runs.
class ReadVerification : public testing::Test {
 protected:
  void SetUp() override {
    g_readReport.readOkList = panel_.AddResultsList();
    g_readReport.readErrorList = panel_.AddResultsList();
    g_readReport.fileResultsList = panel_.AddResultsList();
    g_readReport.discStatusLine = panel_.AddStatusLine();
    g_readReport.fileStatusLine = panel_.AddStatusLine();
    g_readOkTally = 0;
    g_readErrorTally = 0;
    g_cancelFlag = 0;
  }
  void TearDown() override { g_readReport = {}; }

  void Verify(const std::wstring& path, ReportTarget target = kSingleFileTarget) {
    WidePath widePath;
    ToWidePath(path, widePath);
    VerifyFileReadable(widePath, target);
  }

  // The only row of the file check's list, after checking that it is the only row.
  ListRow OnlyFileRow() {
    auto rows = ReadListRows(g_readReport.fileResultsList);
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? ListRow() : rows[0];
  }

  void PressCancelLater() {
    PostMessageW(panel_.window(), WM_COMMAND, MAKEWPARAM(TestPanel::kCancelId, BN_CLICKED), 0);
  }

  TestPanel panel_;
};

using Verdict = ReadVerification;

std::vector<BadMediaRead> BlockReads(const std::vector<BadMediaRead>& reads) {
  std::vector<BadMediaRead> blockReads;
  for (const auto& read : reads) {
    if (read.offset % kReadBlockSize == 0) blockReads.push_back(read);
  }
  return blockReads;
}

TEST_F(Verdict, EmptyFileIsReadOkWithoutAnyRead) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  Verify(BadMediaPath("verify/empty.bin"));
  ListRow row = OnlyFileRow();
  EXPECT_EQ(row.cells[0], BadMediaPath("verify/empty.bin"));
  EXPECT_EQ(row.cells[1], L"0 bytes");
  EXPECT_EQ(row.cells[2], L"READ OK");
  EXPECT_EQ(g_readOkTally, 1);
  EXPECT_EQ(g_readErrorTally, 0);
  EXPECT_TRUE(log.ReadsOf("verify/empty.bin").empty());
}

TEST_F(Verdict, ReadsWholeBlocksAtAbsoluteOffsets) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  Verify(BadMediaPath("verify/one_block.bin"));
  Verify(BadMediaPath("verify/block_and_byte.bin"));

  auto oneBlock = log.ReadsOf("verify/one_block.bin");
  ASSERT_EQ(oneBlock.size(), 1u);
  EXPECT_EQ(oneBlock[0].offset, 0u);
  EXPECT_EQ(oneBlock[0].length, 4096u);

  // Wine completes a short read with one more read of the rest, which finds the end of
  // the file; only reads at block boundaries are the engine's own.
  auto blockAndByte = BlockReads(log.ReadsOf("verify/block_and_byte.bin"));
  ASSERT_EQ(blockAndByte.size(), 2u);
  EXPECT_EQ(blockAndByte[0].offset, 0u);
  EXPECT_EQ(blockAndByte[1].offset, 4096u);

  auto rows = ReadListRows(g_readReport.fileResultsList);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells[1], L"4097 bytes");
  EXPECT_EQ(rows[0].cells[2], L"READ OK");
  EXPECT_EQ(rows[1].cells[1], L"4096 bytes");
  EXPECT_EQ(g_readOkTally, 2);
}

TEST_F(Verdict, FileLargerThan4GiBIsReadToItsEnd) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  Verify(BadMediaPath("verify/huge.bin"));
  ListRow row = OnlyFileRow();
  EXPECT_EQ(row.cells[1], L"4294971393 bytes");
  EXPECT_EQ(row.cells[2], L"READ OK");

  // This file goes through the page cache (reading it block by block through the file
  // system would take minutes), so the log holds the kernel's larger reads: what counts
  // is that they reach the last byte, 4 GiB + 4096 bytes in.
  std::uint64_t end = 0;
  for (const auto& read : log.ReadsOf("verify/huge.bin")) {
    if (!read.failed) end = std::max<std::uint64_t>(end, read.offset + read.length);
  }
  EXPECT_GE(end, 4294971393u);
}

TEST_F(Verdict, UnreadableBlockStopsReadingAndKeepsTheFullSize) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  Verify(BadMediaPath("verify/bad_middle.bin"));
  ListRow row = OnlyFileRow();
  EXPECT_EQ(row.cells[1], L"40960 bytes");
  EXPECT_EQ(row.cells[2], L"READ ERROR");
  EXPECT_EQ(g_readErrorTally, 1);
  EXPECT_EQ(g_readOkTally, 0);

  // Blocks 0 to 4 read, block 5 (20 KiB) refused, nothing after it.
  auto reads = log.ReadsOf("verify/bad_middle.bin");
  ASSERT_EQ(reads.size(), 6u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(reads[i].offset, i * 4096);
    EXPECT_FALSE(reads[i].failed);
  }
  EXPECT_EQ(reads[5].offset, 20480u);
  EXPECT_TRUE(reads[5].failed);
}

TEST_F(Verdict, MissingFileHasUnknownSize) {
  TempFolder folder;
  Verify(folder.path() + L"\\does-not-exist.bin");
  ListRow row = OnlyFileRow();
  EXPECT_EQ(row.cells[0], folder.path() + L"\\does-not-exist.bin");
  EXPECT_EQ(row.cells[1], L"Unknown size");
  EXPECT_EQ(row.cells[2], L"READ ERROR");
  EXPECT_EQ(g_readErrorTally, 1);
}

TEST_F(Verdict, FileHeldOpenForWritingByAnotherProgramIsReadError) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"in-use.bin", 10000);
  {
    FileHeldOpenForWriting other(path);
    ASSERT_TRUE(other.holding());
    Verify(path);
    ListRow row = OnlyFileRow();
    EXPECT_EQ(row.cells[1], L"Unknown size");
    EXPECT_EQ(row.cells[2], L"READ ERROR");
  }
  // Once the other program let go, the same file reads fine.
  Verify(path);
  auto rows = ReadListRows(g_readReport.fileResultsList);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells[1], L"10000 bytes");
  EXPECT_EQ(rows[0].cells[2], L"READ OK");
  EXPECT_EQ(g_readOkTally, 1);
  EXPECT_EQ(g_readErrorTally, 1);
}

using Cancel = ReadVerification;

TEST_F(Cancel, CancelDuringFileAddsNoRowAndNoTally) {
  REQUIRE_BAD_MEDIA();
  g_readOkTally = 3;
  g_readErrorTally = 5;
  BadMediaReadLog log;
  PressCancelLater();  // handled by the message drain after the first block
  Verify(BadMediaPath("verify/cancel_posted.bin"));

  EXPECT_EQ(log.ReadsOf("verify/cancel_posted.bin").size(), 2u);
  EXPECT_TRUE(ReadListRows(g_readReport.fileResultsList).empty());
  EXPECT_EQ(g_readOkTally, 3);
  EXPECT_EQ(g_readErrorTally, 5);
  EXPECT_EQ(WindowTextOf(g_readReport.fileStatusLine), L"");
}

TEST_F(Cancel, CancelWinsOverAReadThatFailsAfterIt) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  PressCancelLater();
  Verify(BadMediaPath("verify/cancel_then_bad.bin"), kDriveScanTarget);

  auto reads = log.ReadsOf("verify/cancel_then_bad.bin");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_TRUE(reads[1].failed);
  EXPECT_TRUE(ReadListRows(g_readReport.readOkList).empty());
  EXPECT_TRUE(ReadListRows(g_readReport.readErrorList).empty());
  EXPECT_EQ(g_readErrorTally, 0);
  EXPECT_EQ(WindowTextOf(g_readReport.discStatusLine), L"");
}

TEST_F(Cancel, CancelPressedWhileASlowFileIsReadStopsIt) {
  REQUIRE_BAD_MEDIA();
  BadMediaReadLog log;
  std::atomic<bool> done{false};
  HWND panel = panel_.window();
  // The user presses Cancel once a few blocks have been read.
  std::thread user([&] {
    while (!done && log.ReadsOf("verify/slow_cancel.bin").size() < 5) Sleep(5);
    PostMessageW(panel, WM_COMMAND, MAKEWPARAM(TestPanel::kCancelId, BN_CLICKED), 0);
  });
  Verify(BadMediaPath("verify/slow_cancel.bin"));
  done = true;
  user.join();

  const size_t reads = log.ReadsOf("verify/slow_cancel.bin").size();
  EXPECT_GE(reads, 5u);
  EXPECT_LT(reads, 512u);  // 2 MiB is 512 blocks
  EXPECT_EQ(g_cancelFlag, 1);
  EXPECT_TRUE(ReadListRows(g_readReport.fileResultsList).empty());
  EXPECT_EQ(g_readOkTally + g_readErrorTally, 0);
  EXPECT_EQ(WindowTextOf(g_readReport.fileStatusLine), L"");
}

using MessageDrain = ReadVerification;

TEST_F(MessageDrain, MessageNumbered1276NeverReachesItsWindow) {
  REQUIRE_BAD_MEDIA();
  PostMessageW(panel_.window(), kHeldBackMessage, 0, 0);
  PostMessageW(panel_.window(), WM_APP + 1, 0, 0);
  Verify(BadMediaPath("verify/held_back.bin"));

  const auto& received = panel_.receivedMessages();
  EXPECT_NE(std::find(received.begin(), received.end(), WM_APP + 1), received.end());
  EXPECT_EQ(std::find(received.begin(), received.end(), kHeldBackMessage), received.end());
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, kHeldBackMessage, kHeldBackMessage, PM_REMOVE));
}

using Progress = ReadVerification;

// The percentages shown in texts of the form "<prefix><path> - READING <n>%".
std::vector<int> ShownPercentages(const std::vector<std::wstring>& texts, const std::wstring& prefix,
                                  const std::wstring& path) {
  std::vector<int> shown;
  const std::wstring head = prefix + path + L" - READING ";
  for (const auto& text : texts) {
    if (text.empty()) continue;
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << Narrow(text);
    EXPECT_EQ(text.back(), L'%') << Narrow(text);
    shown.push_back(_wtoi(text.c_str() + head.size()));
  }
  return shown;
}

TEST_F(Progress, ShownDuringASlowReadNeverForTheFirstBlockAndClearedAtTheEnd) {
  REQUIRE_BAD_MEDIA();
  const std::wstring path = BadMediaPath("verify/slow_progress.bin");
  Verify(path);

  const auto texts = panel_.statusTexts(g_readReport.fileStatusLine);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), L"");
  EXPECT_EQ(WindowTextOf(g_readReport.fileStatusLine), L"");
  auto shown = ShownPercentages(texts, L"File: ", path);
  ASSERT_FALSE(shown.empty());
  EXPECT_GT(shown.front(), 0);  // block 0 never shows progress
  // Rising, and never the same text twice in a row.
  for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]);
  EXPECT_LT(shown.back(), 100);
  EXPECT_EQ(OnlyFileRow().cells[2], L"READ OK");
}

TEST_F(Progress, DriveScanShowsTheCurrentFileOnTheDiscStatusLine) {
  REQUIRE_BAD_MEDIA();
  const std::wstring path = BadMediaPath("verify/slow_progress_scan.bin");
  Verify(path, kDriveScanTarget);
  auto shown = ShownPercentages(panel_.statusTexts(g_readReport.discStatusLine), L"Current File: ", path);
  EXPECT_FALSE(shown.empty());
  EXPECT_TRUE(panel_.statusTexts(g_readReport.fileStatusLine).empty());
  EXPECT_EQ(WindowTextOf(g_readReport.discStatusLine), L"");
  EXPECT_EQ(WindowTextOf(g_readReport.fileStatusLine), L"");
}

TEST_F(Progress, TextForTheLongestPathStaysWithinItsBuffer) {
  TempFolder folder;
  // Enough blocks for the millisecond counter to move on while they are read.
  const std::wstring path = CreateLongestPathFile(folder, 64LL << 20);
  ASSERT_EQ(path.size(), 259u);
  Verify(path);
  RemoveLongestPathFile(path);

  EXPECT_EQ(OnlyFileRow().cells[0], path);  // the row keeps the whole path
  size_t progressTexts = 0;
  for (const auto& text : panel_.statusTexts(g_readReport.fileStatusLine)) {
    if (text.empty()) continue;
    ++progressTexts;
    EXPECT_LE(text.size(), kStatusTextUnits - 1);
    EXPECT_EQ(text.compare(0, 12, L"File: C:\\..."), 0) << Narrow(text);
    EXPECT_NE(text.find(L"\\long-tail.bin - READING "), std::wstring::npos) << Narrow(text);
  }
  EXPECT_GT(progressTexts, 0u);
}

using ReportTargets = ReadVerification;

TEST_F(ReportTargets, DriveScanAppendsEachRowToTheListOfItsVerdictInOrder) {
  REQUIRE_BAD_MEDIA();
  for (const char* name : {"verify/scan_ok_1.bin", "verify/scan_bad_1.bin", "verify/scan_ok_2.bin",
                           "verify/scan_bad_2.bin"}) {
    Verify(BadMediaPath(name), kDriveScanTarget);
  }
  auto readOk = ReadListRows(g_readReport.readOkList);
  ASSERT_EQ(readOk.size(), 2u);
  EXPECT_EQ(readOk[0].cells[0], BadMediaPath("verify/scan_ok_1.bin"));
  EXPECT_EQ(readOk[0].cells[1], L"10240 bytes");
  EXPECT_EQ(readOk[1].cells[0], BadMediaPath("verify/scan_ok_2.bin"));
  EXPECT_EQ(readOk[1].cells[1], L"0 bytes");
  auto readError = ReadListRows(g_readReport.readErrorList);
  ASSERT_EQ(readError.size(), 2u);
  EXPECT_EQ(readError[0].cells[0], BadMediaPath("verify/scan_bad_1.bin"));
  EXPECT_EQ(readError[0].cells[2], L"READ ERROR");
  EXPECT_EQ(readError[1].cells[0], BadMediaPath("verify/scan_bad_2.bin"));
  EXPECT_EQ(readError[1].cells[1], L"4096 bytes");
  for (const auto* rows : {&readOk, &readError}) {
    for (size_t i = 0; i < rows->size(); ++i) {
      EXPECT_EQ((*rows)[i].itemData, static_cast<LPARAM>(i));
    }
    // Single-selection lists: the row just added takes the selection.
    EXPECT_TRUE(rows->back().selected);
    EXPECT_FALSE(rows->front().selected);
  }
  EXPECT_TRUE(ReadListRows(g_readReport.fileResultsList).empty());
  EXPECT_EQ(g_readOkTally, 2);
  EXPECT_EQ(g_readErrorTally, 2);
}

TEST_F(ReportTargets, AppendedRowsScrollIntoView) {
  TempFolder folder;
  const std::wstring path = folder.CreateFileOfSize(L"small.bin", 10);
  for (int i = 0; i < 40; ++i) Verify(path, kDriveScanTarget);
  EXPECT_EQ(ReadListRows(g_readReport.readOkList).size(), 40u);
  EXPECT_GT(SendMessageW(g_readReport.readOkList, LVM_GETTOPINDEX, 0, 0), 0);
}

TEST_F(ReportTargets, SingleFileRowAlwaysGoesToTheTop) {
  TempFolder folder;
  const std::wstring first = folder.CreateFileOfSize(L"first.bin", 100);
  const std::wstring second = folder.path() + L"\\missing.bin";
  Verify(first);
  Verify(second);
  auto rows = ReadListRows(g_readReport.fileResultsList);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells[0], second);
  EXPECT_EQ(rows[0].cells[2], L"READ ERROR");
  EXPECT_EQ(rows[1].cells[0], first);
  EXPECT_EQ(rows[1].cells[2], L"READ OK");
  EXPECT_EQ(rows[0].itemData, 0);
  EXPECT_TRUE(rows[0].selected);
  EXPECT_TRUE(ReadListRows(g_readReport.readOkList).empty());
}

// Run in a prefix that reports Windows NT 4: paths travel as widened ANSI bytes.
using AnsiVariant = ReadVerification;

TEST_F(AnsiVariant, PathWithHighBytesReachesTheFileUnchanged) {
  ASSERT_FALSE(UsesWideCalls());
  TempFolder folder;
  char ansi[kWidePathUnits] = {};
  ASSERT_TRUE(CreateFileWithHighBytes(folder, 5000, ansi));

  WidePath path;
  WidenPath(ansi, path);
  VerifyFileReadable(path, kSingleFileTarget);
  DeleteFileA(ansi);

  auto rows = ReadListRows(g_readReport.fileResultsList);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cells[1], L"5000 bytes");
  EXPECT_EQ(rows[0].cells[2], L"READ OK");
  EXPECT_EQ(ReadCellAnsi(g_readReport.fileResultsList, 0, 0), std::string(ansi));
}

TEST_F(AnsiVariant, ProgressTextForTheLongestPathStaysWithinItsBuffer) {
  ASSERT_FALSE(UsesWideCalls());
  TempFolder folder;
  const std::wstring path = CreateLongestPathFile(folder, 64LL << 20);
  ASSERT_EQ(path.size(), 259u);
  char ansi[kWidePathUnits] = {};
  lstrcpynA(ansi, Narrow(path).c_str(), kWidePathUnits);
  WidePath widePath;
  WidenPath(ansi, widePath);
  VerifyFileReadable(widePath, kSingleFileTarget);
  RemoveLongestPathFile(path);

  EXPECT_EQ(OnlyFileRow().cells[2], L"READ OK");
  size_t progressTexts = 0;
  for (const auto& text : panel_.statusTexts(g_readReport.fileStatusLine)) {
    if (text.empty()) continue;
    ++progressTexts;
    EXPECT_LE(text.size(), kStatusTextUnits - 1);
    EXPECT_NE(text.find(L"\\long-tail.bin - READING "), std::wstring::npos) << Narrow(text);
  }
  EXPECT_GT(progressTexts, 0u);
}

// A rescue reads sector by sector, so a test drive must show the sectors of its medium: Wine
// takes them from the block size of the drive's own folder, 2048 bytes as a CD-ROM's.
TEST(TestDrives, ShowTheSectorSizeOfTheirFolder) {
  REQUIRE_BAD_MEDIA();
  const std::tuple<char, UINT, const char*, DWORD> kDrives[] = {{'G', DRIVE_CDROM, "sectors/cd", 2048},
                                                                 {'H', DRIVE_FIXED, "verify", 512}};
  for (const auto& [letter, kind, folder, sectorBytes] : kDrives) {
    TestDrive drive(letter, kind, BadMediaUnixPath(folder));
    ASSERT_TRUE(drive.defined());
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        << folder << ": error " << GetLastError();
    EXPECT_EQ(bytesPerSector, sectorBytes) << folder;
  }
}

}  // namespace
