#include "base/rounding.h"

namespace base {

long RoundToLong(double value) {
  return static_cast<long>(value < 0 ? value - 0.5 : value + 0.5);
}

}  // namespace base
