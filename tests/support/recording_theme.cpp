// The recording stand-in for UxTheme.dll (see recording_theme.h). It draws nothing.
#include "tests/support/recording_theme.h"

typedef HANDLE HTHEME;

namespace {

RecordingThemeAnswers g_answers = {TRUE, TRUE, true, {0, 0, 0, 0}};
RecordedThemeCall g_calls[512];
int g_callCount = 0;

RecordedThemeCall& Record(const char* function) {
  static RecordedThemeCall overflow;
  RecordedThemeCall& call = g_callCount < 512 ? g_calls[g_callCount++] : overflow;
  call = RecordedThemeCall();
  lstrcpynA(call.function, function, sizeof call.function);
  return call;
}

}  // namespace

extern "C" {

__declspec(dllexport) void __cdecl ConfigureRecordingTheme(const RecordingThemeAnswers* answers) {
  g_answers = *answers;
  g_callCount = 0;
}

__declspec(dllexport) const RecordedThemeCall* __cdecl RecordedThemeCalls(int* count) {
  *count = g_callCount;
  return g_calls;
}

__declspec(dllexport) HTHEME WINAPI OpenThemeData(HWND window, LPCWSTR classList) {
  RecordedThemeCall& call = Record("OpenThemeData");
  call.window = window;
  if (classList) lstrcpynW(call.classList, classList, 32);
  return g_answers.opens ? kRecordingThemeHandle : nullptr;
}

__declspec(dllexport) HRESULT WINAPI CloseThemeData(HTHEME theme) {
  Record("CloseThemeData").theme = theme;
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DrawThemeBackground(HTHEME theme, HDC context, int part,
                                                         int state, const RECT* rect,
                                                         const RECT* clip) {
  RecordedThemeCall& call = Record("DrawThemeBackground");
  call.theme = theme;
  call.context = context;
  call.part = part;
  call.state = state;
  if (rect) call.rect = *rect;
  call.clipGiven = clip != nullptr;
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI GetThemeBackgroundContentRect(HTHEME theme, HDC context,
                                                                   int part, int state,
                                                                   const RECT* bounds,
                                                                   RECT* content) {
  RecordedThemeCall& call = Record("GetThemeBackgroundContentRect");
  call.theme = theme;
  call.context = context;
  call.part = part;
  call.state = state;
  call.rect = *bounds;
  const RECT& inset = g_answers.contentInset;
  *content = {bounds->left + inset.left, bounds->top + inset.top, bounds->right - inset.right,
              bounds->bottom - inset.bottom};
  return S_OK;
}

__declspec(dllexport) BOOL WINAPI IsThemeActive() {
  Record("IsThemeActive");
  return g_answers.themeActive;
}

__declspec(dllexport) BOOL WINAPI IsAppThemed() {
  Record("IsAppThemed");
  return g_answers.appThemed;
}

__declspec(dllexport) HRESULT WINAPI DrawThemeParentBackground(HWND window, HDC context,
                                                               const RECT* rect) {
  RecordedThemeCall& call = Record("DrawThemeParentBackground");
  call.window = window;
  call.context = context;
  if (rect) call.rect = *rect;
  return S_OK;
}

}  // extern "C"
