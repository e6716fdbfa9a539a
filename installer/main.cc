#include <windows.h>

#include "installer/entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return installer::RunInstaller(instance);
}
