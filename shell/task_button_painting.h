// The task buttons' faces under visual styles: the themed push-button background, the
// button's icon (which carries the task's name) and the focus rectangle.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Answers one NM_CUSTOMDRAW of a main window button: CDRF_SKIPDEFAULT once it has painted
// a picture button itself, CDRF_DODEFAULT to leave the button to the platform (no visual
// styles, another drawing stage, a button without a picture such as the group boxes).
LRESULT DrawTaskButton(const NMCUSTOMDRAW* draw);

// Draws the button's icon centred on its client area, one pixel above centre, and as an
// embossed outline while the button is disabled. Nothing when the button has no icon.
void DrawTaskButtonIcon(HWND button, HDC context, LONG style);
