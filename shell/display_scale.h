// The display scale factor: 96-dpi pixel sizes (panel position, column widths) to device
// pixels.
#pragma once

// dpi / 96 in single precision, plus 6 % as soon as that exceeds 1.01, so that panels and
// columns keep pace with the dialog-unit layout, which grows faster than the DPI.
// Every step is taken at extended precision and only the results are stored as floats:
// SSE would round the 6 % product first, x87 would not, and the x86 and x64 builds would
// place panels and columns a pixel apart at some DPIs.
inline float DisplayScaleFactor(int dpi) {
  const long double product = static_cast<long double>(dpi) * 0.010416667f;
  float factor = static_cast<float>(product);
  if (product > 1.01f) {
    factor = static_cast<float>(factor + static_cast<long double>(factor) * 0.06f);
  }
  return factor;
}

// A 96-dpi pixel size scaled and truncated toward zero; the product is exact at extended
// precision, so 120 px at 360 dpi is 476 (476.99998...), not the 477 of a float product.
inline int ScaledPixels(int pixelsAt96Dpi, float factor) {
  return static_cast<int>(static_cast<long double>(pixelsAt96Dpi) * factor);
}
