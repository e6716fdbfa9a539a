#ifndef UI_STRING_TABLE_H_
#define UI_STRING_TABLE_H_

#include <windows.h>

#include <string>

namespace ui {

// The string `id` of `module`'s string table in the language `language_id`
// (a Windows language identifier such as 1049). When the module has no table
// for the id in that language, the English (1033) table answers, then
// whichever table the system's own language search finds; the brand's
// language thus wins over the system's. Empty when the string does not exist.
// `module` is not owned; null means this executable. May be called from any
// thread.
std::wstring LoadUiString(HMODULE module, unsigned id, int language_id);

}  // namespace ui

#endif  // UI_STRING_TABLE_H_
