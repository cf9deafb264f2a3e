// The task buttons under visual styles: what the program asks of the visual styles library
// (through a recording stand-in), what the screen shows, and the platform's own painting
// when there are no visual styles.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/theme_api.h"
#include "tests/support/other_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/recording_theme.h"
#include "tests/support/test_windows.h"

namespace {

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

// The program's binding forwards to `module` for the life of this object.
class ThemeModuleGiven {
 public:
  explicit ThemeModuleGiven(HMODULE module) : own_(g_themeApi.ForwardTo(module)) {}
  ~ThemeModuleGiven() { g_themeApi.ForwardTo(own_); }

 private:
  HMODULE own_;
};

// recording_theme.dll, given to the binding.
class RecordingTheme {
 public:
  explicit RecordingTheme(const RecordingThemeAnswers& answers)
      : module_(LoadLibraryW(BesideThisProgram(L"recording_theme.dll").c_str())),
        own_(g_themeApi.ForwardTo(module_)) {
    configure_ = reinterpret_cast<ConfigureRecordingThemeFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_, "ConfigureRecordingTheme")));
    calls_ = reinterpret_cast<RecordedThemeCallsFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_, "RecordedThemeCalls")));
    EXPECT_TRUE(configure_ && calls_) << "recording_theme.dll not found beside the tests";
    Answer(answers);
  }
  ~RecordingTheme() {
    g_themeApi.ForwardTo(own_);
    FreeLibrary(module_);
  }
  // Sets the answers and forgets the calls so far.
  void Answer(const RecordingThemeAnswers& answers) {
    answers_ = answers;
    if (configure_) configure_(&answers_);
  }
  // The calls since the last look.
  std::vector<RecordedThemeCall> TakeCalls() {
    int count = 0;
    const RecordedThemeCall* calls = calls_ ? calls_(&count) : nullptr;
    std::vector<RecordedThemeCall> taken(calls, calls + count);
    Answer(answers_);
    return taken;
  }

 private:
  HMODULE module_;
  HMODULE own_;  // the binding's module before
  RecordingThemeAnswers answers_ = {};
  ConfigureRecordingThemeFunction configure_ = nullptr;
  RecordedThemeCallsFunction calls_ = nullptr;
};

BITMAPINFOHEADER TopDown32Bits(int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  return header;
}

const RecordingThemeAnswers kThemed = {TRUE, TRUE, true, {3, 4, 5, 6}};

// A memory bitmap of a button's size, filled with one colour, for the program to paint on.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill)
      : context_(CreateCompatibleDC(nullptr)), width_(width), height_(height) {
    BITMAPINFOHEADER header = TopDown32Bits(width, height);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(context_, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                               &bits, nullptr, 0);
    old_ = SelectObject(context_, bitmap_);
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(context_, &all, brush);
    DeleteObject(brush);
  }
  ~Canvas() {
    SelectObject(context_, old_);
    DeleteObject(bitmap_);
    DeleteDC(context_);
  }
  HDC context() const { return context_; }
  Picture picture() const {
    Picture picture;
    picture.width = width_;
    picture.height = height_;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) picture.pixels.push_back(GetPixel(context_, x, y));
    }
    return picture;
  }

 private:
  HDC context_;
  int width_, height_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

RECT ClientOf(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  return rect;
}

// Sends the main window one NM_CUSTOMDRAW of `button`, as the button itself would.
LRESULT SendCustomDraw(HWND mainWindow, HWND button, HDC context, DWORD stage, UINT itemState) {
  NMCUSTOMDRAW draw = {};
  draw.hdr.hwndFrom = button;
  draw.hdr.idFrom = GetDlgCtrlID(button);
  draw.hdr.code = NM_CUSTOMDRAW;
  draw.dwDrawStage = stage;
  draw.hdc = context;
  draw.rc = ClientOf(button);
  draw.uItemState = itemState;
  return SendMessageW(mainWindow, WM_NOTIFY, draw.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// One recorded call, its arguments named after what the test gave.
std::string Describe(const RecordedThemeCall& call, HWND button, HDC context) {
  const RECT client = ClientOf(button);
  std::string text = call.function;
  const std::string window = call.window == button ? "button" : "other window";
  const std::string dc = call.context == context ? "dc" : "other dc";
  const std::string theme = call.theme == kRecordingThemeHandle ? "theme" : "other theme";
  const std::string rect = SameRect(call.rect, client) ? "client" : "other rect";
  const std::string partState = std::to_string(call.part) + ", " + std::to_string(call.state);
  if (text == "OpenThemeData") return text + "(" + window + ", " + Narrow(call.classList) + ")";
  if (text == "CloseThemeData") return text + "(" + theme + ")";
  if (text == "DrawThemeParentBackground") return text + "(" + window + ", " + dc + ", " + rect + ")";
  if (text == "DrawThemeBackground") {
    return text + "(" + theme + ", " + dc + ", " + partState + ", " + rect +
           (call.clipGiven ? ", clip)" : ", no clip)");
  }
  if (text == "GetThemeBackgroundContentRect") {
    return text + "(" + theme + ", " + dc + ", " + partState + ", " + rect + ")";
  }
  return text;
}

// What the program must ask to paint a button in `state` at `stage` (0: nothing painted).
std::vector<std::string> ThemedPainting(DWORD stage, int state) {
  std::vector<std::string> calls = {"IsAppThemed", "IsThemeActive"};
  if (stage == CDDS_PREERASE) calls.push_back("DrawThemeParentBackground(button, dc, client)");
  if (state == 0) return calls;
  const std::string partState = std::to_string(BP_PUSHBUTTON) + ", " + std::to_string(state);
  calls.push_back("OpenThemeData(button, BUTTON)");
  calls.push_back("DrawThemeBackground(theme, dc, " + partState + ", client, no clip)");
  calls.push_back("GetThemeBackgroundContentRect(theme, dc, " + partState + ", client)");
  calls.push_back("CloseThemeData(theme)");
  return calls;
}

// An icon's pixels where its mask makes it opaque.
struct OpaquePixel {
  int x, y;
  COLORREF colour;
};

std::vector<OpaquePixel> OpaquePixelsOf(HICON icon) {
  ICONINFO info = {};
  GetIconInfo(icon, &info);
  BITMAP size = {};
  GetObjectW(info.hbmColor, sizeof size, &size);
  HDC screen = GetDC(nullptr);
  std::vector<RGBQUAD> colour(size.bmWidth * size.bmHeight), mask(colour.size());
  BITMAPINFOHEADER header = TopDown32Bits(size.bmWidth, size.bmHeight);
  GetDIBits(screen, info.hbmColor, 0, size.bmHeight, colour.data(),
            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  GetDIBits(screen, info.hbmMask, 0, size.bmHeight, mask.data(),
            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  std::vector<OpaquePixel> opaque;
  for (int y = 0; y < size.bmHeight; ++y) {
    for (int x = 0; x < size.bmWidth; ++x) {
      const RGBQUAD& c = colour[y * size.bmWidth + x];
      if (mask[y * size.bmWidth + x].rgbRed == 0) opaque.push_back({x, y, RGB(c.rgbRed, c.rgbGreen, c.rgbBlue)});
    }
  }
  return opaque;
}

// How many opaque pixels of the icon the picture does not show at (x, y): in their own
// colour, or all in `flat` when it is given (an icon drawn disabled).
int IconMismatches(const Picture& picture, HICON icon, int x, int y, const COLORREF* flat = nullptr) {
  int mismatches = 0;
  for (const OpaquePixel& pixel : OpaquePixelsOf(icon)) {
    if (picture.At(x + pixel.x, y + pixel.y) != (flat ? *flat : pixel.colour)) ++mismatches;
  }
  return mismatches;
}

// The button's own hot and pressed states, set through the messages by which the platform's
// button keeps them (hover and leave from its mouse tracking, BM_SETSTATE from a press), so
// that no state hangs on whether a pointer move is noticed in time. The pointer itself rests
// outside the main window, where no tracking of the program's can undo them.
void SetButtonState(HWND button, int state) {
  SendMessageW(button, WM_MOUSELEAVE, 0, 0);
  SendMessageW(button, BM_SETSTATE, state == PBS_PRESSED, 0);
  if (state == PBS_HOT || state == PBS_PRESSED) SendMessageW(button, WM_MOUSEHOVER, 0, MAKELPARAM(10, 10));
}

TEST(TaskButtonPainting, AsksTheLibraryForTheRightStateAtEachStage) {
  RecordingTheme theme(kThemed);
  RunProgram([&](ProgramDriver& program) {
    HWND readFile = GetDlgItem(program.mainWindow(), IDC_TASK_READ_FILE);
    // 95 x 75 pixels under Wine at 96 dpi: the 90 x 71 icon goes to (2, 1).
    const RECT client = ClientOf(readFile);
    // Nothing else paints while the cases run: the mouse rests away from the buttons.
    ProgramDriver::RestMouseOutside(program.mainWindow());
    ProgramDriver::WaitUntil([&] {
      Sleep(300);
      return theme.TakeCalls().empty();
    });
    const struct {
      const char* what;
      int buttonId;
      DWORD stage;
      UINT itemState;
      LONG addedStyle;
      LRESULT result;
      int state;  // 0: no themed painting
    } kCases[] = {
        {"normal", IDC_TASK_READ_FILE, CDDS_PREERASE, 0, 0, CDRF_SKIPDEFAULT, PBS_NORMAL},
        {"normal, paint stage", IDC_TASK_READ_FILE, CDDS_PREPAINT, 0, 0, CDRF_SKIPDEFAULT, PBS_NORMAL},
        {"hot", IDC_TASK_READ_FILE, CDDS_PREERASE, CDIS_HOT, 0, CDRF_SKIPDEFAULT, PBS_HOT},
        {"pressed", IDC_TASK_READ_FILE, CDDS_PREPAINT, CDIS_SELECTED | CDIS_HOT, 0, CDRF_SKIPDEFAULT,
         PBS_PRESSED},
        {"disabled", IDC_TASK_READ_FILE, CDDS_PREERASE, CDIS_HOT | CDIS_SELECTED, WS_DISABLED,
         CDRF_SKIPDEFAULT, PBS_DISABLED},
        {"defaulted", IDC_TASK_READ_FILE, CDDS_PREERASE, 0, BS_DEFPUSHBUTTON, CDRF_SKIPDEFAULT,
         PBS_DEFAULTED},
        {"after erasing", IDC_TASK_READ_FILE, CDDS_POSTERASE, 0, 0, CDRF_DODEFAULT, 0},
        {"after painting", IDC_TASK_READ_FILE, CDDS_POSTPAINT, 0, 0, CDRF_DODEFAULT, 0},
        {"group box Tasks", IDC_TASKS_GROUP, CDDS_PREERASE, 0, 0, CDRF_DODEFAULT, -1},
        {"group box Task window", IDC_TASK_WINDOW_GROUP, CDDS_PREPAINT, 0, 0, CDRF_DODEFAULT, -1},
    };
    for (const auto& draw : kCases) {
      SCOPED_TRACE(draw.what);
      HWND button = GetDlgItem(program.mainWindow(), draw.buttonId);
      const LONG style = GetWindowLongW(button, GWL_STYLE);
      SetWindowLongW(button, GWL_STYLE, style | draw.addedStyle);
      Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
      theme.TakeCalls();
      EXPECT_EQ(SendCustomDraw(program.mainWindow(), button, canvas.context(), draw.stage,
                               draw.itemState),
                draw.result);
      SetWindowLongW(button, GWL_STYLE, style);

      std::vector<std::string> seen;
      for (const auto& call : theme.TakeCalls()) seen.push_back(Describe(call, button, canvas.context()));
      const bool groupBox = draw.state < 0;
      EXPECT_EQ(seen, groupBox ? std::vector<std::string>() : ThemedPainting(draw.stage, draw.state));
      const Picture painted = canvas.picture();
      if (draw.state == PBS_NORMAL) {
        EXPECT_EQ(IconMismatches(painted, g_normalTaskIcons[1], 2, 1), 0) << "icon not at (2, 1)";
      }
      if (draw.state <= 0) {
        EXPECT_EQ(painted.pixels, Canvas(client.right, client.bottom, RGB(1, 2, 3)).picture().pixels);
      }
    }

    // Focus: the dotted rectangle on the theme's content rectangle, nowhere else.
    Canvas plain(client.right, client.bottom, RGB(1, 2, 3));
    Canvas focused(client.right, client.bottom, RGB(1, 2, 3));
    SendCustomDraw(program.mainWindow(), readFile, plain.context(), CDDS_PREERASE, 0);
    SendCustomDraw(program.mainWindow(), readFile, focused.context(), CDDS_PREERASE, CDIS_FOCUS);
    const RECT content = {3, 4, client.right - 5, client.bottom - 6};
    int onBorder = 0, elsewhere = 0;
    const Picture withFocus = focused.picture(), without = plain.picture();
    for (int y = 0; y < client.bottom; ++y) {
      for (int x = 0; x < client.right; ++x) {
        if (withFocus.At(x, y) == without.At(x, y)) continue;
        const bool inside = x >= content.left && x < content.right && y >= content.top && y < content.bottom;
        const bool border = inside && (x == content.left || x == content.right - 1 ||
                                       y == content.top || y == content.bottom - 1);
        ++(border ? onBorder : elsewhere);
      }
    }
    EXPECT_EQ(elsewhere, 0);
    EXPECT_GT(onBorder, (content.right - content.left + content.bottom - content.top) / 2);
  });
}

const DWORD kStages[] = {CDDS_PREERASE, CDDS_POSTERASE, CDDS_PREPAINT, CDDS_POSTPAINT};

// Every stage of a task button left to the platform, and nothing painted on the way.
void ExpectPlatformPainting(ProgramDriver& program) {
  HWND button = GetDlgItem(program.mainWindow(), IDC_TASK_READ_DISC);
  const RECT client = ClientOf(button);
  for (DWORD stage : kStages) {
    Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
    EXPECT_EQ(SendCustomDraw(program.mainWindow(), button, canvas.context(), stage, 0), CDRF_DODEFAULT)
        << "stage " << stage;
    EXPECT_EQ(canvas.picture().pixels, Canvas(client.right, client.bottom, RGB(1, 2, 3)).picture().pixels);
  }
}

TEST(TaskButtonPainting, LeftToThePlatformWithoutAUsableLibrary) {
  const struct {
    const char* what;
    RecordingThemeAnswers answers;  // for the recording module
  } kRecorded[] = {
      {"application not themed", {FALSE, TRUE, true, {}}},
      {"theme not active", {TRUE, FALSE, true, {}}},
      {"no theme data for buttons", {TRUE, TRUE, false, {}}},
  };
  for (const auto& library : kRecorded) {
    SCOPED_TRACE(library.what);
    RecordingTheme theme(library.answers);
    RunProgram(ExpectPlatformPainting);
  }
  // No library at all, and a module without any of the functions: every operation falls back.
  for (HMODULE module : {static_cast<HMODULE>(nullptr), GetModuleHandleW(L"kernel32.dll")}) {
    SCOPED_TRACE(module ? "module without the functions" : "no library");
    ThemeModuleGiven given(module);
    RECT rect = {0, 0, 10, 10}, content = rect;
    EXPECT_EQ(g_themeApi.OpenThemeData(nullptr, L"BUTTON"), nullptr);
    EXPECT_EQ(g_themeApi.CloseThemeData(nullptr), E_FAIL);
    EXPECT_EQ(g_themeApi.DrawThemeBackground(nullptr, nullptr, 1, 1, &rect, nullptr), E_FAIL);
    EXPECT_EQ(g_themeApi.GetThemeBackgroundContentRect(nullptr, nullptr, 1, 1, &rect, &content), E_FAIL);
    EXPECT_FALSE(g_themeApi.IsThemeActive());
    EXPECT_FALSE(g_themeApi.IsAppThemed());
    EXPECT_EQ(g_themeApi.DrawThemeParentBackground(nullptr, nullptr, &rect), E_FAIL);
    RunProgram(ExpectPlatformPainting);
  }
}

// Runs in a prefix whose visual styles are switched off.
TEST(NoVisualStyles, ThePlatformPaintsTheTaskButtons) {
  ASSERT_FALSE(g_themeApi.IsThemeActive()) << "visual styles are on in this prefix";
  RunProgram([](ProgramDriver& program) {
    ExpectPlatformPainting(program);
    // The platform shows the icon itself, wherever it places it (its frame may cover an edge).
    HWND button = GetDlgItem(program.mainWindow(), IDC_TASK_READ_DISC);
    const int opaque = static_cast<int>(OpaquePixelsOf(g_normalTaskIcons[0]).size());
    int fewest = opaque;
    ProgramDriver::WaitUntil([&] {
      const Picture shown = CaptureClientArea(button);
      for (int y = 0; y + 71 <= shown.height; ++y) {
        for (int x = 0; x + 90 <= shown.width; ++x) {
          fewest = std::min(fewest, IconMismatches(shown, g_normalTaskIcons[0], x, y));
        }
      }
      return fewest < opaque / 20;
    }, 5000);
    EXPECT_LT(fewest, opaque / 20) << "of " << opaque << " icon pixels";
  });
}

// How many pixels of `shown` (a picture of `button` with `icon` drawn at (2, 1)) differ from
// the themed background in `state`: compared wherever the theme paints the pixel itself,
// except under the icon (and under the embossed outline's offset copy) and on the focus
// rectangle.
int BackgroundMismatches(HWND button, HICON icon, const Picture& shown, int state) {
  const RECT client = ClientOf(button);
  std::vector<bool> covered(client.right * client.bottom);
  for (const OpaquePixel& pixel : OpaquePixelsOf(icon)) {
    covered[(1 + pixel.y) * client.right + 2 + pixel.x] = true;
    covered[(2 + pixel.y) * client.right + 3 + pixel.x] = true;
  }
  // The test thread shares the library with the program's painting: a reference that came
  // out empty is made again.
  int compared = 0, differing = 0;
  for (int attempt = 0; attempt < 10 && compared <= client.right * client.bottom / 2; ++attempt) {
    Canvas onBlack(client.right, client.bottom, RGB(0, 0, 0));
    Canvas onWhite(client.right, client.bottom, RGB(255, 255, 255));
    RECT content = client;
    HTHEME theme = g_themeApi.OpenThemeData(button, L"BUTTON");
    g_themeApi.DrawThemeBackground(theme, onBlack.context(), BP_PUSHBUTTON, state, &client, nullptr);
    g_themeApi.DrawThemeBackground(theme, onWhite.context(), BP_PUSHBUTTON, state, &client, nullptr);
    g_themeApi.GetThemeBackgroundContentRect(theme, onBlack.context(), BP_PUSHBUTTON, state, &client,
                                             &content);
    g_themeApi.CloseThemeData(theme);
    const Picture black = onBlack.picture(), white = onWhite.picture();
    compared = differing = 0;
    for (int y = 0; y < client.bottom; ++y) {
      for (int x = 0; x < client.right; ++x) {
        const bool focus = x == content.left || x == content.right - 1 || y == content.top ||
                           y == content.bottom - 1;
        if (covered[y * client.right + x] || focus || black.At(x, y) != white.At(x, y)) continue;
        ++compared;
        if (shown.At(x, y) != black.At(x, y)) ++differing;
      }
    }
  }
  EXPECT_GT(compared, client.right * client.bottom / 2);
  return differing;
}

// Whether `button` comes to show the themed background in `state` within the time.
bool ShowsState(HWND button, HICON icon, int state, DWORD timeoutMs = 5000) {
  return ProgramDriver::WaitUntil(
      [&] { return BackgroundMismatches(button, icon, CaptureClientArea(button), state) == 0; },
      timeoutMs);
}

// Sets `state` again when the screen does not show it in time: a late mouse hover or leave from
// Wine's tracking, or a paint missed under load, must not decide the test.
bool SetUntilShown(HWND button, HICON icon, int state) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    SetButtonState(button, state);
    if (ShowsState(button, icon, state)) return true;
  }
  return false;
}

TEST(TaskButtonPainting, ScreenShowsEachStateAroundTheIconAboveCentre) {
  TempFolder folder;
  const std::wstring bigFile = folder.CreateSparseFile(L"big.bin", 4LL << 30);
  RunProgram([&](ProgramDriver& program) {
    HWND buttons[kTaskCount];
    for (int task = 0; task < kTaskCount; ++task) {
      buttons[task] = GetDlgItem(program.mainWindow(), kTaskButtonIds[task]);
    }
    SetForegroundWindow(program.mainWindow());
    ProgramDriver::RestMouseOutside(program.mainWindow());
    for (int task = 0; task < kTaskCount; ++task) {
      EXPECT_TRUE(SetUntilShown(buttons[task], g_normalTaskIcons[task], PBS_NORMAL)) << task;
      EXPECT_EQ(IconMismatches(CaptureClientArea(buttons[task]), g_normalTaskIcons[task], 2, 1), 0);
    }

    // Wine's theme draws the hot and the defaulted button alike, and the normal and the
    // disabled one; the pressed one differs from all.
    EXPECT_TRUE(SetUntilShown(buttons[1], g_normalTaskIcons[1], PBS_HOT));
    EXPECT_FALSE(ShowsState(buttons[1], g_normalTaskIcons[1], PBS_NORMAL, 0));
    EXPECT_EQ(IconMismatches(CaptureClientArea(buttons[1]), g_normalTaskIcons[1], 2, 1), 0);
    EXPECT_TRUE(SetUntilShown(buttons[2], g_normalTaskIcons[2], PBS_NORMAL));
    EXPECT_TRUE(SetUntilShown(buttons[1], g_normalTaskIcons[1], PBS_PRESSED));
    EXPECT_FALSE(ShowsState(buttons[1], g_normalTaskIcons[1], PBS_HOT, 0));
    SetButtonState(buttons[1], PBS_NORMAL);

    // During a run: disabled, the busy icons drawn as embossed outlines.
    HWND panel = program.ShowTask(IDC_TASK_READ_FILE, IDC_FILE_START);
    ASSERT_NE(panel, nullptr);
    program.Browse(GetDlgItem(panel, IDC_FILE_BROWSE), L"Select file", bigFile);
    program.Click(GetDlgItem(panel, IDC_FILE_START));
    ASSERT_TRUE(ProgramDriver::WaitUntil([&] { return IsWindowVisible(GetDlgItem(panel, IDC_FILE_CANCEL)); }));
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    for (int task = 0; task < kTaskCount; ++task) {
      EXPECT_TRUE(ShowsState(buttons[task], g_busyTaskIcons[task], PBS_DISABLED)) << task;
      EXPECT_EQ(IconMismatches(CaptureClientArea(buttons[task]), g_busyTaskIcons[task], 2, 1, &shadow), 0);
    }
    program.Click(GetDlgItem(panel, IDC_FILE_CANCEL));
    EXPECT_EQ(program.AnswerMessageBox().text, L"Operation cancelled.");
  });
}

// Wine's GetGuiResources is a stub: there the live objects are counted from the handle table.
int CountGdiObjects() {
  const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return static_cast<int>(count);
  int live = 0;
  for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
  }
  return live;
}

TEST(TaskButtonPainting, ManyRepaintsLeakNoGdiObjects) {
  RecordingTheme theme(kThemed);
  RunProgram([&](ProgramDriver& program) {
    const RECT client = ClientOf(GetDlgItem(program.mainWindow(), IDC_TASK_READ_DISC));
    Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
    const auto repaintAll = [&] {
      for (int task = 0; task < kTaskCount; ++task) {
        SendCustomDraw(program.mainWindow(), GetDlgItem(program.mainWindow(), kTaskButtonIds[task]),
                       canvas.context(), CDDS_PREERASE, 0);
      }
    };
    repaintAll();
    const int before = CountGdiObjects();
    for (int round = 0; round < 100; ++round) repaintAll();
    const int after = CountGdiObjects();
    // A leak of the icon's two bitmaps would be 800 objects; the platform's caches add some
    // 60 once, however many repaints follow.
    EXPECT_LT(after - before, 100) << before << " GDI objects before, " << after << " after";
  });
}

// The modules that the test program, started from `folder`, reports (see test_main.cpp):
// its binding's first, then every UxTheme.dll in it.
std::vector<std::wstring> ThemeModulesOfACopyIn(const TempFolder& folder) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring program = folder.path() + L"\\planted-theme-check.exe";
  const std::wstring reportPath = folder.path() + L"\\report.txt";
  EXPECT_TRUE(CopyFileW(self, program.c_str(), FALSE));
  std::wstring commandLine = L"\"" + program + L"\" " + kReportThemeModulesFlag + L" \"" + reportPath + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.path().c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << Narrow(program);
    return {};
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  std::wstring report(4096, L'\0');
  HANDLE file = CreateFileW(reportPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  ReadFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &read, nullptr);
  CloseHandle(file);
  report.resize(read / sizeof(wchar_t));
  std::vector<std::wstring> modules;
  for (size_t start = 0, end; (end = report.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
    modules.push_back(report.substr(start, end - start));
  }
  return modules;
}

TEST(ThemeBinding, SystemFoldersLibraryEvenWithOneBesideTheProgram) {
  TempFolder folder;
  const std::wstring planted = folder.path() + L"\\UxTheme.dll";
  ASSERT_TRUE(CopyFileW(BesideThisProgram(L"recording_theme.dll").c_str(), planted.c_str(), FALSE));
  // Wine would run its own code under the planted file's name; told to prefer the file (for
  // this copy of the program only), it loads it as Windows does for the platform's own use.
  const wchar_t kOverrides[] = L"Software\\Wine\\AppDefaults\\planted-theme-check.exe\\DllOverrides";
  HKEY overrides = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &overrides, nullptr),
            ERROR_SUCCESS);
  const wchar_t kNativeFirst[] = L"native,builtin";
  RegSetValueExW(overrides, L"uxtheme", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                 sizeof kNativeFirst);
  RegCloseKey(overrides);
  const std::vector<std::wstring> modules = ThemeModulesOfACopyIn(folder);
  RegDeleteKeyW(HKEY_CURRENT_USER, kOverrides);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\planted-theme-check.exe");
  ASSERT_GE(modules.size(), 2u);
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring expected = std::wstring(system) + L"\\UxTheme.dll";
  EXPECT_EQ(lstrcmpiW(modules[0].c_str(), expected.c_str()), 0) << Narrow(modules[0]);
  bool plantedLoaded = false;
  for (size_t i = 1; i < modules.size(); ++i) plantedLoaded |= lstrcmpiW(modules[i].c_str(), planted.c_str()) == 0;
  EXPECT_TRUE(plantedLoaded) << "the platform did not load the planted file: nothing was shown";
}

}  // namespace
