// Painting of the results lists while a run adds rows to them. Every row's insert and scroll
// redraws the list's scroll bar and moves its pixels at once, and the engine's message drain
// would then paint the list: under Wine that costs ten times what reading a small file does,
// for pictures no one can read.
// While paced, a list is painted at most once every kListPaintIntervalMs; a paint asked for
// sooner is owed and made when the interval is over. Only painting waits: rows, selection and
// scrolling change at once, so every paint shows the list as the rows so far leave it.
// A row switches the list's drawing off, and it stays off over the rows that follow until
// anything else reaches the list or a message is to be handled: switching drawing off and on
// for each row would cost a run of small files a fifth of its time.
#pragma once

#include <windows.h>

// 100 ms: ten pictures a second still show the list moving on, while a paint of a full list,
// 10 to 25 ms under Wine, then costs a run of small files about a sixth of its time; at 50 ms
// it would be nearly a third.
constexpr DWORD kListPaintIntervalMs = 100;

// Subclasses both lists until EndListPaintPacing. Put it on after any other subclass of the
// lists was taken off, and take it off before another goes on: each restores what it replaced.
void BeginListPaintPacing(HWND readOkList, HWND readErrorList);

// Whether a paced list has its drawing switched off.
bool ListDrawingHeldOff();

// Switches the lists' drawing on. Needed before a list is shown or hidden, and before any
// message is handled: a list switched off is not visible, so a click would miss it and what
// lies behind it would be painted over it.
void ResumeListDrawing();

// Puts the lists' own procedures back and paints them now, so that the run's last rows are on
// screen before anything else (a closing message box) is shown.
void EndListPaintPacing();
