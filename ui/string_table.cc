#include "ui/string_table.h"

#include <cstddef>

namespace ui {

namespace {

constexpr WORD kEnglishId = 1033;
// Strings are stored in blocks of 16; block n (from 1) holds ids 16(n-1) to
// 16(n-1)+15.
constexpr unsigned kStringsPerBlock = 16;

// A block is 16 counted strings: a length in UTF-16 units, then the units,
// with no terminator. The resource size bounds every step, so a damaged block
// gives an empty string instead of a read past its end.
std::wstring StringFromBlock(HMODULE module, HRSRC block, unsigned index) {
  const size_t count = ::SizeofResource(module, block) / sizeof(wchar_t);
  HGLOBAL loaded = ::LoadResource(module, block);
  const auto* units = loaded ? static_cast<const wchar_t*>(::LockResource(loaded)) : nullptr;
  if (!units)
    return {};
  size_t pos = 0;
  for (unsigned i = 0; i < index; ++i) {
    if (pos >= count)
      return {};
    pos += 1 + units[pos];
  }
  if (pos >= count || units[pos] > count - pos - 1)
    return {};
  return std::wstring(units + pos + 1, units[pos]);
}

}  // namespace

std::wstring LoadUiString(HMODULE module, unsigned id, int language_id) {
  const unsigned block_id = id / kStringsPerBlock + 1;
  if (block_id > 0xFFFF)
    return {};
  const wchar_t* block_name = MAKEINTRESOURCEW(block_id);
  HRSRC block = nullptr;
  // Language 0 would start the system's own search and could answer in the
  // user's language instead of the requested one.
  if (language_id > 0 && language_id <= 0xFFFF) {
    block = ::FindResourceExW(module, RT_STRING, block_name, static_cast<WORD>(language_id));
  }
  if (!block)
    block = ::FindResourceExW(module, RT_STRING, block_name, kEnglishId);
  if (!block)
    block = ::FindResourceW(module, block_name, RT_STRING);
  return block ? StringFromBlock(module, block, id % kStringsPerBlock) : std::wstring();
}

}  // namespace ui
