#include "ui/display_scale.h"

#include <windows.h>

#include <stdlib.h>

#include <cmath>

namespace ui {

double DisplayScaleFactor(const std::wstring& forced) {
  if (!forced.empty()) {
    // The C library's own conversion (msvcrt.dll): mingw-w64's wcstod would
    // bring some 20 KB of long double code for one switch.
    double value = ::_wtof(forced.c_str());
    if (value != 0 && std::isfinite(value))
      return value;
  }
  double factor = 1.0;
  if (HDC screen = ::GetDC(nullptr)) {
    factor = ::GetDeviceCaps(screen, LOGPIXELSX) / 96.0;
    ::ReleaseDC(nullptr, screen);
  }
  return factor;
}

}  // namespace ui
