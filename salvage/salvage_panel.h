// The Copy Unreadable File panel: copies a file block by block, skipping unreadable blocks.
#pragma once

#include <windows.h>

INT_PTR CALLBACK SalvagePanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
