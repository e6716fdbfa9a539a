#ifndef BASE_ROUNDING_H_
#define BASE_ROUNDING_H_

namespace base {

// The nearest integer, halves away from zero, as std::lround gives for the
// sizes and factors the program rounds; the runtime's lround would add its
// own code to the shipped executable for these few calls.
long RoundToLong(double value);

}  // namespace base

#endif  // BASE_ROUNDING_H_
