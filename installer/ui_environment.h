#ifndef INSTALLER_UI_ENVIRONMENT_H_
#define INSTALLER_UI_ENVIRONMENT_H_

#include <windows.h>

namespace installer {

// COM, common controls and GDI+ for the run's windows; undone on destruction.
class UiEnvironment {
 public:
  UiEnvironment();
  ~UiEnvironment();
  UiEnvironment(const UiEnvironment&) = delete;
  UiEnvironment& operator=(const UiEnvironment&) = delete;

 private:
  bool com_initialized_ = false;
  ULONG_PTR gdiplus_token_ = 0;
};

}  // namespace installer

#endif  // INSTALLER_UI_ENVIRONMENT_H_
