// The visual styles library, bound at run time: the program also runs where there is none
// (Windows NT 4, 2000), and then every operation answers as "no visual styles".
#pragma once

#include <windows.h>
#include <uxtheme.h>

class ThemeApi {
 public:
  // Loads UxTheme.dll from the system folder.
  ThemeApi();
  // Releases it; the process-wide binding does so at exit.
  ~ThemeApi();
  ThemeApi(const ThemeApi&) = delete;
  ThemeApi& operator=(const ThemeApi&) = delete;

  // The module the operations forward to, null when the library could not be loaded.
  HMODULE module() const { return module_; }
  // Forwards to `module` (null: none) from now on and returns the module forwarded to so far.
  // The caller takes over that one; the binding releases whatever it holds at the end.
  HMODULE ForwardTo(HMODULE module);

  // Each forwards to the library's function of the same name; when the library or the
  // function is missing: null, E_FAIL or FALSE.
  HTHEME OpenThemeData(HWND window, LPCWSTR classList) const;
  HRESULT CloseThemeData(HTHEME theme) const;
  HRESULT DrawThemeBackground(HTHEME theme, HDC context, int part, int state, const RECT* rect,
                              const RECT* clip) const;
  HRESULT GetThemeBackgroundContentRect(HTHEME theme, HDC context, int part, int state,
                                        const RECT* bounds, RECT* content) const;
  BOOL IsThemeActive() const;
  BOOL IsAppThemed() const;
  HRESULT DrawThemeParentBackground(HWND window, HDC context, const RECT* rect) const;

 private:
  template <typename Function>
  Function Lookup(const char* name) const;

  HMODULE module_;
};

// The program's binding, made before the entry point runs.
extern ThemeApi g_themeApi;
