#include "shell/theme_api.h"

namespace {

// The library's own signatures.
typedef HTHEME(WINAPI* OpenThemeDataFunction)(HWND, LPCWSTR);
typedef HRESULT(WINAPI* CloseThemeDataFunction)(HTHEME);
typedef HRESULT(WINAPI* DrawThemeBackgroundFunction)(HTHEME, HDC, int, int, const RECT*,
                                                     const RECT*);
typedef HRESULT(WINAPI* GetThemeBackgroundContentRectFunction)(HTHEME, HDC, int, int, const RECT*,
                                                               RECT*);
typedef BOOL(WINAPI* IsThemeActiveFunction)();
typedef BOOL(WINAPI* IsAppThemedFunction)();
typedef HRESULT(WINAPI* DrawThemeParentBackgroundFunction)(HWND, HDC, const RECT*);

// By full path only: LoadLibraryA("UxTheme.dll") would look in the program's own folder
// first, and a file of that name beside the program (in a download folder, on a stick)
// would then run its code inside it.
HMODULE LoadFromSystemFolder(const char* fileName) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  // 0 is a failure; a folder too long for the name is not loaded under a cut-off name.
  if (length == 0 || length + 1 + lstrlenA(fileName) >= MAX_PATH) return nullptr;
  path[length] = '\\';
  lstrcpyA(path + length + 1, fileName);
  return LoadLibraryA(path);
}

}  // namespace

ThemeApi g_themeApi;

ThemeApi::ThemeApi() : module_(LoadFromSystemFolder("UxTheme.dll")) {}

ThemeApi::~ThemeApi() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
}

HMODULE ThemeApi::ForwardTo(HMODULE module) {
  HMODULE previous = module_;
  module_ = module;
  return previous;
}

// Looked up on every call, so that nothing outlives a change of module.
template <typename Function>
Function ThemeApi::Lookup(const char* name) const {
  if (!module_) return nullptr;
  // Through void*: the platform hands out every function under one generic type.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
}

HTHEME ThemeApi::OpenThemeData(HWND window, LPCWSTR classList) const {
  auto function = Lookup<OpenThemeDataFunction>("OpenThemeData");
  return function ? function(window, classList) : nullptr;
}

HRESULT ThemeApi::CloseThemeData(HTHEME theme) const {
  auto function = Lookup<CloseThemeDataFunction>("CloseThemeData");
  return function ? function(theme) : E_FAIL;
}

HRESULT ThemeApi::DrawThemeBackground(HTHEME theme, HDC context, int part, int state,
                                      const RECT* rect, const RECT* clip) const {
  auto function = Lookup<DrawThemeBackgroundFunction>("DrawThemeBackground");
  return function ? function(theme, context, part, state, rect, clip) : E_FAIL;
}

HRESULT ThemeApi::GetThemeBackgroundContentRect(HTHEME theme, HDC context, int part, int state,
                                                const RECT* bounds, RECT* content) const {
  auto function = Lookup<GetThemeBackgroundContentRectFunction>("GetThemeBackgroundContentRect");
  return function ? function(theme, context, part, state, bounds, content) : E_FAIL;
}

BOOL ThemeApi::IsThemeActive() const {
  auto function = Lookup<IsThemeActiveFunction>("IsThemeActive");
  return function ? function() : FALSE;
}

BOOL ThemeApi::IsAppThemed() const {
  auto function = Lookup<IsAppThemedFunction>("IsAppThemed");
  return function ? function() : FALSE;
}

HRESULT ThemeApi::DrawThemeParentBackground(HWND window, HDC context, const RECT* rect) const {
  auto function = Lookup<DrawThemeParentBackgroundFunction>("DrawThemeParentBackground");
  return function ? function(window, context, rect) : E_FAIL;
}
