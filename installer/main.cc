#include <windows.h>

#include "installer/entry.h"
#include "ui/window_road.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return installer::RunInstaller(instance, &ui::RunWindowRoad);
}
