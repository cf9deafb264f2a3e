// The Read Disc Check panel: reads every file of a drive into a READ OK and a READ ERROR list.
#pragma once

#include <windows.h>

INT_PTR CALLBACK DiscCheckPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
