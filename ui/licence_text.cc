#include "ui/licence_text.h"

namespace ui {

namespace {

struct Word {
  std::wstring text;
  bool link;
  bool blank_before;  // A blank separated it from the word before.
};

// Splits at blanks and line breaks and marks the words between "((" and
// "))". A mark inside a word splits it without a blank, so "((Agreement))."
// keeps its full stop right after the link.
std::vector<Word> SplitWords(std::wstring_view sentence) {
  std::vector<Word> words;
  bool link = false;
  bool blank = false;
  std::wstring current;
  auto flush = [&] {
    if (current.empty())
      return;
    words.push_back({std::move(current), link, blank});
    current.clear();
    blank = false;  // The next word is glued to this one unless a blank comes.
  };
  for (size_t i = 0; i < sentence.size(); ++i) {
    if (sentence.compare(i, 2, L"((") == 0 || sentence.compare(i, 2, L"))") == 0) {
      flush();
      link = sentence[i] == L'(';
      ++i;
    } else if (sentence[i] == L' ' || sentence[i] == L'\n') {
      flush();
      blank = true;
    } else {
      current.push_back(sentence[i]);
    }
  }
  flush();
  return words;
}

// Languages written without blanks give one long "word": it is cut where the
// line is full, as such scripts wrap anywhere.
std::vector<Word> FitWords(std::vector<Word> words, int width,
                           const std::function<int(const std::wstring&)>& measure) {
  std::vector<Word> out;
  for (Word& word : words) {
    if (word.text.size() < 2 || measure(word.text) <= width) {
      out.push_back(std::move(word));
      continue;
    }
    Word piece{L"", word.link, word.blank_before};
    for (wchar_t c : word.text) {
      if (!piece.text.empty() && measure(piece.text + c) > width) {
        out.push_back(piece);
        piece = Word{L"", word.link, false};
      }
      piece.text.push_back(c);
    }
    out.push_back(std::move(piece));
  }
  return out;
}

}  // namespace

std::vector<TextRun> LayOutLicenceText(std::wstring_view sentence, const RECT& box,
                                       int line_height,
                                       const std::function<int(const std::wstring&)>& measure) {
  std::vector<TextRun> runs;
  const int width = box.right - box.left;
  const int space = measure(L" ");
  int x = 0, y = 0;
  for (const Word& word : FitWords(SplitWords(sentence), width, measure)) {
    const int word_width = measure(word.text);
    int gap = x > 0 && word.blank_before ? space : 0;
    if (x > 0 && x + gap + word_width > width) {
      x = 0;
      gap = 0;
      y += line_height;
    }
    if (box.top + y + line_height > box.bottom)
      break;
    const int left = x + gap;
    TextRun* last = runs.empty() ? nullptr : &runs.back();
    if (x > 0 && last && last->link == word.link) {
      last->text += (gap ? L" " : L"") + word.text;
      last->rect.right = box.left + left + word_width;
    } else {
      runs.push_back({word.text, word.link,
                      RECT{box.left + left, box.top + y, box.left + left + word_width,
                           box.top + y + line_height}});
    }
    x = left + word_width;
  }
  return runs;
}

}  // namespace ui
