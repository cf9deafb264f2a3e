// The display scale factor: 96-dpi pixel sizes (panel position, column widths) to device
// pixels.
#pragma once

// dpi / 96 in single precision, plus 6 % as soon as that exceeds 1.01, so that panels and
// columns keep pace with the dialog-unit layout, which grows faster than the DPI.
inline float DisplayScaleFactor(int dpi) {
  const long double product = static_cast<long double>(dpi) * 0.010416667f;
  float factor = static_cast<float>(product);
  if (product > 1.01f) factor = factor + factor * 0.06f;
  return factor;
}

// A 96-dpi pixel size scaled and truncated toward zero.
inline int ScaledPixels(int pixelsAt96Dpi, float factor) {
  return static_cast<int>(static_cast<float>(pixelsAt96Dpi) * factor);
}
