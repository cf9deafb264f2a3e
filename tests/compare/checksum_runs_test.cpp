// Save Checksums As and Verify Checksums on the Read Disc Check lists: MD5 lists of a bad-media
// drive written and checked through the real panel, its file dialogs and the results window,
// with GNU md5sum on the Unix side of the same tree as the other checker.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/run_state.h"
#include "tests/support/bad_media.h"
#include "tests/support/disc_check_menu.h"
#include "tests/support/program_driver.h"
#include "tests/support/test_drives.h"
#include "tests/support/test_windows.h"

namespace {

const char* const kReadable[] = {"a.bin", "sub/deep/c.bin", "empty.bin", "\xE6\x97\xA5\xE6\x9C\xAC.bin", "caf\xC3\xA9.bin"};

SeenMessageBox SaveChecksums(ProgramDriver& program, HWND panel, int filter, const std::wstring& name) {
  return RunListCommand(program, panel, filter, name, 0, 'H', L"Save Checksums As");
}

struct Verified {
  SeenMessageBox box;
  std::vector<ListRow> rows;  // File Name, Expected, Found, Result
  std::wstring summary;
};

Verified VerifyChecksums(ProgramDriver& program, HWND panel, const std::wstring& list) {
  Verified verified;
  verified.box = RunListCommand(program, panel, 0, list, 0, 'V', L"Verify Checksums");
  HWND window = FindWindowW(L"#32770", L"Checksum Results");
  EXPECT_TRUE(window && IsWindowVisible(window));
  verified.rows = ReadListRows(GetDlgItem(window, IDC_CHECKSUM_LIST), 4);
  verified.summary = ProgramDriver::Text(GetDlgItem(window, IDC_CHECKSUM_SUMMARY));
  return verified;
}

std::wstring Counts(const wchar_t* head, int ok, int changed, int readError, int missing, int notChecked) {
  return std::wstring(head) + L"\n\nFiles \"OK\"\t\t: " + std::to_wstring(ok) + L"\nFiles \"CHANGED\"\t\t: " +
         std::to_wstring(changed) + L"\nFiles \"READ ERROR\"\t: " + std::to_wstring(readError) +
         L"\nFiles \"MISSING\"\t\t: " + std::to_wstring(missing) + L"\nFiles \"NOT CHECKED\"\t: " +
         std::to_wstring(notChecked);
}

// md5sum's digests of the readable files, by their names below the tree's checksums/ folder.
std::map<std::string, std::string> Md5sums() {
  std::string script = "cd '" + BadMediaUnixPath("checksums") + "' && md5sum";
  for (const char* name : kReadable) script += std::string(" '") + name + "'";
  std::string out;
  EXPECT_EQ(RunUnixShell(script, out), 0) << out;
  std::map<std::string, std::string> sums;
  for (std::size_t at = 0; at + 35 <= out.size();) {
    const std::size_t end = out.find('\n', at);
    sums[out.substr(at + 34, end - at - 34)] = out.substr(at, 32);
    at = end + 1;
  }
  return sums;
}

// Every row's File Name and Result, and its Found cell where it must equal the Expected one.
void ExpectAllOk(const Verified& verified, std::size_t files) {
  EXPECT_EQ(verified.box.text, Counts(L"Verification complete.", static_cast<int>(files), 0, 0, 0, 0));
  EXPECT_EQ(verified.box.icon, static_cast<UINT>(MB_ICONINFORMATION));
  ASSERT_EQ(verified.rows.size(), files);
  for (const ListRow& row : verified.rows) {
    EXPECT_EQ(row.cells[3], L"OK") << Narrow(row.cells[0]);
    EXPECT_EQ(row.cells[1], row.cells[2]);
    EXPECT_EQ(row.cells[1].size(), 32u);
  }
}

TEST(SaveChecksums, ListOfADrivePassesMd5sumAndVerifiesWithEveryFileOk) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('K', DRIVE_REMOVABLE, BadMediaUnixPath("checksums"));
  TempFolder folder;
  const std::wstring list = folder.path() + L"\\checksums.md5", unreadable = folder.path() + L"\\unreadable.md5";
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'K');
    // Never written to the checked drive, and refused before a file is read.
    const BadMediaReadLog log;
    SeenMessageBox box = SaveChecksums(program, panel, 0, L"K:\\lists\\checksums.md5");
    EXPECT_EQ(box.text.rfind(L"The list cannot be saved on the drive being checked.", 0), 0u) << Narrow(box.text);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(log.OpensOf("checksums/a.bin"), 0);

    box = SaveChecksums(program, panel, 0, list);
    EXPECT_EQ(box.text, L"Checksums saved.\n\nFiles listed\t\t: 5\nFiles \"READ ERROR\"\t: 0");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
    box = SaveChecksums(program, panel, 1, unreadable);
    EXPECT_EQ(box.text.rfind(L"Checksums saved.\n\nFiles listed\t\t: 0\nFiles \"READ ERROR\"\t: 1\n\n", 0), 0u);
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));

    const Verified verified = VerifyChecksums(program, panel, list);
    ExpectAllOk(verified, 5);
    EXPECT_EQ(verified.rows[0].cells[0].rfind(L"K:\\", 0), 0u);
    EXPECT_EQ(verified.summary, L"Files listed: 5    OK: 5    CHANGED: 0    READ ERROR: 0    MISSING: 0    NOT CHECKED: 0");
  });
  // md5sum's binary form, UTF-8 without a byte-order mark and with LF, which md5sum -c takes.
  const std::string text = FileBytes(list);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find(" *sub/deep/c.bin\n"), std::string::npos) << text;
  std::string out;
  EXPECT_EQ(RunUnixShell("cd '" + BadMediaUnixPath("checksums") + "' && md5sum -c --strict '" + UnixPathOf(list) +
                             "' | sort",
                         out),
            0)
      << out;
  EXPECT_EQ(out, "a.bin: OK\ncaf\xC3\xA9.bin: OK\nempty.bin: OK\nsub/deep/c.bin: OK\n\xE6\x97\xA5\xE6\x9C\xAC.bin: OK\n");
  EXPECT_EQ(FileBytes(unreadable), "# READ ERROR: sub/bad.bin\n");
  EXPECT_EQ(FilesIn(folder.path()).size(), 2u);  // no file of the writer's own stayed behind
}

TEST(VerifyChecksums, ListsAsPeopleKeepThemMeetEveryResult) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('K', DRIVE_REMOVABLE, BadMediaUnixPath("checksums"));
  TempFolder folder;
  std::map<std::string, std::string> sums = Md5sums();
  ASSERT_EQ(sums.size(), 5u);
  std::string upper = sums["sub/deep/c.bin"];
  for (char& digit : upper) digit = static_cast<char>(toupper(digit));
  const std::string a = sums["a.bin"], wrong = "0123456789abcdef0123456789abcdef";
  const std::wstring japanese = Widen("\xE6\x97\xA5\xE6\x9C\xAC.bin");
  const struct {
    std::string line;  // as the list holds it, its line end included
    std::wstring name, expected, found, result;
  } kLines[] = {
      {"\xEF\xBB\xBF" + a + " *a.bin\r\n", L"K:\\a.bin", Widen(a), Widen(a), L"OK"},
      {upper + "  sub/deep/c.bin\n", L"K:\\sub\\deep\\c.bin", Widen(sums["sub/deep/c.bin"]), Widen(sums["sub/deep/c.bin"]), L"OK"},
      {"\\" + upper + " *sub\\\\deep\\\\c.bin\r\n", L"K:\\sub\\deep\\c.bin", Widen(sums["sub/deep/c.bin"]), Widen(sums["sub/deep/c.bin"]), L"OK"},
      {"MD5 (empty.bin) = " + sums["empty.bin"] + "\n", L"K:\\empty.bin", Widen(sums["empty.bin"]), Widen(sums["empty.bin"]), L"OK"},
      {"\n; a comment\n# another\n", L"", L"", L"", L""},
      {sums["\xE6\x97\xA5\xE6\x9C\xAC.bin"] + " *./x/../\xE6\x97\xA5\xE6\x9C\xAC.bin\n", L"K:\\" + japanese,
       Widen(sums["\xE6\x97\xA5\xE6\x9C\xAC.bin"]), Widen(sums["\xE6\x97\xA5\xE6\x9C\xAC.bin"]), L"OK"},
      // The ANSI code page where the bytes are not UTF-8.
      {sums["caf\xC3\xA9.bin"] + " *caf\xE9.bin\n", L"K:\\caf\u00E9.bin", Widen(sums["caf\xC3\xA9.bin"]),
       Widen(sums["caf\xC3\xA9.bin"]), L"OK"},
      {wrong + " *a.bin\n", L"K:\\a.bin", Widen(wrong), Widen(a), L"CHANGED"},
      {wrong + " *sub/bad.bin\n", L"K:\\sub\\bad.bin", Widen(wrong), L"", L"READ ERROR"},
      {wrong + " *gone.bin\n", L"K:\\gone.bin", Widen(wrong), L"", L"MISSING"},
      {wrong + " *sub/../../a.bin\n", L"sub/../../a.bin", Widen(wrong), L"", L"NOT CHECKED: path outside the drive"},
      {wrong + " */a.bin\n", L"/a.bin", Widen(wrong), L"", L"NOT CHECKED: path outside the drive"},
      {wrong + " *" + std::string(300, 'n') + "\n", std::wstring(259, L'n'), Widen(wrong), L"", L"NOT CHECKED: name too long"},
      {"not a checksum line\n", L"not a checksum line", L"", L"", L"NOT CHECKED: line 16 not understood"},
      {wrong + "  \n", Widen(wrong + "  "), L"", L"", L"NOT CHECKED: line 17 not understood"},
  };
  std::string text;
  std::vector<std::size_t> rowsOf;
  for (std::size_t i = 0; i < sizeof kLines / sizeof kLines[0]; ++i) {
    text += kLines[i].line;
    if (!kLines[i].name.empty()) rowsOf.push_back(i);
  }
  WriteFileBytes(folder.path() + L"\\table.md5", text);
  // A list that md5sum made in a folder of the drive names its files below that folder.
  const std::wstring onDrive = L"K:\\lists\\made-by-md5sum.md5";
  std::string out;
  ASSERT_EQ(RunUnixShell("cd '" + BadMediaUnixPath("checksums/lists") + "' && md5sum ../a.bin ../sub/deep/c.bin > '" +
                             UnixPathOf(onDrive) + "'",
                         out),
            0)
      << out;
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'K');
    const Verified made = VerifyChecksums(program, panel, onDrive);
    ExpectAllOk(made, 2);
    if (made.rows.size() == 2) {
      EXPECT_EQ(made.rows[1].cells[0], L"K:\\sub\\deep\\c.bin");
    }

    const Verified verified = VerifyChecksums(program, panel, folder.path() + L"\\table.md5");
    EXPECT_EQ(verified.box.text, Counts(L"Verification complete.", 6, 1, 1, 1, 5));
    EXPECT_EQ(verified.box.icon, static_cast<UINT>(MB_ICONWARNING));
    ASSERT_EQ(verified.rows.size(), rowsOf.size());
    for (std::size_t row = 0; row < rowsOf.size(); ++row) {
      const auto& line = kLines[rowsOf[row]];
      SCOPED_TRACE(line.line);
      const std::vector<std::wstring> cells(verified.rows[row].cells, verified.rows[row].cells + 4);
      EXPECT_EQ(cells, (std::vector<std::wstring>{line.name, line.expected, line.found, line.result}));
    }
  });
  DeleteFileW(onDrive.c_str());
}

TEST(SaveChecksums, CancelWritesNoListAndVerifyShowsTheRowsSoFar) {
  REQUIRE_BAD_MEDIA();
  TestDrive drive('J', DRIVE_REMOVABLE, BadMediaUnixPath("checksums-slow"));
  TempFolder folder;
  const std::wstring list = folder.path() + L"\\slow.md5";
  const std::string zero(32, '0');
  WriteFileBytes(folder.path() + L"\\given.md5", zero + " *a.bin\n" + zero + " *m-slow.bin\n" + zero + " *z.bin\n");
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'J');
    HWND status = GetDlgItem(panel, IDC_DISC_STATUS);
    for (const wchar_t* command : {L"save", L"verify"}) {
      std::thread user([&] {
        ASSERT_TRUE(ProgramDriver::WaitUntil([&] {
          return ProgramDriver::Text(status).rfind(L"Checksum 2 of 3: J:\\m-slow.bin - ", 0) == 0;
        }));
        program.Click(GetDlgItem(panel, IDC_DISC_CANCEL));
      });
      if (command == std::wstring(L"save")) {
        const SeenMessageBox box = SaveChecksums(program, panel, 0, list);
        EXPECT_EQ(box.text, L"Operation cancelled.\n\nNo list was written.");
        EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      } else {
        const Verified verified = VerifyChecksums(program, panel, folder.path() + L"\\given.md5");
        EXPECT_EQ(verified.box.text, Counts(L"Operation cancelled.", 0, 1, 0, 0, 2));
        EXPECT_EQ(verified.box.icon, static_cast<UINT>(MB_ICONERROR));
        ASSERT_EQ(verified.rows.size(), 3u);
        EXPECT_EQ(verified.rows[0].cells[3], L"CHANGED");
        EXPECT_EQ(verified.rows[1].cells[3], L"NOT CHECKED: cancelled");
        EXPECT_EQ(verified.rows[2].cells[3], L"NOT CHECKED: cancelled");
      }
      user.join();
      EXPECT_EQ(ProgramDriver::Text(status), L"");
    }
  });
  EXPECT_EQ(FilesIn(folder.path()), (std::vector<std::wstring>{L"given.md5"}));
}

TEST(AnsiVariant, ChecksumsGoThroughTheAnsiCalls) {
  REQUIRE_BAD_MEDIA();
  ASSERT_EQ(g_osMajorVersion, 4);
  TestDrive drive('K', DRIVE_REMOVABLE, BadMediaUnixPath("checksums"));
  TempFolder folder;
  const std::wstring list = folder.path() + L"\\ansi.md5";
  RunProgram([&](ProgramDriver& program) {
    HWND panel = ScanDrive(program, 'K');
    // The Japanese name is no name of the code page: the scan lists it as unreadable.
    SeenMessageBox box = SaveChecksums(program, panel, 0, list);
    EXPECT_EQ(box.text, L"Checksums saved.\n\nFiles listed\t\t: 4\nFiles \"READ ERROR\"\t: 0");
    const std::map<std::string, std::string> sums = Md5sums();
    std::string given;
    for (const auto& sum : sums) given += sum.second + "  " + sum.first + "\n";
    WriteFileBytes(folder.path() + L"\\given.md5", given);
    const Verified verified = VerifyChecksums(program, panel, folder.path() + L"\\given.md5");
    EXPECT_EQ(verified.box.text, Counts(L"Verification complete.", 4, 0, 0, 0, 1));
    for (const ListRow& row : verified.rows) {
      const bool japanese = row.cells[0] == Widen("\xE6\x97\xA5\xE6\x9C\xAC.bin");
      EXPECT_EQ(row.cells[3], japanese ? L"NOT CHECKED: name not in the system's code page" : L"OK") << Narrow(row.cells[0]);
    }
  });
  std::string out;
  EXPECT_EQ(RunUnixShell("cd '" + BadMediaUnixPath("checksums") + "' && md5sum -c --strict '" + UnixPathOf(list) + "'", out),
            0)
      << out;
  EXPECT_NE(out.find("caf\xC3\xA9.bin: OK\n"), std::string::npos) << out;
}

}  // namespace
