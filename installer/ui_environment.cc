#include "installer/ui_environment.h"

#include <commctrl.h>
#include <objbase.h>

#include <gdiplus.h>

namespace installer {

UiEnvironment::UiEnvironment() {
  com_initialized_ = SUCCEEDED(::CoInitialize(nullptr));
  // Makes user32 set up this thread's window state before the first window.
  ::DefWindowProcW(nullptr, WM_NULL, 0, 0);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&gdiplus_token_, &input, nullptr) != Gdiplus::Ok)
    gdiplus_token_ = 0;
}

UiEnvironment::~UiEnvironment() {
  if (gdiplus_token_)
    Gdiplus::GdiplusShutdown(gdiplus_token_);
  if (com_initialized_)
    ::CoUninitialize();
}

}  // namespace installer
