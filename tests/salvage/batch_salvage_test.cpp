// Copy Files To... on the Read Disc Check lists: the rows of a scanned bad-media drive rescued
// into a folder through the real panel, its folder chooser and its closing messages.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource_ids.h"
#include "salvage/rescue_map.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/disc_check_menu.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

// Copies the selected rows into `folder` (or gives the folder to the menu's command `key`).
SeenMessageBox CopyRowsTo(ProgramDriver& program, HWND panel, int filter, const std::wstring& folder, int rows = 0,
                          WORD key = 'F', const wchar_t* title = L"Copy Files To") {
  return RunListCommand(program, panel, filter, folder, rows, key, title);
}

std::wstring Counts(int whole, int withErrors, int already, int notCopied, int unread, int later = 0) {
  return L"Files copied whole\t\t\t: " + std::to_wstring(whole) + L"\nFiles copied with unreadable parts\t: " +
         std::to_wstring(withErrors) + L"\nFiles already there\t\t\t: " + std::to_wstring(already) +
         L"\nFiles not copied\t\t\t: " + std::to_wstring(notCopied) + L"\n\nBytes that could not be read: " +
         std::to_wstring(unread) + L"\nBytes rescued by the later passes: " + std::to_wstring(later) + L"\nReport: ";
}

// The reports in `folder`, oldest first, each checked for its name and its header line.
std::vector<std::string> Reports(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& name : FilesIn(folder)) {
    // "Copy report YYYY-MM-DD HH-MM-SS.csv", or " (2)" and on before ".csv" within one second.
    if (name.rfind(L"Copy report ", 0) == 0) names.push_back(name.substr(0, name.size() - 4));
    EXPECT_TRUE(name.size() == 35 || name.size() == 39 || name.rfind(L"Copy report ", 0) != 0) << Narrow(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> reports;
  for (const auto& name : names) {
    const std::string text = FileBytes(folder + L"\\" + name + L".csv");
    const std::string header = "\xEF\xBB\xBF" "File Name,Copied To,File Size,Correct Bytes,Error Bytes,Unreadable Ranges,Result\r\n";
    EXPECT_EQ(text.rfind(header, 0), 0u) << text;
    reports.push_back(text.substr(header.size()));
  }
  return reports;
}

// Whether two files have the same creation and last-write times.
bool SameTimes(const std::wstring& a, const std::wstring& b) {
  WIN32_FILE_ATTRIBUTE_DATA first = {}, second = {};
  GetFileAttributesExW(a.c_str(), GetFileExInfoStandard, &first);
  GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &second);
  return CompareFileTime(&first.ftCreationTime, &second.ftCreationTime) == 0 &&
         CompareFileTime(&first.ftLastWriteTime, &second.ftLastWriteTime) == 0;
}

TEST(CopyFilesTo, RescuesTheUnreadableThenTheReadableFilesAndLeavesCopiesAlreadyThere) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('W', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue"));
  TempFolder folder;
  const std::wstring to = folder.path();
  const std::string t = Narrow(to);
  const struct {
    const char* file;  // in the tree, below scan/rescue/
    std::int64_t length;
    std::vector<ByteRange> unreadable;
  } kCopies[] = {{"bad-middle.bin", 40960, {{20480, 24576}}}, {"bad-last.bin", 10000, {{8192, 10000}}},
                 {"ok.bin", 10000, {}}, {"empty.bin", 0, {}}, {"a/b/c/deep.bin", 5000, {}},
                 {"\xE6\x97\xA5\xE6\x9C\xAC.bin", 20, {}}};
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    SeenMessageBox box = CopyRowsTo(program, panel, 1, to);
    EXPECT_EQ(box.caption, L"Read Drive Check");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(0, 2, 0, 0, 4096 + 1808, 16384) + to + L"\\Copy report ", 0), 0u)
        << Narrow(box.text);
    box = CopyRowsTo(program, panel, 0, to);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(4, 0, 0, 0, 0), 0), 0u) << Narrow(box.text);
  });
  const std::vector<std::string> reports = Reports(to);
  ASSERT_EQ(reports.size(), 2u);
  // In list order, which is the file system's listing order.
  EXPECT_EQ(reports[0], "W:\\bad-last.bin," + t + "\\bad-last.bin,10000,8192,1808,8192-10000,COPIED WITH ERRORS\r\n"
                        "W:\\bad-middle.bin," + t + "\\bad-middle.bin,40960,36864,4096,20480-24576,COPIED WITH ERRORS\r\n");
  EXPECT_EQ(reports[1], "W:\\a\\b\\c\\deep.bin," + t + "\\a\\b\\c\\deep.bin,5000,5000,0,,COPIED\r\nW:\\empty.bin," + t +
                        "\\empty.bin,0,0,0,,COPIED\r\nW:\\ok.bin," + t + "\\ok.bin,10000,10000,0,,COPIED\r\n"
                        "W:\\\xE6\x97\xA5\xE6\x9C\xAC.bin," + t + "\\\xE6\x97\xA5\xE6\x9C\xAC.bin,20,20,0,,COPIED\r\n");
  for (const auto& copy : kCopies) {
    std::wstring below = Widen(copy.file);
    for (auto& unit : below) unit = unit == L'/' ? L'\\' : unit;
    const std::string tree = std::string("scan/rescue/") + copy.file;
    SCOPED_TRACE(tree);
    EXPECT_EQ(FileLength(to + L"\\" + below), copy.length);
    EXPECT_EQ(FirstWrongByte(to + L"\\" + below, tree.c_str(), copy.unreadable), -1);
    EXPECT_TRUE(SameTimes(to + L"\\" + below, BadMediaPath(tree.c_str())));
  }

  // Again into the same folder: whole copies are left alone and their sources never opened;
  // the copies with unreadable parts get one more round of retries of those parts alone.
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    const BadMediaReadLog afterScan;
    EXPECT_EQ(CopyRowsTo(program, panel, 1, to).text.rfind(L"Copy complete.\n\n" + Counts(0, 2, 0, 0, 4096 + 1808), 0), 0u);
    // The first two rows alone, chosen with Shift+Down.
    EXPECT_EQ(CopyRowsTo(program, panel, 0, to, 2).text.rfind(L"Copy complete.\n\n" + Counts(0, 0, 2, 0, 0), 0), 0u);
    for (const auto& copy : kCopies) {
      const std::string tree = std::string("scan/rescue/") + copy.file;
      if (copy.unreadable.empty()) {
        EXPECT_EQ(afterScan.OpensOf(tree.c_str()), 0) << copy.file;
      }
      for (const BadMediaRead& read : afterScan.ReadsOf(tree.c_str())) {
        EXPECT_TRUE(read.failed && static_cast<std::int64_t>(read.offset) >= copy.unreadable[0].start &&
                    static_cast<std::int64_t>(read.offset) < copy.unreadable[0].end)
            << copy.file << " at " << read.offset;
      }
    }
  });
  EXPECT_EQ(Reports(to).size(), 4u);
}

// No byte that a read gave is read again, within a run or across runs.
void ExpectNoByteReadTwice(const std::vector<BadMediaRead>& reads) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> given;
  for (const BadMediaRead& read : reads) {
    if (read.failed) continue;
    for (const auto& earlier : given) {
      EXPECT_FALSE(read.offset < earlier.second && earlier.first < read.offset + read.length) << "read at " << read.offset;
    }
    given.emplace_back(read.offset, read.offset + read.length);
  }
}

TEST(CopyFilesTo, CancelKeepsWhatWasRescuedAndTheSameRunGoesOnFromIt) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('U', DRIVE_REMOVABLE, BadMediaUnixPath("scan/cancel"));
  TempFolder folder;
  const std::string t = Narrow(folder.path());
  std::vector<BadMediaRead> reads;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'U');
    const BadMediaReadLog log;
    HWND status = GetDlgItem(panel, IDC_DISC_STATUS);
    std::thread user([&] {
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
        return ProgramDriver::Text(status).rfind(L"Copying file 4 of 7: U:\\b\\c\\m-slow.bin - ", 0) == 0;
      }));
      program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
    });
    const SeenMessageBox box = CopyRowsTo(program, panel, 0, folder.path());
    user.join();
    EXPECT_EQ(box.text.rfind(L"Operation cancelled.\n\nWhat was rescued so far is kept", 0), 0u) << Narrow(box.text);
    EXPECT_NE(box.text.find(L"Files unfinished\t: 1\nReport: " + folder.path() + L"\\Copy report "), std::wstring::npos);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    reads = log.ReadsOf("scan/cancel/b/c/m-slow.bin");
  });
  // The file in hand keeps its unfinished name and its map; nothing half-done takes the final name.
  EXPECT_EQ(FilesIn(folder.path() + L"\\b\\c"),
            (std::vector<std::wstring>{L"a-first.bin", L"m-slow.bin.rescue-map.txt", L"m-slow.bin.unfinished"}));
  std::vector<std::string> reports = Reports(folder.path());
  ASSERT_EQ(reports.size(), 1u);
  const std::string unfinished = "U:\\b\\c\\m-slow.bin," + t + "\\b\\c\\m-slow.bin.unfinished,4194304,";
  EXPECT_EQ(reports[0].rfind("U:\\a-first.bin," + t + "\\a-first.bin,10,10,0,,COPIED\r\nU:\\b\\a-first.bin," + t +
                             "\\b\\a-first.bin,10,10,0,,COPIED\r\nU:\\b\\c\\a-first.bin," + t +
                             "\\b\\c\\a-first.bin,10,10,0,,COPIED\r\n" + unfinished, 0), 0u) << reports[0];
  EXPECT_NE(reports[0].find(",,UNFINISHED\r\nU:\\b\\c\\z-after.bin,,10,,,,NOT REACHED\r\n"
                            "U:\\b\\z-after.bin,,10,,,,NOT REACHED\r\nU:\\z-after.bin,,10,,,,NOT REACHED\r\n"),
            std::string::npos) << reports[0];

  // A new start goes on from the maps in the folder without checking the drive again; then
  // the same run again copies the rest.
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    ProgramDriver::DropFiles(panel, {10, 10}, {L"U:\\"});
    const BadMediaReadLog log;
    SeenMessageBox box = CopyRowsTo(program, panel, 0, folder.path(), 0, 'R', L"Resume Rescue From");
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(1, 0, 0, 0, 0), 0), 0u) << Narrow(box.text);
    for (const BadMediaRead& read : log.ReadsOf("scan/cancel/b/c/m-slow.bin")) reads.push_back(read);
    EXPECT_EQ(CopyRowsTo(program, panel, 0, folder.path(), 0, 'R', L"Resume Rescue From").text,
              L"There is no unfinished rescue in this folder.");
    ScanDrive(program, 'U');
    box = CopyRowsTo(program, panel, 0, folder.path());
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(3, 0, 4, 0, 0), 0), 0u) << Narrow(box.text);
  });
  EXPECT_EQ(FilesIn(folder.path() + L"\\b\\c"), (std::vector<std::wstring>{L"a-first.bin", L"m-slow.bin", L"z-after.bin"}));
  EXPECT_EQ(FirstWrongByte(folder.path() + L"\\b\\c\\m-slow.bin", "scan/cancel/b/c/m-slow.bin", {}), -1);
  ExpectNoByteReadTwice(reads);
}

// The failing reads of a file, and whether one at the same offset and length failed twice.
int FailedReads(const std::vector<BadMediaRead>& reads, bool& repeated) {
  std::vector<std::pair<std::uint64_t, std::uint32_t>> failed;
  for (const BadMediaRead& read : reads) {
    if (!read.failed) continue;
    repeated = repeated || std::find(failed.begin(), failed.end(), std::make_pair(read.offset, read.length)) != failed.end();
    failed.emplace_back(read.offset, read.length);
  }
  return static_cast<int>(failed.size());
}

// One run of the passes over a tree of every kind of damage: each copy holds every byte that
// any read gave, zeros elsewhere, at the source's full length; no readable byte is read twice;
// small bad areas get four reads a sector, a dead area one; a 2048-byte-sector drive is read
// in its own sectors.
TEST(CopyFilesTo, ThePassesRescueEveryReadableSectorAndRetryOnlySmallBadAreas) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('P', DRIVE_REMOVABLE, BadMediaUnixPath("scan/passes"));
  TestDrive cd('G', DRIVE_CDROM, BadMediaUnixPath("sectors/cd"));
  TempFolder folder, cdFolder;
  const std::string t = Narrow(folder.path()), c = Narrow(cdFolder.path());
  const struct {
    const char* file;
    std::vector<ByteRange> unreadable;
    int failedReads;  // by the rescue; -1: at most 2 (a marginal sector fails less once its reads are spent)
    const char* reportLine;
  } kFiles[] = {
      {"scan/passes/bad-sector.bin", {{20992, 21504}}, 5, "P:\\bad-sector.bin,T\\bad-sector.bin,65536,65024,512,20992-21504,COPIED WITH ERRORS"},
      // Two blocks and two skipped blocks fail before the dead area is read sector by sector, once.
      {"scan/passes/dead.bin", {{256 << 10, 384 << 10}}, 4 + 256, "P:\\dead.bin,T\\dead.bin,1048576,917504,131072,262144-393216,COPIED WITH ERRORS"},
      {"scan/passes/last-sector.bin", {{9728, 10000}}, 5, "P:\\last-sector.bin,T\\last-sector.bin,10000,9728,272,9728-10000,COPIED WITH ERRORS"},
      {"scan/passes/marginal.bin", {}, -1, "P:\\marginal.bin,T\\marginal.bin,65536,65536,0,,COPIED"},
      {"sectors/cd/bad-sector.bin", {{4096, 6144}}, 5, "G:\\bad-sector.bin,C\\bad-sector.bin,16384,14336,2048,4096-6144,COPIED WITH ERRORS"},
  };
  std::vector<std::vector<BadMediaRead>> reads;
  RunProgram([&](ProgramDriver& program) {
    const BadMediaReadLog log;
    HWND panel = ScanDrive(program, 'P');
    const BadMediaReadLog afterScan;
    const SeenMessageBox box = CopyRowsTo(program, panel, 1, folder.path());
    // Once its reads are spent, the marginal sector reads at the drive check: the file is then
    // not among the unreadable rows.
    bool repeated = false;
    const bool marginalListed = FailedReads(log.ReadsOf("scan/passes/marginal.bin"), repeated) > 0;
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(marginalListed, 3, 0, 0, 512 + 131072 + 272,
                                                            44544 + 73728 + 1536 + (marginalListed ? 36864 : 0)), 0), 0u)
        << Narrow(box.text);
    for (const auto& f : kFiles) reads.push_back(afterScan.ReadsOf(f.file));
    ScanDrive(program, 'G');
    const BadMediaReadLog afterCdScan;
    CopyRowsTo(program, panel, 1, cdFolder.path());
    reads.back() = afterCdScan.ReadsOf(kFiles[4].file);
  });
  const std::string report = Reports(folder.path()).at(0) + Reports(cdFolder.path()).at(0);
  for (std::size_t i = 0; i < std::size(kFiles); ++i) {
    const auto& f = kFiles[i];
    SCOPED_TRACE(f.file);
    if (i == 3 && reads[i].empty()) continue;  // read at the drive check: not a row to rescue
    const std::string name = std::string(f.file).substr(std::string(f.file).rfind('/') + 1);
    const std::wstring copy = (i == 4 ? cdFolder.path() : folder.path()) + L"\\" + Widen(name);
    EXPECT_EQ(FileLength(copy), FileLength(BadMediaPath(f.file)));
    EXPECT_EQ(FirstWrongByte(copy, f.file, f.unreadable), -1);
    ExpectNoByteReadTwice(reads[i]);
    bool repeated = false;
    const int failed = FailedReads(reads[i], repeated);
    if (f.failedReads >= 0) {
      EXPECT_EQ(failed, f.failedReads);
    } else {
      EXPECT_LE(failed, 2);
    }
    // No failing sector of the dead area is read again.
    EXPECT_TRUE(i != 1 || !repeated);
    std::string line = f.reportLine;
    line.replace(line.find(i == 4 ? ",C" : ",T") + 1, 1, i == 4 ? c : t);
    EXPECT_NE(report.find(line + "\r\n"), std::string::npos) << report;
  }
}

// The ranges of a map file in one state.
std::vector<ByteRange> MapRanges(const std::string& text, char state) {
  std::vector<ByteRange> ranges;
  RescueMap map;
  if (!ParseRescueMap(text.data(), text.size(), map)) return ranges;
  for (const MapRange& range : map.ranges) {
    if (static_cast<char>(range.state) == state) ranges.push_back({range.start, range.end()});
  }
  return ranges;
}

// Cancelled while the dead area is read sector by sector, then the same run again: the copy
// and the reads of an uninterrupted run (only the read in hand at the cancel comes again).
TEST(CopyFilesTo, ACancelInADeadAreaAndTheSameRunAgainGiveWhatOneRunGives) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('J', DRIVE_REMOVABLE, BadMediaUnixPath("scan/cancelled"));
  TempFolder folder;
  std::vector<BadMediaRead> reads;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'J');
    const BadMediaReadLog log;
    std::thread user([&] {
      ASSERT_TRUE(ProgramDriver::WaitUntil(
          [&] { return !MapRanges(FileBytes(folder.path() + L"\\dead.bin.rescue-map.txt"), '-').empty(); }));
      program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
    });
    SeenMessageBox box = CopyRowsTo(program, panel, 1, folder.path());
    user.join();
    EXPECT_EQ(box.text.rfind(L"Operation cancelled.", 0), 0u) << Narrow(box.text);
    box = CopyRowsTo(program, panel, 1, folder.path());
    const std::wstring counts = Counts(0, 1, 0, 0, 131072);
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + counts.substr(0, counts.find(L"later passes")), 0), 0u)
        << Narrow(box.text);
    reads = log.ReadsOf("scan/cancelled/dead.bin");
  });
  ExpectNoByteReadTwice(reads);
  bool repeated = false;
  EXPECT_LE(FailedReads(reads, repeated), 4 + 256 + 1);
  EXPECT_EQ(FileLength(folder.path() + L"\\dead.bin"), 1 << 20);
  EXPECT_EQ(FirstWrongByte(folder.path() + L"\\dead.bin", "scan/cancelled/dead.bin", {{256 << 10, 384 << 10}}), -1);
}

// Runs CopyFilesTo.<test> of this program in a process of its own, its output into `outputName`.
PROCESS_INFORMATION StartThisTest(const wchar_t* test, const std::wstring& outputName) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=CopyFilesTo." + test;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE outputFile = CreateFileW(outputName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = outputFile;
  PROCESS_INFORMATION process = {};
  EXPECT_TRUE(CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
  CloseHandle(outputFile);
  return process;
}

// Not a test of its own: the rescue that CopyFilesTo.AKilledRescueGoesOnFromItsLastMap
// starts in a process of its own and kills.
TEST(CopyFilesTo, DISABLED_RescueThatIsKilled) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_TRUE(GetEnvironmentVariableW(L"VEROLUX_KILLED_RESCUE_FOLDER", folder, MAX_PATH));
  RunProgram([&](ProgramDriver& program) { CopyRowsTo(program, ScanDrive(program, 'K'), 1, folder); });
}

// The process is killed while the dead area is read sector by sector; Resume Rescue From
// finishes the file without reading anything again that the last map written holds. Then the
// source no longer matches the map: a new run rescues it anew and keeps the earlier copy.
TEST(CopyFilesTo, AKilledRescueGoesOnFromItsLastMap) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('K', DRIVE_REMOVABLE, BadMediaUnixPath("scan/killed"));
  TempFolder folder;
  const std::wstring map = folder.path() + L"\\dead.bin.rescue-map.txt";
  SetEnvironmentVariableW(L"VEROLUX_KILLED_RESCUE_FOLDER", folder.path().c_str());
  // The rescue's own output, to show when it does not get as far as the dead area.
  TempFolder output;
  const std::wstring outputName = output.path() + L"\\killed.txt";
  PROCESS_INFORMATION process = StartThisTest(L"DISABLED_RescueThatIsKilled", outputName);
  // Killed once a map written during the sector reads of the dead area is there.
  EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return !MapRanges(FileBytes(map), '-').empty(); }, 60000))
      << FileBytes(outputName);
  TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  const std::string lastMap = FileBytes(map);
  std::vector<ByteRange> done = MapRanges(lastMap, '+');
  for (const ByteRange& range : MapRanges(lastMap, '-')) done.push_back(range);
  ASSERT_FALSE(MapRanges(lastMap, '-').empty()) << lastMap;
  EXPECT_EQ(FilesIn(folder.path()), (std::vector<std::wstring>{L"dead.bin.rescue-map.txt", L"dead.bin.unfinished"}));

  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    ProgramDriver::DropFiles(panel, {10, 10}, {L"K:\\"});
    const BadMediaReadLog log;
    const SeenMessageBox box = CopyRowsTo(program, panel, 0, folder.path(), 0, 'R', L"Resume Rescue From");
    const std::wstring counts = Counts(0, 1, 0, 0, 131072);
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + counts.substr(0, counts.find(L"later passes")), 0), 0u)
        << Narrow(box.text);
    const std::vector<BadMediaRead> reads = log.ReadsOf("scan/killed/dead.bin");
    EXPECT_FALSE(reads.empty());
    for (const BadMediaRead& read : reads) {
      for (const ByteRange& range : done) {
        EXPECT_FALSE(static_cast<std::int64_t>(read.offset) < range.end &&
                     range.start < static_cast<std::int64_t>(read.offset + read.length))
            << "read at " << read.offset << " again";
      }
    }
  });
  const std::wstring copy = folder.path() + L"\\dead.bin";
  EXPECT_EQ(FileLength(copy), 1 << 20);
  EXPECT_EQ(FirstWrongByte(copy, "scan/killed/dead.bin", {{256 << 10, 384 << 10}}), -1);

  // A map whose source has another last-write time now: rescued anew, the earlier copy kept.
  std::string text = FileBytes(map);
  const std::size_t written = text.find("\nwritten ") + 9;
  text.replace(written, text.find('\n', written) - written, "1");
  WriteFileBytes(map, text);
  RunProgram([&](ProgramDriver& program) { CopyRowsTo(program, ScanDrive(program, 'K'), 1, folder.path()); });
  const std::wstring earlier = folder.path() + L"\\dead (earlier copy).bin";
  EXPECT_EQ(FileBytes(earlier), FileBytes(copy));
  EXPECT_EQ(FirstWrongByte(copy, "scan/killed/dead.bin", {{256 << 10, 384 << 10}}), -1);
  const std::vector<std::string> reports = Reports(folder.path());
  ASSERT_FALSE(reports.empty());
  EXPECT_NE(reports.back().find(",COPIED WITH ERRORS (rescued anew: the file has changed since its rescue began; the "
                                "earlier copy is kept as " + Narrow(earlier) + ")\r\n"), std::string::npos)
      << reports.back();
}

// A rescue of `name` at the root of drive G: begun in `folder` and not read yet, as Resume Rescue
// From finds it: no drive check reads the file before the rescue does.
void BeginRescueOnDriveG(const char* name, const std::wstring& folder) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW((L"G:\\" + Widen(name)).c_str(), GetFileExInfoStandard, &data));
  RescueMap map;
  map.Reset((static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  lstrcpynA(map.sourcePath, ("\\" + std::string(name)).c_str(), sizeof map.sourcePath);
  map.sourceWriteTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                        data.ftLastWriteTime.dwLowDateTime;
  const PlainText text = FormatRescueMap(map);
  WriteFileBytes(folder + L"\\" + Widen(name) + L".rescue-map.txt", text.c_str());
  WriteFileBytes(folder + L"\\" + Widen(name) + L".unfinished", "");
}

// Not a test of its own: the rescue that CopyFilesTo.AStalledReadHoldsUpNeitherTheWindowNorCancelNorClosing
// runs in a process of its own. During a read that the drive holds for 20 s the window answers and
// repaints, and Cancel ends the run; until the read returns no new rescue from the drive begins.
TEST(CopyFilesTo, DISABLED_RescueThatStalls) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_TRUE(GetEnvironmentVariableW(L"VEROLUX_STALLED_RESCUE_FOLDER", folder, MAX_PATH));
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    ProgramDriver::DropFiles(panel, {10, 10}, {L"G:\\"});
    HWND status = GetDlgItem(panel, IDC_DISC_STATUS);
    DWORD cancelTick = 0;
    std::thread user([&] {
      ASSERT_TRUE(ProgramDriver::WaitUntil(
          [&] { return ProgramDriver::Text(status).rfind(L"Copying file 1 of 1: G:\\stall.bin - ", 0) == 0; }));
      // Two seconds of the stall, looked at every tenth of a second.
      for (int i = 0; i < 20; ++i) {
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutW(program.mainWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 500, &answer)) << i;
        InvalidateRect(panel, nullptr, TRUE);
        EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return !GetUpdateRect(panel, nullptr, FALSE); }, 500)) << i;
        Sleep(100);
      }
      cancelTick = GetTickCount();
      program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
    });
    SeenMessageBox box = CopyRowsTo(program, panel, 0, folder, 0, 'R', L"Resume Rescue From");
    const DWORD cancelMs = GetTickCount() - cancelTick;
    user.join();
    EXPECT_EQ(box.text.rfind(L"Operation cancelled.", 0), 0u) << Narrow(box.text);
    EXPECT_LT(cancelMs, 2000u);
    box = CopyRowsTo(program, panel, 0, folder, 0, 'R', L"Resume Rescue From");
    EXPECT_EQ(box.text.rfind(L"A read of the cancelled rescue has not returned yet", 0), 0u) << Narrow(box.text);
  });
  std::printf("window closed\n");
  std::fflush(stdout);
}

// Closing the window after such a cancel ends the process at once. The cancel kept what was read
// before the stall, and once the drive gives up on the read a new run finishes the rescue.
TEST(CopyFilesTo, AStalledReadHoldsUpNeitherTheWindowNorCancelNorClosing) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('G', DRIVE_REMOVABLE, BadMediaUnixPath("scan/stalled"));
  ASSERT_TRUE(RestartMarginalCounts("scan/stalled/stall.bin"));
  TempFolder folder, output;
  BeginRescueOnDriveG("stall.bin", folder.path());
  SetEnvironmentVariableW(L"VEROLUX_STALLED_RESCUE_FOLDER", folder.path().c_str());
  const std::wstring outputName = output.path() + L"\\stalled.txt";
  const BadMediaReadLog log;
  PROCESS_INFORMATION process = StartThisTest(L"DISABLED_RescueThatStalls", outputName);
  EXPECT_TRUE(ProgramDriver::WaitUntil([&] { return FileBytes(outputName).find("window closed") != std::string::npos; },
                                       60000));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 2000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u) << FileBytes(outputName);
  TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  const std::vector<ByteRange> rescued = MapRanges(FileBytes(folder.path() + L"\\stall.bin.rescue-map.txt"), '+');
  ASSERT_EQ(rescued.size(), 1u);
  EXPECT_EQ(rescued[0].start, 0);
  EXPECT_EQ(rescued[0].end, 32 << 10);

  ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
    const std::vector<BadMediaRead> reads = log.ReadsOf("scan/stalled/stall.bin");
    return std::any_of(reads.begin(), reads.end(), [](const BadMediaRead& read) { return read.failed; });
  }, 30000));
  RunProgram([&](ProgramDriver& program) {
    HWND panel = program.PanelWith(IDC_DISC_START);
    ProgramDriver::DropFiles(panel, {10, 10}, {L"G:\\"});
    const SeenMessageBox box = CopyRowsTo(program, panel, 0, folder.path(), 0, 'R', L"Resume Rescue From");
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(1, 0, 0, 0, 0), 0), 0u) << Narrow(box.text);
  });
  EXPECT_EQ(FirstWrongByte(folder.path() + L"\\stall.bin", "scan/stalled/stall.bin", {}), -1);
}

// A full disk and a medium that goes away while b-big.bin is written; a folder on the checked
// drive, one too small and one that cannot be written are refused with nothing written.
TEST(CopyFilesTo, AFailedWriteStopsTheRunAndUnfitFoldersAreRefused) {
  REQUIRE_BAD_MEDIA();
  REQUIRE_SALVAGE_DISKS();
  TestDrive drive('V', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue-fault"));
  const struct {
    std::wstring folder, message;
    std::vector<std::wstring> filesAfter;
  } kCases[] = {
      // What was rescued stays; a map is kept where the folder still takes one.
      {BadMediaPath("out/rescue-full"), L"Copying stopped: the folder could not be written.\n\n",
       {L"a-small.bin", L"b-big.bin.rescue-map.txt", L"b-big.bin.unfinished"}},
      {BadMediaPath("out/rescue-gone"), L"Copying stopped: the folder could not be written.\n\n",
       {L"a-small.bin", L"b-big.bin.unfinished"}},
      {L"V:\\", L"The folder is on the drive being checked. Writing to a failing medium can destroy what is still "
                L"readable on it: choose a folder on another drive.", {}},
      {SalvageDisk("full"), L"There is not enough free space in the folder.\n\nNeeded: 1058826 bytes\nFree: ", {}},
      {SalvageDisk("readonly"), L"The folder does not exist or cannot be written.\n\n", {}},
  };
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'V');
    for (const auto& c : kCases) {
      SCOPED_TRACE(Narrow(c.folder));
      const std::vector<std::wstring> before = FilesIn(c.folder);
      const SeenMessageBox box = CopyRowsTo(program, panel, 0, c.folder);
      EXPECT_EQ(box.text.rfind(c.message, 0), 0u) << Narrow(box.text);
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      std::vector<std::wstring> after = FilesIn(c.folder);
      if (c.filesAfter.empty()) {
        EXPECT_EQ(after, before);
        continue;
      }
      const std::wstring counts = Counts(1, 0, 0, 1, 0);
      EXPECT_NE(box.text.find(counts.substr(0, counts.find(L"\n\n")) + L"\nFiles unfinished\t\t\t: 1\n\n"),
                std::wstring::npos) << Narrow(box.text);
      after.erase(std::remove_if(after.begin(), after.end(),
                                 [](const std::wstring& name) { return name.rfind(L"Copy report ", 0) == 0; }),
                  after.end());
      EXPECT_EQ(after, c.filesAfter);
      EXPECT_EQ(FirstWrongByte(c.folder + L"\\a-small.bin", "scan/rescue-fault/a-small.bin", {}), -1);
      EXPECT_EQ(FileLength(c.folder + L"\\a-small.bin"), 10240);
      // Everything written before the fault is in the unfinished copy.
      EXPECT_EQ(FirstWrongByte(c.folder + L"\\b-big.bin.unfinished", "scan/rescue-fault/b-big.bin", {{600 * 1024, 1 << 20}}), -1);
      for (const auto& name : after) DeleteFileW((c.folder + L"\\" + name).c_str());
    }
  });
}

// The destination disk fills while a map is there: the run stops with what it rescued kept,
// and once space is freed Resume Rescue From finishes the copy.
TEST(CopyFilesTo, ARescueStoppedByAFullDiskIsFinishedOnceThereIsRoom) {
  REQUIRE_BAD_MEDIA();
  REQUIRE_SALVAGE_DISKS();
  TestDrive drive('F', DRIVE_REMOVABLE, BadMediaUnixPath("scan/filling"));
  const std::wstring folder = SalvageDisk("exact") + L"\\filling", filler = SalvageDisk("exact") + L"\\filler.bin";
  CreateDirectoryW(folder.c_str(), nullptr);
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'F');
    std::thread other([&] {
      // Another program takes the rest of the disk once the rescue has written its map.
      ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return FileLength(folder + L"\\slow.bin.rescue-map.txt") > 0; }));
      HANDLE out = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      const std::string block(4096, 'x');
      DWORD written = 0;
      while (WriteFile(out, block.data(), 4096, &written, nullptr) && written == 4096) {
      }
      CloseHandle(out);
    });
    SeenMessageBox box = CopyRowsTo(program, panel, 0, folder);
    other.join();
    EXPECT_EQ(box.text.rfind(L"Copying stopped: the folder could not be written.\n\n", 0), 0u) << Narrow(box.text);
    EXPECT_GT(FileLength(folder + L"\\slow.bin.unfinished"), 0);
    ASSERT_TRUE(DeleteFileW(filler.c_str()));
    box = CopyRowsTo(program, panel, 0, folder, 0, 'R', L"Resume Rescue From");
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(1, 0, 0, 0, 0), 0), 0u) << Narrow(box.text);
  });
  EXPECT_EQ(FirstWrongByte(folder + L"\\slow.bin", "scan/filling/slow.bin", {}), -1);
  EXPECT_EQ(FileLength(folder + L"\\slow.bin"), 512 << 10);
  for (const auto& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
  RemoveDirectoryW(folder.c_str());
}

// Windows NT 4: the ANSI folder browser and ANSI calls; a name outside the code page was
// listed without a size and is not copied.
TEST(AnsiVariant, CopyFilesToGoesThroughTheAnsiCalls) {
  REQUIRE_BAD_MEDIA();
  ASSERT_EQ(g_osMajorVersion, 4);
  TestDrive drive('W', DRIVE_REMOVABLE, BadMediaUnixPath("scan/rescue"));
  TempFolder folder;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'W');
    const SeenMessageBox box = CopyRowsTo(program, panel, 1, folder.path());
    EXPECT_EQ(box.text.rfind(L"Copy complete.\n\n" + Counts(0, 2, 0, 1, 4096 + 1808, 16384), 0), 0u) << Narrow(box.text);
  });
  EXPECT_EQ(FirstWrongByte(folder.path() + L"\\bad-middle.bin", "scan/rescue/bad-middle.bin", {{20480, 24576}}), -1);
  const std::vector<std::string> reports = Reports(folder.path());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("W:\\??.bin,,,,,,NOT COPIED: could not be opened when the drive was checked\r\n"), std::string::npos) << reports[0];
}

}  // namespace
