#ifndef UI_SCALER_H_
#define UI_SCALER_H_

#include <windows.h>

#include "base/rounding.h"

namespace ui {

// Turns design pixels into device pixels; the one place that applies the
// display scale factor.
class Scaler {
 public:
  explicit Scaler(double factor) : factor_(factor > 0 ? factor : 1.0) {}

  double factor() const { return factor_; }
  int ToDevice(int design) const { return static_cast<int>(base::RoundToLong(design * factor_)); }
  RECT ToDevice(const RECT& design) const {
    return RECT{ToDevice(design.left), ToDevice(design.top), ToDevice(design.right),
                ToDevice(design.bottom)};
  }
  // The device size of a length of a double-resolution picture (two of its
  // pixels make one design pixel), such as a downloaded slide.
  int FromDoubleResolution(int pixels) const {
    return static_cast<int>(base::RoundToLong(pixels * factor_ / 2));
  }
  // The 200 % images serve every factor from 1.5 up.
  bool UsesDoubleImages() const { return factor_ >= 1.5; }

 private:
  double factor_;
};

}  // namespace ui

#endif  // UI_SCALER_H_
