#include "ui/display_scale.h"

#include <windows.h>

#include <cmath>
#include <cwchar>

namespace ui {

double DisplayScaleFactor(const std::wstring& forced) {
  if (!forced.empty()) {
    double value = std::wcstod(forced.c_str(), nullptr);
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
