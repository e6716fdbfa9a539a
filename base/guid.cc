#include "base/guid.h"

#include <objbase.h>

namespace base {

std::wstring NewGuidText() {
  GUID guid = {};
  wchar_t text[40] = {};
  if (FAILED(::CoCreateGuid(&guid)) || ::StringFromGUID2(guid, text, 40) == 0)
    return std::wstring();
  return text;
}

}  // namespace base
