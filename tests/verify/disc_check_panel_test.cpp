// The Read Disc Check panel on real drive letters of the test's Wine prefix: test folders
// and folders of the bad-media file system, defined as drives of each kind.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "shell/task_panel_frame.h"
#include "tests/support/bad_media.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

// The Read Disc Check panel, the one the program shows first.
struct DiscCheckPanel {
  explicit DiscCheckPanel(ProgramDriver& program)
      : program(program), panel(program.PanelWith(IDC_DISC_START)) {}
  HWND control(int id) const { return GetDlgItem(panel, id); }
  std::vector<std::wstring> drives() const { return ComboEntries(control(IDC_DISC_DRIVE_LIST)); }
  // Picks the drive entry that ends with "(X:)" and presses the start button.
  void Scan(char letter) {
    const std::wstring tail = std::wstring(L"(") + static_cast<wchar_t>(letter) + L":)";
    const auto entries = drives();
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].size() >= tail.size() && entries[i].compare(entries[i].size() - tail.size(), tail.size(), tail) == 0) {
        SendMessageW(control(IDC_DISC_DRIVE_LIST), CB_SETCURSEL, i, 0);
      }
    }
    program.Click(control(IDC_DISC_START));
  }
  void Filter(int entry) {
    SendMessageW(control(IDC_DISC_RESULTS_FILTER), CB_SETCURSEL, entry, 0);
    SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_DISC_RESULTS_FILTER, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control(IDC_DISC_RESULTS_FILTER)));
  }
  std::vector<ListRow> readOk() const { return ReadListRows(control(IDC_DISC_READ_OK_LIST)); }
  std::vector<ListRow> readError() const { return ReadListRows(control(IDC_DISC_READ_ERROR_LIST)); }
  // Read until the lists agree: the program subclasses one and then the other.
  bool repaintSubclassed() const {
    const auto repaint = reinterpret_cast<LONG_PTR>(ListRepaintProc);
    auto subclassed = [&](int id) { return GetWindowLongPtrA(control(id), GWLP_WNDPROC) == repaint; };
    EXPECT_TRUE(ProgramDriver::WaitUntil(
        [&] { return subclassed(IDC_DISC_READ_OK_LIST) == subclassed(IDC_DISC_READ_ERROR_LIST); }, 1000));
    return subclassed(IDC_DISC_READ_OK_LIST);
  }

  ProgramDriver& program;
  HWND panel;
};

std::wstring CurrentDirectory() {
  wchar_t path[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, path);
  return path;
}

std::wstring Summary(int okCount, int errorCount) {
  wchar_t text[256];
  wsprintfW(text, L"Operation complete.\n\nFiles scanned\t\t: %d\nFiles \"READ OK\"\t\t: %d\nFiles \"READ ERROR\"\t: %d",
            okCount + errorCount, okCount, errorCount);
  return text;
}

struct Row {
  std::wstring name;  // the whole path, or for a shortened one its end after "..."
  std::wstring size;
};

// Rows as the engine writes them: in order, item data their index, "READ OK" or
// "READ ERROR"; a shortened name shows the drive root, "..." and the path's end.
void ExpectRows(const std::vector<ListRow>& rows, const std::vector<Row>& expected, const wchar_t* verdict) {
  ASSERT_EQ(rows.size(), expected.size()) << Narrow(verdict);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::wstring& name = rows[i].cells[0];
    if (expected[i].name.compare(0, 3, L"...") == 0) {
      EXPECT_EQ(name.size(), 259u) << Narrow(name);
      EXPECT_EQ(name.compare(0, 6, L"R:\\..."), 0) << Narrow(name);
      const std::wstring& end = expected[i].name.substr(3);
      EXPECT_EQ(name.compare(name.size() - end.size(), end.size(), end), 0) << Narrow(name);
    } else {
      EXPECT_EQ(name, expected[i].name);
    }
    EXPECT_EQ(rows[i].cells[1], expected[i].size) << Narrow(name);
    EXPECT_EQ(rows[i].cells[2], verdict) << Narrow(name);
    EXPECT_EQ(rows[i].itemData, static_cast<LPARAM>(i));
  }
}

TEST(ReadDiscCheck, DriveListNamesEveryDriveAndRefusesOneThatIsNotReady) {
  TempFolder labelled, colonLabel, empty;
  WriteVolumeLabel(labelled.path(), "A LONG VOLUME LABEL OF 31 CHARS");
  WriteVolumeLabel(colonLabel.path(), "DISC:2");
  const struct {
    char letter;
    UINT kind;
    const TempFolder* folder;
    const wchar_t* entry;
  } kDrives[] = {
      {'L', DRIVE_FIXED, &labelled, L"A LONG VOLUME LABEL OF 31 CHARS (L:)"},
      // A colon of a label must not come before the letter's own.
      {'M', DRIVE_CDROM, &colonLabel, L"DISC-2 (M:)"},
      {'N', DRIVE_CDROM, &empty, L"CD-DVD-BD (N:)"},
      {'O', DRIVE_REMOTE, &empty, L"NETWORK (O:)"},
      {'P', DRIVE_REMOVABLE, &empty, L"REMOVABLE (P:)"},
      {'Q', DRIVE_FIXED, &empty, L"HDD (Q:)"},
      {'R', DRIVE_RAMDISK, &empty, L"RAMDISK (R:)"},
  };
  std::vector<std::unique_ptr<TestDrive>> drives;
  for (const auto& drive : kDrives) {
    drives.push_back(std::make_unique<TestDrive>(drive.letter, drive.kind, UnixPathOf(drive.folder->path())));
  }
  NotReadyDrive noMedium('K');
  ASSERT_TRUE(noMedium.defined());
  const DWORD present = GetLogicalDrives();

  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    const auto entries = panel.drives();
    size_t next = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      if (!(present & (1u << (letter - 'A')))) continue;
      ASSERT_LT(next, entries.size()) << "no entry for " << letter;
      const std::wstring& entry = entries[next++];
      const size_t colon = entry.find(L':');
      ASSERT_TRUE(colon != std::wstring::npos && colon > 0) << Narrow(entry);
      EXPECT_EQ(entry[colon - 1], static_cast<wchar_t>(letter)) << Narrow(entry);
      for (const auto& drive : kDrives) {
        if (drive.letter == letter) {
          EXPECT_EQ(entry, drive.entry);
        }
      }
      if (letter == 'K') {
        EXPECT_EQ(entry, L"UNKNOWN (K:)");
      }
    }
    EXPECT_EQ(next, entries.size());
    EXPECT_EQ(SendMessageW(panel.control(IDC_DISC_DRIVE_LIST), CB_GETCURSEL, 0, 0), 0);

    // Each drive's folder holds its label file, a hidden file like any other.
    for (char letter : {'L', 'M'}) {
      panel.Scan(letter);
      SeenMessageBox box = program.AnswerMessageBox();
      EXPECT_EQ(box.caption, L"Read Drive Check");
      EXPECT_EQ(box.text, Summary(1, 0));
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
      ASSERT_EQ(panel.readOk().size(), 1u);
      EXPECT_EQ(panel.readOk()[0].cells[0], std::wstring(1, letter) + L":\\.windows-label");
    }
    panel.Scan('K');
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read Drive Check");
    EXPECT_EQ(box.text, L"Drive is not ready.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(panel.readOk().empty());
    EXPECT_TRUE(panel.readError().empty());

    panel.Scan('Q');
    EXPECT_EQ(program.AnswerMessageBox().text, Summary(0, 0));
  });
}

// The root of the scanned bad-media drive, R: (not S:, the salvage tests' disk of exact
// size, which a drive made and removed here would take away), and the end of its deepest
// folder's path.
const std::wstring kDeep = L"R:\\deep\\" + std::wstring(60, L'a') + L"\\" + std::wstring(60, L'b') + L"\\" +
                           std::wstring(60, L'c') + L"\\" + std::wstring(60, L'd');
const std::wstring kDeepEnd = L"\\" + std::wstring(60, L'd');

TEST(ReadDiscCheck, ScanListsEveryFileByVerdictDepthFirst) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('R', DRIVE_FIXED, BadMediaUnixPath("scan/disc"));
  BadMediaReadLog log;
  // The scan changes folders; the user's folder comes back, also one named outside the code page.
  TempFolder home;
  const std::wstring japaneseFolder = home.path() + L"\\\u8aad\u307f\u53d6\u308a";
  CreateDirectoryW(japaneseFolder.c_str(), nullptr);
  const std::wstring startedIn = CurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryW(japaneseFolder.c_str()));
  const std::wstring directoryBefore = CurrentDirectory();
  // Hidden and system files as the system sees them; they are read like any other.
  EXPECT_TRUE(GetFileAttributesW(L"R:\\c\\e\\.hidden.bin") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(GetFileAttributesW(L"R:\\c\\e\\sys.bin") & FILE_ATTRIBUTE_SYSTEM);
  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    panel.Scan('R');
    HWND box = program.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    // Still busy while the summary is up: no control to start another run or switch lists.
    for (int id : {IDC_DISC_DRIVE_LIST, IDC_DISC_RESULTS_FILTER, IDC_DISC_START}) {
      EXPECT_FALSE(IsWindowEnabled(panel.control(id))) << id;
    }
    EXPECT_EQ(CurrentDirectory(), directoryBefore);
    EXPECT_FALSE(panel.repaintSubclassed());
    const SeenMessageBox seen = ProgramDriver::ReadMessageBox(box);
    ProgramDriver::PressOk(box);
    EXPECT_EQ(seen.text, Summary(7, 5));
    EXPECT_EQ(seen.icon, static_cast<UINT>(MB_ICONINFORMATION));

    ExpectRows(panel.readOk(),
               {{L"R:\\a.bin", L"5000 bytes"},
                {L"R:\\c\\d.bin", L"0 bytes"},
                {L"R:\\c\\e\\.hidden.bin", L"100 bytes"},
                {L"R:\\c\\e\\sys.bin", L"8192 bytes"},
                {kDeep + L"\\fits.bn", L"10 bytes"},  // 259 characters
                {L"R:\\up\\inner.bin", L"10 bytes"},  // up\loop leads back up: not entered
                {L"R:\\z.bin", L"1 bytes"}},
               L"READ OK");
    ExpectRows(panel.readError(),
               {{L"R:\\b-bad-middle.bin", L"12288 bytes"},
                {L"R:\\c\\f-bad-tail.bin", L"10000 bytes"},
                {L"..." + kDeepEnd + L"\\folder-too-long\\", L"Unknown size"},
                {L"..." + kDeepEnd + L"\\sixsix\\f", L"Unknown size"},
                {L"..." + kDeepEnd + L"\\too-long", L"Unknown size"}},
               L"READ ERROR");

    // The filter shows one list at a time, and the other at once when switched.
    EXPECT_TRUE(IsWindowVisible(panel.control(IDC_DISC_READ_OK_LIST)));
    EXPECT_FALSE(IsWindowVisible(panel.control(IDC_DISC_READ_ERROR_LIST)));
    EXPECT_TRUE(IsWindowEnabled(panel.control(IDC_DISC_RESULTS_FILTER)));
    panel.Filter(1);
    EXPECT_FALSE(IsWindowVisible(panel.control(IDC_DISC_READ_OK_LIST)));
    EXPECT_TRUE(IsWindowVisible(panel.control(IDC_DISC_READ_ERROR_LIST)));
    EXPECT_FALSE(panel.repaintSubclassed());
  });
  EXPECT_EQ(CurrentDirectory(), directoryBefore);
  SetCurrentDirectoryW(startedIn.c_str());
  RemoveDirectoryW(japaneseFolder.c_str());

  // Reading stops at the first refused block; nothing is opened where it cannot be reached.
  const struct {
    const char* file;
    std::vector<std::uint64_t> offsets;
  } kReads[] = {{"scan/disc/b-bad-middle.bin", {0, 4096}}, {"scan/disc/c/f-bad-tail.bin", {0, 4096, 8192}}};
  for (const auto& expected : kReads) {
    const auto reads = log.ReadsOf(expected.file);
    ASSERT_EQ(reads.size(), expected.offsets.size()) << expected.file;
    for (size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].offset, expected.offsets[i]);
      EXPECT_EQ(reads[i].failed, i + 1 == reads.size()) << expected.file << " read " << i;
    }
  }
  for (const char* unreached : {"scan/disc/d-locked/never.bin", "scan/disc/muddled/never.bin"}) {
    EXPECT_EQ(log.OpensOf(unreached), 0) << unreached;
  }
  const std::string deepUnix = "scan/disc/deep/" + std::string(60, 'a') + "/" + std::string(60, 'b') + "/" +
                               std::string(60, 'c') + "/" + std::string(60, 'd') + "/folder-too-long/lost.bin";
  EXPECT_EQ(log.OpensOf(deepUnix.c_str()), 0);
}

TEST(ReadDiscCheck, CancelDuringADeepScanKeepsTheRowsBeforeAndOpensNothingAfter) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('U', DRIVE_REMOVABLE, BadMediaUnixPath("scan/cancel"));
  BadMediaReadLog log;
  const std::wstring directoryBefore = CurrentDirectory();
  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    panel.Scan('U');
    HWND status = panel.control(IDC_DISC_STATUS);
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
      return ProgramDriver::Text(status).find(L"m-slow.bin - READING ") != std::wstring::npos;
    }));
    EXPECT_EQ(ProgramDriver::Text(status).rfind(L"Current File: U:\\b\\c\\m-slow.bin", 0), 0u);
    EXPECT_TRUE(IsWindowVisible(panel.control(IDC_DISC_CANCEL)));
    program.Click(panel.control(IDC_DISC_CANCEL));
    SeenMessageBox box = program.AnswerMessageBox();
    EXPECT_EQ(box.caption, L"Read Drive Check");
    EXPECT_EQ(box.text, L"Operation cancelled.");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    ExpectRows(panel.readOk(),
               {{L"U:\\a-first.bin", L"10 bytes"}, {L"U:\\b\\a-first.bin", L"10 bytes"},
                {L"U:\\b\\c\\a-first.bin", L"10 bytes"}},
               L"READ OK");
    EXPECT_TRUE(panel.readError().empty());
    EXPECT_FALSE(IsWindowVisible(panel.control(IDC_DISC_CANCEL)));
    EXPECT_EQ(ProgramDriver::Text(status), L"");
  });
  EXPECT_EQ(CurrentDirectory(), directoryBefore);
  EXPECT_EQ(log.OpensOf("scan/cancel/b/c/m-slow.bin"), 1);
  for (const char* after : {"scan/cancel/b/c/z-after.bin", "scan/cancel/b/z-after.bin", "scan/cancel/z-after.bin"}) {
    EXPECT_EQ(log.OpensOf(after), 0) << after;
  }
}

// The rows of a scan of the links drive T: on a system that follows the link sub\up back to
// the root: every level adds "sub\up\" until a path no longer fits 259 characters.
void ExpectLinkRowsUntilThePathIsFull(const std::vector<ListRow>& readOk, const std::vector<ListRow>& readError) {
  std::vector<Row> ok, error;
  auto add = [&](const std::wstring& path, bool folder) {
    if (path.size() <= 259) {
      if (!folder) ok.push_back({path, L"10 bytes"});
      return true;
    }
    error.push_back({L"..." + path.substr(path.size() - 20), L"Unknown size"});
    return false;
  };
  std::wstring level = L"T:\\";
  for (;;) {
    add(level + L"caf\u00e9.bin", false);
    if (!add(level + L"sub\\", true)) break;
    add(level + L"sub\\inner.bin", false);
    if (!add(level + L"sub\\up\\", true)) break;
    level += L"sub\\up\\";
  }
  ExpectRows(readOk, ok, L"READ OK");
  ASSERT_EQ(readError.size(), error.size());
  for (size_t i = 0; i < error.size(); ++i) {
    const std::wstring& name = readError[i].cells[0];
    EXPECT_EQ(name.compare(0, 6, L"T:\\..."), 0) << Narrow(name);
    EXPECT_EQ(name.substr(name.size() - 20), error[i].name.substr(3)) << Narrow(name);
    EXPECT_EQ(readError[i].cells[1], L"Unknown size");
  }
}

// Windows NT 4: ANSI calls, no reparse points, so the link back up is entered.
TEST(AnsiVariant, DiscScanFollowsALinkBackUpUntilThePathIsFull) {
  REQUIRE_BAD_MEDIA();
  ASSERT_EQ(g_osMajorVersion, 4);
  TestDrive drive('T', DRIVE_CDROM, BadMediaUnixPath("scan/links"));
  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    panel.Scan('T');
    const SeenMessageBox box = program.AnswerMessageBox();
    const auto readOk = panel.readOk(), readError = panel.readError();
    EXPECT_EQ(box.text, Summary(static_cast<int>(readOk.size()), static_cast<int>(readError.size())));
    ExpectLinkRowsUntilThePathIsFull(readOk, readError);
    EXPECT_FALSE(panel.repaintSubclassed());
  });
}

// Windows XP: the lists repaint themselves while idle after a run, never during one.
TEST(XpVariant, DiscListsRepaintThemselvesOnlyBetweenRuns) {
  REQUIRE_BAD_MEDIA();
  ASSERT_EQ(g_osMajorVersion, 5);
  TestDrive drive('T', DRIVE_CDROM, BadMediaUnixPath("scan/links"));
  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    EXPECT_FALSE(panel.repaintSubclassed());
    for (int run = 0; run < 2; ++run) {
      panel.Scan('T');
      HWND box = program.WaitForMessageBox();
      ASSERT_NE(box, nullptr);
      EXPECT_FALSE(panel.repaintSubclassed()) << "run " << run;
      EXPECT_EQ(ProgramDriver::ReadMessageBox(box).text, Summary(2, 0));
      ProgramDriver::PressOk(box);
      HWND start = panel.control(IDC_DISC_START);
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return panel.repaintSubclassed(); }, 5000));
    }
    // A link is a reparse point here: not entered.
    ExpectRows(panel.readOk(), {{L"T:\\caf\u00e9.bin", L"10 bytes"}, {L"T:\\sub\\inner.bin", L"10 bytes"}},
               L"READ OK");
  });
}

// What reaches the READ OK list under the program's own subclasses: each row inserted, each
// real paint and each middle click, with the rows it showed and whether the main window was
// still enabled (a message box disables it). Put on before the first run, from the test's
// thread, and left on: the program's subclasses go on above it and must hand it back.
struct ListEvent { DWORD tick; bool paint; LRESULT rows; bool beforeMessageBox; bool pointer; };
std::mutex g_listEventsLock;
std::vector<ListEvent> g_listEvents;
WNDPROC g_listProc = nullptr;

LRESULT CALLBACK RecordListEvents(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool paint = message == WM_PAINT;
  if (paint || message == LVM_INSERTITEMW || message == LVM_INSERTITEMA || message == WM_MBUTTONDOWN) {
    const LRESULT rows = CallWindowProcW(g_listProc, list, LVM_GETITEMCOUNT, 0, 0);
    const bool enabled = IsWindowEnabled(GetAncestor(list, GA_ROOT)) != FALSE;
    std::lock_guard<std::mutex> lock(g_listEventsLock);
    g_listEvents.push_back({GetTickCount(), paint, rows, enabled, message == WM_MBUTTONDOWN});
  }
  return CallWindowProcW(g_listProc, list, message, wParam, lParam);
}

std::vector<ListEvent> TakeListEvents() {
  std::lock_guard<std::mutex> lock(g_listEventsLock);
  return std::move(g_listEvents);
}

// Painting the list after every row of a run costs far more than reading a small file: it is
// painted a few times a second, each new row soon after it came, the last ones before the
// summary shows; rows, selection and scrolling are those of every row added at once. The
// list takes a click during the run, drawing off or not (a click on a list whose drawing is off
// would go to what lies behind it).
void ExpectAScanOfManySmallFilesPaintedAFewTimesASecond() {
  TempFolder folder;
  constexpr int kFiles = 1000;
  for (int i = 0; i < kFiles; ++i) folder.CreateFileOfSize((L"f" + std::to_wstring(i)).c_str(), 500 + i * 7 % 3000);
  TestDrive drive('W', DRIVE_FIXED, UnixPathOf(folder.path()));
  RunProgram([&](ProgramDriver& program) {
    DiscCheckPanel panel(program);
    HWND list = panel.control(IDC_DISC_READ_OK_LIST);
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordListEvents)));
    for (int run = 0; run < 2; ++run) {  // the second as the first left the lists (XP: repainting)
      TakeListEvents();  // what came before this run
      panel.Scan('W');
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0; }));
      ProgramDriver::MoveMouseOnto(list);
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
        POINT at;
        RECT shown;
        return GetCursorPos(&at) && GetWindowRect(list, &shown) && PtInRect(&shown, at);
      }));
      INPUT click[2] = {};
      click[0].type = click[1].type = INPUT_MOUSE;
      click[0].mi.dwFlags = MOUSEEVENTF_MIDDLEDOWN;
      click[1].mi.dwFlags = MOUSEEVENTF_MIDDLEUP;
      SendInput(2, click, sizeof(INPUT));
      HWND box = program.WaitForMessageBox();
      ASSERT_NE(box, nullptr);
      ProgramDriver::RestMouseOutside(GetAncestor(list, GA_ROOT));
      const std::vector<ListEvent> events = TakeListEvents();
      EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const ListEvent& e) {
        return e.pointer && e.beforeMessageBox && e.rows < kFiles;
      })) << "run " << run;
      EXPECT_EQ(GetWindowLongPtrW(list, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordListEvents));
      ProgramDriver::PressOk(box);
      long paintsInASecond = 0;
      DWORD longestWait = 0;
      bool lastRowsPaintedBeforeTheSummary = false;
      const auto firstRow = std::find_if(events.begin(), events.end(), [](const ListEvent& e) { return !e.paint; });
      for (auto event = firstRow; event != events.end(); ++event) {
        if (event->pointer) continue;
        const auto nextPaint = std::find_if(event, events.end(), [](const ListEvent& e) { return e.paint; });
        ASSERT_NE(nextPaint, events.end()) << "run " << run;
        longestWait = std::max(longestWait, nextPaint->tick - event->tick);
        if (!event->paint) continue;
        lastRowsPaintedBeforeTheSummary |= event->rows == kFiles && event->beforeMessageBox;
        const auto secondLater = std::find_if(event, events.end(), [&](const ListEvent& e) { return e.tick - event->tick >= 1000; });
        paintsInASecond = std::max(paintsInASecond, static_cast<long>(std::count_if(event, secondLater, [](const ListEvent& e) { return e.paint; })));
      }
      EXPECT_LE(paintsInASecond, 12) << "run " << run;
      EXPECT_LE(longestWait, 1000u) << "run " << run;  // a few hundred ms, on a busy machine too
      EXPECT_TRUE(lastRowsPaintedBeforeTheSummary) << "run " << run;
      const auto rows = panel.readOk();
      ASSERT_EQ(rows.size(), static_cast<size_t>(kFiles));
      EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const ListRow& row) { return row.selected; }), 1);
      EXPECT_TRUE(rows.back().selected);
      EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), kFiles - SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return IsWindowEnabled(panel.control(IDC_DISC_START)) != FALSE; }));
    }
  });
}

TEST(ReadDiscCheck, ListsOfAScanArePaintedAFewTimesASecond) { ExpectAScanOfManySmallFilesPaintedAFewTimesASecond(); }
// Windows NT 4 and Windows XP, whose lists repaint themselves between runs.
TEST(AnsiVariant, DiscListsArePaintedAFewTimesASecond) { ExpectAScanOfManySmallFilesPaintedAFewTimesASecond(); }
TEST(XpVariant, DiscListsArePaintedAFewTimesASecond) { ExpectAScanOfManySmallFilesPaintedAFewTimesASecond(); }

}  // namespace
