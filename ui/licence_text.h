#ifndef UI_LICENCE_TEXT_H_
#define UI_LICENCE_TEXT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// One run of the licence sentence on one line: plain text or link text.
struct TextRun {
  std::wstring text;
  bool link = false;
  RECT rect = {};  // Device pixels, relative to the window.
};

// Lays `sentence` out word by word inside `box`: the part between "((" and
// "))" is the link, the rest plain text. Words wrap at the box's width as
// `measure` (the pixel width of a text in the window's font) says; each line
// is `line_height` high. Consecutive words of one kind on one line make one
// run. Words that do not fit below the box are dropped.
std::vector<TextRun> LayOutLicenceText(std::wstring_view sentence, const RECT& box,
                                       int line_height,
                                       const std::function<int(const std::wstring&)>& measure);

}  // namespace ui

#endif  // UI_LICENCE_TEXT_H_
