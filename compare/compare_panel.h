// The File Compare panel: the MD5 digests of two chosen files.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ComparePanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
