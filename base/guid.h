#ifndef BASE_GUID_H_
#define BASE_GUID_H_

#include <string>

namespace base {

// A new GUID in its braced text form ("{8-4-4-4-12}", upper-case), or empty
// when none can be made.
std::wstring NewGuidText();

}  // namespace base

#endif  // BASE_GUID_H_
