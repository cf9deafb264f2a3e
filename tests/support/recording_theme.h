// recording_theme.dll: a stand-in for the visual styles library that tests give to the
// program's binding. It exports the same seven functions, records every call with its
// arguments, and answers as the test has configured it.
#pragma once

#include <windows.h>

struct RecordedThemeCall {
  char function[40];
  HWND window;   // OpenThemeData, DrawThemeParentBackground
  HDC context;
  HANDLE theme;
  int part;
  int state;
  RECT rect;     // the rectangle given: to draw in, or the bounds of the content
  bool clipGiven;
  wchar_t classList[32];
};

struct RecordingThemeAnswers {
  BOOL appThemed;
  BOOL themeActive;
  bool opens;         // whether OpenThemeData gives a theme
  RECT contentInset;  // GetThemeBackgroundContentRect: the bounds shrunk by these four
};

// The theme that OpenThemeData gives when it opens one.
inline const HANDLE kRecordingThemeHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7E5E));

// Exported by the module: set the answers and forget the calls so far; read the calls.
typedef void(__cdecl* ConfigureRecordingThemeFunction)(const RecordingThemeAnswers*);
typedef const RecordedThemeCall*(__cdecl* RecordedThemeCallsFunction)(int* count);
