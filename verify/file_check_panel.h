// The Read File Check panel: reads one chosen file and says whether it is readable.
#pragma once

#include <windows.h>

INT_PTR CALLBACK FileCheckPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
