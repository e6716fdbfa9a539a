#ifndef UI_DISPLAY_SCALE_H_
#define UI_DISPLAY_SCALE_H_

#include <string>

namespace ui {

// The factor design pixels are multiplied by: `forced` (the value of
// "force-device-scale-factor") when it reads as a number that is neither 0
// nor infinite, otherwise the screen's horizontal logical resolution / 96.
double DisplayScaleFactor(const std::wstring& forced);

}  // namespace ui

#endif  // UI_DISPLAY_SCALE_H_
