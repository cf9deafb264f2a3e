// The main window: four task buttons and the task window holding the four task panels.
#pragma once

#include <windows.h>

extern HINSTANCE g_instance;

// 96-dpi pixel sizes to device pixels; fixed before any task panel exists.
extern float g_displayScale;

constexpr int kTaskCount = 4;
// Task buttons in panel order: Read Disc Check, Read File Check, File Compare, Copy
// Unreadable File.
extern const int kTaskButtonIds[kTaskCount];
extern HICON g_normalTaskIcons[kTaskCount];
extern HICON g_busyTaskIcons[kTaskCount];

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
