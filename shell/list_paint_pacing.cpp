#include "shell/list_paint_pacing.h"

#include <commctrl.h>

namespace {

// One list while it is paced.
struct PacedList {
  HWND list;
  WNDPROC savedProc;   // the procedure that pacing replaced
  DWORD lastPaintEnd;  // tick when the last real paint was done
  bool paintOwed;      // a paint was put off and not made since
  bool drawingOff;     // from a row until a message is handled or a paint is due
  HWND header;         // the column header, a window of its own
};

PacedList g_paced[2] = {};

// Not one of the list view's own timers.
constexpr UINT_PTR kOwedPaintTimer = 0x5650;

// Whole-list flags: a remembered part of the list would be stale, since the list's scrolling
// moves pixels and update regions alike; the frame shows the scroll bar. The column header does
// not change with the rows and is left out: repainting it each time would cost as much again.
constexpr UINT kWholeList = RDW_ERASE | RDW_FRAME | RDW_NOCHILDREN;

PacedList* PacingOf(HWND list) {
  for (PacedList& paced : g_paced) {
    if (paced.list == list) return &paced;
  }
  return nullptr;
}

void PaintWholeListLater(HWND list) { RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | kWholeList); }

// The list is to be painted whole: at the next drain of messages once the interval since its
// last paint is over, or else when it is over (a file that takes long to read adds no rows).
void OwePaint(PacedList& paced) {
  const DWORD sinceLastPaint = GetTickCount() - paced.lastPaintEnd;
  if (sinceLastPaint >= kListPaintIntervalMs) {
    KillTimer(paced.list, kOwedPaintTimer);
    PaintWholeListLater(paced.list);
    paced.paintOwed = false;
    return;
  }
  if (!paced.paintOwed) SetTimer(paced.list, kOwedPaintTimer, kListPaintIntervalMs - sinceLastPaint, nullptr);
  paced.paintOwed = true;
}

// Adding a row draws at once what it changes: the list's scroll bar, and its pixels moved up
// by the scroll. The list takes its rows with drawing switched off, through the window's own
// handling (the list's would paint when switched on), and is painted whole when due.
void SwitchDrawingOff(PacedList& paced) {
  if (paced.drawingOff || !(GetWindowLongPtrA(paced.list, GWL_STYLE) & WS_VISIBLE)) return;
  // Switching off takes whatever waits to be painted as done, the header's too, which is not
  // painted with the rows: it gets its paint now.
  if (GetUpdateRect(paced.header, nullptr, FALSE)) UpdateWindow(paced.header);
  DefWindowProcA(paced.list, WM_SETREDRAW, FALSE, 0);
  paced.drawingOff = true;
  // The timer brings drawing back on when the paint is due, should nothing else come first.
  if (!paced.paintOwed) {
    const DWORD sinceLastPaint = GetTickCount() - paced.lastPaintEnd;
    SetTimer(paced.list, kOwedPaintTimer,
             sinceLastPaint < kListPaintIntervalMs ? kListPaintIntervalMs - sinceLastPaint : 1, nullptr);
    paced.paintOwed = true;
  }
}

void SwitchDrawingOn(PacedList& paced) {
  if (!paced.drawingOff) return;
  DefWindowProcA(paced.list, WM_SETREDRAW, TRUE, 0);
  paced.drawingOff = false;
  OwePaint(paced);
}

// The messages by which a run adds a row.
bool IsRowMessage(UINT message) {
  return message == LVM_GETITEMCOUNT || message == LVM_INSERTITEMA || message == LVM_INSERTITEMW ||
         message == LVM_SCROLL || message == LVM_SETITEMTEXTA || message == LVM_SETITEMTEXTW;
}

LRESULT CALLBACK PacedListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  PacedList& paced = *PacingOf(list);
  // Rows go in with drawing off; anything else finds the list as the user sees it.
  if (IsRowMessage(message)) {
    if (message == LVM_INSERTITEMA || message == LVM_INSERTITEMW) SwitchDrawingOff(paced);
    return CallWindowProcA(paced.savedProc, list, message, wParam, lParam);
  }
  SwitchDrawingOn(paced);
  if (message == WM_TIMER && wParam == kOwedPaintTimer) {
    KillTimer(list, kOwedPaintTimer);  // one paint per interval, not a paint every interval
    if (paced.paintOwed) PaintWholeListLater(list);  // unless switching drawing on asked for it
    paced.paintOwed = false;  // asked for now; should it come early, it is put off once more
    return 0;
  }
  // A WM_PAINT with a device context asks for a picture elsewhere (printing): never put off.
  if (message == WM_PAINT && wParam == 0) {
    const DWORD sinceLastPaint = GetTickCount() - paced.lastPaintEnd;
    if (sinceLastPaint < kListPaintIntervalMs) {
      // What the list asked to have painted is taken as done, or the engine's message drain
      // would be handed the same WM_PAINT for ever.
      RedrawWindow(list, nullptr, nullptr,
                   RDW_VALIDATE | RDW_NOERASE | RDW_NOFRAME | RDW_NOINTERNALPAINT | RDW_NOCHILDREN);
      OwePaint(paced);
      return 0;
    }
    if (paced.paintOwed) {
      KillTimer(list, kOwedPaintTimer);
      PaintWholeListLater(list);  // before the list takes its update region
      paced.paintOwed = false;
    }
    const LRESULT result = CallWindowProcA(paced.savedProc, list, message, wParam, lParam);
    // Counted from the end, so that however long a paint takes the run gets the interval.
    paced.lastPaintEnd = GetTickCount();
    return result;
  }
  return CallWindowProcA(paced.savedProc, list, message, wParam, lParam);
}

}  // namespace

void BeginListPaintPacing(HWND readOkList, HWND readErrorList) {
  const HWND lists[] = {readOkList, readErrorList};
  for (int i = 0; i < 2; ++i) {
    // The first paint of a run is never put off.
    const HWND header = reinterpret_cast<HWND>(SendMessageA(lists[i], LVM_GETHEADER, 0, 0));
    g_paced[i] = {lists[i], nullptr, GetTickCount() - kListPaintIntervalMs, false, false, header};
    g_paced[i].savedProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(lists[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PacedListProc)));
  }
}

bool ListDrawingHeldOff() { return g_paced[0].drawingOff || g_paced[1].drawingOff; }

void ResumeListDrawing() {
  for (PacedList& paced : g_paced) {
    if (paced.list) SwitchDrawingOn(paced);
  }
}

void EndListPaintPacing() {
  for (PacedList& paced : g_paced) {
    if (!paced.list) continue;
    SwitchDrawingOn(paced);
    KillTimer(paced.list, kOwedPaintTimer);
    SetWindowLongPtrA(paced.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(paced.savedProc));
    if (paced.paintOwed) PaintWholeListLater(paced.list);
    UpdateWindow(paced.list);
    paced = PacedList();
  }
}
