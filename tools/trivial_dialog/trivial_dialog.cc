// The yardstick for the installer window's start-up time: the smallest
// honest Win32 dialog program, a modal dialog with one button, built with
// the same toolchain and run under the same Wine.
//
// Built a second time as ui_floor_dialog (TX_UI_ENVIRONMENT): the same dialog
// after the user-interface environment that the installer must prepare
// before its window (common controls 6 through the manifest, COM, GDI+), so
// that the benchmark can tell that fixed cost from the installer's own work.
#include <windows.h>
#if defined(TX_UI_ENVIRONMENT)
#include <commctrl.h>
#include <objbase.h>
#include <gdiplus.h>
#endif

namespace {

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG)
    return TRUE;
  if (message == WM_COMMAND || (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE)) {
    ::EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#if defined(TX_UI_ENVIRONMENT)
  ::CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput gdiplus_input;
  ULONG_PTR gdiplus_token = 0;
  Gdiplus::GdiplusStartup(&gdiplus_token, &gdiplus_input, nullptr);
#endif
  // A template in memory: a visible popup dialog with one push button.
  alignas(4) WORD buffer[64] = {};
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
  dialog->style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER;
  dialog->cdit = 1;
  dialog->cx = 300;
  dialog->cy = 160;
  WORD* p = reinterpret_cast<WORD*>(dialog + 1);
  *p++ = 0;  // No menu.
  *p++ = 0;  // The default class.
  *p++ = 0;  // No title.
  p = reinterpret_cast<WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR{3});
  auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
  item->style = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;
  item->x = 110;
  item->y = 120;
  item->cx = 80;
  item->cy = 20;
  item->id = IDOK;
  p = reinterpret_cast<WORD*>(item + 1);
  *p++ = 0xFFFF;
  *p++ = 0x0080;  // Button.
  *p++ = 0;       // No text.
  *p++ = 0;       // No creation data.
  INT_PTR result = ::DialogBoxIndirectW(instance, dialog, nullptr, &Proc);
#if defined(TX_UI_ENVIRONMENT)
  Gdiplus::GdiplusShutdown(gdiplus_token);
  ::CoUninitialize();
#endif
  return static_cast<int>(result);
}
