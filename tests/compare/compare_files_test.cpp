#include "compare/compare_files.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "compare/compare_panel.h"
#include "resources/resource_ids.h"
#include "shell/progress_text.h"
#include "tests/support/bad_media.h"
#include "tests/support/other_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_windows.h"

namespace {

constexpr UINT kInformation = MB_ICONINFORMATION;
constexpr UINT kWarning = MB_ICONWARNING;
constexpr UINT kError = MB_ICONERROR;

// The real File Compare panel, made from its template inside a hidden window, as the engine
// finds it in the program.
class CompareEngine : public testing::Test {
 protected:
  void SetUp() override {
    panel_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FILE_COMPARE),
                                host_.window(), ComparePanelProc, 0);
    ASSERT_NE(panel_, nullptr);
    status_ = std::make_unique<WindowRecorder>(control(IDC_COMPARE_STATUS));
    cancel_ = std::make_unique<WindowRecorder>(control(IDC_COMPARE_CANCEL));
  }

  HWND control(int id) const { return GetDlgItem(panel_, id); }
  std::vector<ListRow> rows() const { return ReadListRows(control(IDC_COMPARE_RESULTS)); }
  bool cancelShown() const {
    return (GetWindowLongPtrW(control(IDC_COMPARE_CANCEL), GWL_STYLE) & WS_VISIBLE) != 0;
  }
  void PressCancelLater() {
    PostMessageW(panel_, WM_COMMAND, MAKEWPARAM(IDC_COMPARE_CANCEL, BN_CLICKED), 0);
  }

  // Runs the engine as the Compare button does and returns its one closing message;
  // `whileUp` looks at the panel while that message is up.
  SeenMessageBox CompareWide(const WidePath& first, const WidePath& second,
                             std::function<void()> whileUp = nullptr) {
    MessageBoxAnswerer answerer(std::move(whileUp));
    g_cancelFlag = 0;  // as the busy state leaves it
    CompareFilesByDigest(panel_, first, second);
    EXPECT_EQ(answerer.seen().size(), 1u);
    return answerer.seen().empty() ? SeenMessageBox() : answerer.seen().back();
  }
  SeenMessageBox Compare(const std::wstring& first, const std::wstring& second,
                         std::function<void()> whileUp = nullptr) {
    WidePath firstName, secondName;
    ToWidePath(first, firstName);
    ToWidePath(second, secondName);
    return CompareWide(firstName, secondName, std::move(whileUp));
  }

  TestPanel host_;
  HWND panel_ = nullptr;
  std::unique_ptr<WindowRecorder> status_;
  std::unique_ptr<WindowRecorder> cancel_;
};

std::wstring WithOneByteChanged(const std::wstring& original, const std::wstring& copy) {
  CopyFileW(original.c_str(), copy.c_str(), FALSE);
  HANDLE file = CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  SetFilePointer(file, 5000, nullptr, FILE_BEGIN);
  const char changed = 0x5A;
  DWORD written = 0;
  WriteFile(file, &changed, 1, &written, nullptr);
  CloseHandle(file);
  return copy;
}

// Every way a run can end, one after the other on the same panel, so that each run also
// shows that the previous row is gone. A cancel pressed before the run is handled by the
// message drain after the first block read, so it lands on a known block.
TEST_F(CompareEngine, EveryRunEndsWithOneMessageAfterClosingItsFiles) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring data = folder.CreateFileOfSize(L"data.bin", 10000);
  const std::wstring sameData = folder.CreateFileOfSize(L"same-data.bin", 10000);
  const std::wstring oneByteOff = WithOneByteChanged(data, folder.path() + L"\\one-byte-off.bin");
  const std::wstring empty = folder.CreateFileOfSize(L"empty.bin", 0);
  const std::wstring otherEmpty = folder.CreateFileOfSize(L"other-empty.bin", 0);
  const std::wstring held = folder.CreateFileOfSize(L"held.bin", 10000);
  const std::wstring missing = folder.path() + L"\\missing.bin";
  const std::wstring threeBlocks = BadMediaPath("compare/three_blocks.bin");
  const std::wstring badFirst = BadMediaPath("compare/bad_first_block.bin");
  const std::wstring badLater = BadMediaPath("compare/bad_later_block.bin");
  // Only ever the second file of a run that must end before it.
  const std::wstring neverRead = BadMediaPath("compare/never_read.bin");

  const wchar_t* const kFirstUnreadable = L"First File is not readable. Couldn't compare.";
  const wchar_t* const kSecondUnreadable = L"Second File is not readable. Couldn't compare.";
  const struct {
    const char* what;
    std::wstring first, second;
    bool cancel;
    const wchar_t* text;
    UINT icon;
  } kRuns[] = {
      {"equal files", data, sameData, false, L"Files are equal.", kInformation},
      {"unreadable first file", badLater, neverRead, false, kFirstUnreadable, kError},
      {"one byte differs", data, oneByteOff, false, L"Files are not equal.", kWarning},
      {"missing first file", missing, neverRead, false, kFirstUnreadable, kError},
      {"two empty files", empty, otherEmpty, false, L"Files are equal.", kInformation},
      {"unreadable second file", data, badLater, false, kSecondUnreadable, kError},
      {"the same file twice", data, data, false, L"Files are equal.", kInformation},
      {"held open for writing", held, neverRead, false, kFirstUnreadable, kError},
      {"cancel during the first file", threeBlocks, neverRead, true, L"Operation cancelled.", kError},
      // An empty first file reads no block, so the cancel lands on the second's first block.
      {"cancel during the second file", empty, threeBlocks, true, L"Operation cancelled.", kError},
      {"read failure wins over a cancel, first", badFirst, neverRead, true, kFirstUnreadable, kError},
      {"read failure wins over a cancel, second", empty, badFirst, true, kSecondUnreadable, kError},
  };
  for (const auto& run : kRuns) {
    SCOPED_TRACE(run.what);
    std::unique_ptr<FileHeldOpenForWriting> otherProgram;
    if (run.first == held) {
      otherProgram = std::make_unique<FileHeldOpenForWriting>(held);
      ASSERT_TRUE(otherProgram->holding());
    }
    BadMediaReadLog log;
    const int shownBefore = cancel_->timesShown();
    if (run.cancel) PressCancelLater();
    bool closed[2] = {};
    bool cancelUp = true;
    std::wstring statusText = L"?";
    size_t rowCount = 99;
    int neverReadOpens = -1;
    SeenMessageBox box = Compare(run.first, run.second, [&] {
      // Before the checks below open the files themselves.
      neverReadOpens = log.OpensOf("compare/never_read.bin");
      closed[0] = NotOpenForReading(run.first);
      closed[1] = NotOpenForReading(run.second);
      cancelUp = cancelShown();
      statusText = WindowTextOf(control(IDC_COMPARE_STATUS));
      rowCount = rows().size();
    });
    EXPECT_EQ(box.caption, L"Compare File");
    EXPECT_EQ(box.text, run.text);
    EXPECT_EQ(box.icon, run.icon);
    EXPECT_TRUE(closed[0] && closed[1]);
    EXPECT_EQ(cancel_->timesShown(), shownBefore + 1);
    EXPECT_FALSE(cancelUp);
    EXPECT_EQ(statusText, L"");
    EXPECT_EQ(rowCount, run.icon == kError ? 0u : 1u);
    EXPECT_EQ(neverReadOpens, 0);
  }
}

TEST_F(CompareEngine, RowHoldsBothDigestsAsMd5sumWritesThem) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const struct {
    std::wstring path;
    const wchar_t* digest;  // as md5sum gives it
  } kFiles[] = {
      // Bytes 0x00, 0x04 and 0x09 of this digest keep their leading zeros.
      {folder.CreateFileOfSize(L"empty.bin", 0), L"d41d8cd98f00b204e9800998ecf8427e"},
      // Its second block gives 1 byte, and that byte alone joins the digest.
      {BadMediaPath("compare/two_blocks.bin"), L"bd76a51171a5c62ab320d9d292672cc4"},
  };
  BadMediaReadLog log;
  for (const auto& file : kFiles) {
    EXPECT_EQ(Compare(file.path, file.path).text, L"Files are equal.");
    auto shown = rows();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].cells[0], file.digest);
    EXPECT_EQ(shown[0].cells[1], file.digest);
    EXPECT_FALSE(shown[0].selected);
    EXPECT_EQ(shown[0].itemData, 0);
  }
  // Two reads at block boundaries for each of the two files. Wine completes the short read
  // with one more read of the rest, which finds the end of the file: not the engine's own.
  std::vector<std::uint64_t> blockReads;
  for (const auto& read : log.ReadsOf("compare/two_blocks.bin")) {
    if (read.offset % 4096 == 0) blockReads.push_back(read.offset);
  }
  EXPECT_EQ(blockReads, (std::vector<std::uint64_t>{0, 4096, 0, 4096}));
}

TEST_F(CompareEngine, FileLargerThan4GiBGivesTheDigestOfMd5sum) {
  REQUIRE_BAD_MEDIA();
  TempFolder folder;
  const std::wstring small = folder.CreateFileOfSize(L"small.bin", 10);
  // Shared with the read verification tests: it lives in the page cache once read. Its
  // digest as md5sum gives it from the mounted file system.
  EXPECT_EQ(Compare(BadMediaPath("verify/huge.bin"), small).text, L"Files are not equal.");
  auto shown = rows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].cells[0], L"582d6fa1c884a31568769004db01b8a3");
}

TEST_F(CompareEngine, NamesShorterThanFourCharactersAreRefusedAndChangeNothing) {
  TempFolder folder;
  wchar_t previousDirectory[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previousDirectory);
  SetCurrentDirectoryW(folder.path().c_str());
  folder.CreateFileOfSize(L"abc", 10);
  folder.CreateFileOfSize(L"abcd", 10);

  EXPECT_EQ(Compare(L"abcd", L"abcd").text, L"Files are equal.");
  SetWindowTextW(control(IDC_COMPARE_STATUS), L"what the line said before");
  const int shownBefore = cancel_->timesShown();
  const struct {
    const wchar_t* first;
    const wchar_t* second;
  } kRefused[] = {{L"abc", L"abcd"}, {L"abcd", L"abc"}, {L"", L""}};
  for (const auto& names : kRefused) {
    SeenMessageBox box = Compare(names.first, names.second);
    EXPECT_EQ(box.caption, L"Compare File");
    EXPECT_EQ(box.text, L"Select first and second file.");
    EXPECT_EQ(box.icon, kInformation);
  }
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_EQ(WindowTextOf(control(IDC_COMPARE_STATUS)), L"what the line said before");
  EXPECT_EQ(cancel_->timesShown(), shownBefore);
  SetCurrentDirectoryW(previousDirectory);
}

// The percentages of texts "Current File: <path> - CALCULATING <n>%" for one path, and
// where in `texts` the first and the last of them stand.
struct ShownProgress {
  std::vector<int> percentages;
  size_t first = SIZE_MAX, last = 0;
};

ShownProgress ProgressOf(const std::vector<std::wstring>& texts, const std::wstring& path) {
  ShownProgress shown;
  const std::wstring head = L"Current File: " + path + L" - CALCULATING ";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].compare(0, head.size(), head) != 0) continue;
    EXPECT_EQ(texts[i].back(), L'%') << Narrow(texts[i]);
    shown.percentages.push_back(_wtoi(texts[i].c_str() + head.size()));
    shown.first = std::min(shown.first, i);
    shown.last = i;
  }
  return shown;
}

TEST_F(CompareEngine, ProgressOfEachFileRisesAndTheLineIsClearedOnlyAtTheEnd) {
  REQUIRE_BAD_MEDIA();
  const std::wstring first = BadMediaPath("compare/slow_first.bin");
  const std::wstring second = BadMediaPath("compare/slow_second.bin");
  EXPECT_EQ(Compare(first, second).text, L"Files are not equal.");

  const auto& texts = status_->texts();
  ASSERT_FALSE(texts.empty());
  const ShownProgress ofFirst = ProgressOf(texts, first);
  const ShownProgress ofSecond = ProgressOf(texts, second);
  for (const auto* shown : {&ofFirst, &ofSecond}) {
    ASSERT_FALSE(shown->percentages.empty());
    EXPECT_GT(shown->percentages.front(), 0);  // block 0 never shows progress
    for (size_t i = 1; i < shown->percentages.size(); ++i) {
      EXPECT_GT(shown->percentages[i], shown->percentages[i - 1]);
    }
    EXPECT_LT(shown->percentages.back(), 100);
  }
  // The first file's last text stays until the second file shows its own; only the end of
  // the run clears the line.
  EXPECT_EQ(ofFirst.last + 1, ofSecond.first);
  EXPECT_EQ(ofSecond.last + 2, texts.size());
  EXPECT_EQ(texts.back(), L"");
}

// The progress texts of a file with the longest name: shortened to fit their buffer, they
// still show the drive and the file's own name.
void ExpectProgressFits(const std::vector<std::wstring>& texts) {
  size_t progressTexts = 0;
  for (const auto& text : texts) {
    if (text.empty()) continue;
    ++progressTexts;
    EXPECT_LE(text.size(), kStatusTextUnits - 1);
    EXPECT_EQ(text.compare(0, 20, L"Current File: C:\\..."), 0) << Narrow(text);
    EXPECT_NE(text.find(L"\\long-tail.bin - CALCULATING "), std::wstring::npos) << Narrow(text);
  }
  EXPECT_GT(progressTexts, 0u);
}

// 32 MiB of zeros, as md5sum digests them.
constexpr wchar_t kLongestFileDigest[] = L"58f06dd588d8ffb3beb46ada6309436b";

TEST_F(CompareEngine, ProgressForTheLongestNameStaysWithinItsBuffer) {
  TempFolder folder;
  const std::wstring path = CreateLongestPathFile(folder, 32LL << 20);
  ASSERT_EQ(path.size(), 259u);
  EXPECT_EQ(Compare(path, path).text, L"Files are equal.");
  RemoveLongestPathFile(path);
  EXPECT_EQ(rows().at(0).cells[0], kLongestFileDigest);  // shortening the text left the data alone
  ExpectProgressFits(status_->texts());
}

// Run with Windows reporting major version 4: names travel as widened ANSI bytes.
using AnsiVariant = CompareEngine;

TEST_F(AnsiVariant, HighBytesAndTheLongestNameReachTheFiles) {
  ASSERT_FALSE(UsesWideCalls());
  TempFolder folder;
  char ansi[kWidePathUnits] = {};
  ASSERT_TRUE(CreateFileWithHighBytes(folder, 0, ansi));

  const std::wstring longest = CreateLongestPathFile(folder, 32LL << 20);
  char longestAnsi[kWidePathUnits] = {};
  lstrcpynA(longestAnsi, Narrow(longest).c_str(), kWidePathUnits);

  WidePath highBytes, longestName;
  WidenPath(ansi, highBytes);
  WidenPath(longestAnsi, longestName);
  EXPECT_EQ(CompareWide(highBytes, highBytes).text, L"Files are equal.");
  EXPECT_EQ(rows().at(0).cells[0], L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(CompareWide(longestName, longestName).text, L"Files are equal.");
  DeleteFileA(ansi);
  RemoveLongestPathFile(longest);
  EXPECT_EQ(rows().at(0).cells[0], kLongestFileDigest);
  ExpectProgressFits(status_->texts());
}

}  // namespace
