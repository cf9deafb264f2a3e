#include "shell/task_button_painting.h"

#include <vsstyle.h>

#include "shell/theme_api.h"

namespace {

int PushButtonState(LONG style, UINT itemState) {
  if (style & WS_DISABLED) return PBS_DISABLED;
  if (itemState & CDIS_SELECTED) return PBS_PRESSED;
  if (itemState & CDIS_HOT) return PBS_HOT;
  if (style & BS_DEFPUSHBUTTON) return PBS_DEFAULTED;
  return PBS_NORMAL;
}

// The header that GetDIBits fills, with room behind it: for a 16- or 32-bit bitmap some
// systems write three colour masks after the header even when asked for the header only.
struct BitmapHeader {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

SIZE IconSize(HDC context, const ICONINFO& info) {
  BitmapHeader measured = {};
  measured.header.biSize = sizeof measured.header;
  SIZE size;
  if (info.hbmColor) {
    GetDIBits(context, info.hbmColor, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&measured),
              DIB_RGB_COLORS);
    size.cx = measured.header.biWidth;
    size.cy = measured.header.biHeight;
  } else {
    // A monochrome icon keeps its image and its mask one above the other in one bitmap.
    GetDIBits(context, info.hbmMask, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&measured),
              DIB_RGB_COLORS);
    size.cx = measured.header.biWidth;
    size.cy = measured.header.biHeight / 2;
  }
  return size;
}

}  // namespace

void DrawTaskButtonIcon(HWND button, HDC context, LONG style) {
  HICON icon = reinterpret_cast<HICON>(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0));
  if (!icon) return;
  ICONINFO info = {};
  // Without its bitmaps the icon cannot be measured, and the handles would be garbage.
  if (!GetIconInfo(icon, &info)) return;
  const SIZE size = IconSize(context, info);
  // GetIconInfo hands out copies: deleted here, or every repaint would leak two bitmaps.
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);

  RECT client;
  GetClientRect(button, &client);
  // Centred on the whole client area, not the theme's content rectangle, and one pixel up.
  const int x = (client.right - size.cx) / 2;
  const int y = (client.bottom - size.cy) / 2 - 1;
  const UINT flags = DST_ICON | ((style & WS_DISABLED) ? DSS_DISABLED : 0);
  DrawStateA(context, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, size.cx, size.cy,
             flags);
}

LRESULT DrawTaskButton(const NMCUSTOMDRAW* draw) {
  HWND button = draw->hdr.hwndFrom;
  const LONG style = GetWindowLongA(button, GWL_STYLE);
  // Only the picture buttons: the "Tasks" and "Task window" group boxes keep the platform's.
  if (!(style & (BS_ICON | BS_BITMAP))) return CDRF_DODEFAULT;
  // Without visual styles the platform's classic painting shows the icon itself.
  if (!g_themeApi.IsAppThemed() || !g_themeApi.IsThemeActive()) return CDRF_DODEFAULT;

  if (draw->dwDrawStage == CDDS_PREERASE) {
    g_themeApi.DrawThemeParentBackground(button, draw->hdc, &draw->rc);
  }
  // The whole button is painted at either stage: a platform that skips the paint stage
  // once the erase stage was answered still gets a complete face.
  if (draw->dwDrawStage != CDDS_PREERASE && draw->dwDrawStage != CDDS_PREPAINT) {
    return CDRF_DODEFAULT;
  }
  HTHEME theme = g_themeApi.OpenThemeData(button, L"BUTTON");
  if (!theme) return CDRF_DODEFAULT;

  const int state = PushButtonState(style, draw->uItemState);
  g_themeApi.DrawThemeBackground(theme, draw->hdc, BP_PUSHBUTTON, state, &draw->rc, nullptr);
  RECT content = draw->rc;
  g_themeApi.GetThemeBackgroundContentRect(theme, draw->hdc, BP_PUSHBUTTON, state, &draw->rc,
                                           &content);
  g_themeApi.CloseThemeData(theme);

  if (style & BS_ICON) DrawTaskButtonIcon(button, draw->hdc, style);
  if (draw->uItemState & CDIS_FOCUS) DrawFocusRect(draw->hdc, &content);
  // No text: the icon carries the task's name, the text only gives the mnemonic.
  return CDRF_SKIPDEFAULT;
}
