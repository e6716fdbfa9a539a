// Times what the slide show does to one downloaded slide, against what GDI+
// alone costs for it.
//
//   slide_bench <picture> <repetitions>
//
// Each round times (a) GDI+ decoding alone: ui::DecodeImage on the bytes in
// memory, with one pixel read so that a lazy decoder has to finish; and
// (b) ui::DecodeSlide, the slide thread's whole work (decoding, then scaling
// by half the display scale factor into the format the window draws), at
// the scale factors 1, 1.5 and 2. One untimed round warms up first. Prints
// the medians in milliseconds and the slide sizes; exits 1 when a decoding
// fails.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/clock.h"
#include "ui/scaler.h"
#include "ui/skin.h"
#include "ui/slide_image.h"

namespace {

double NowMs() {
  return static_cast<double>(base::DefaultClock()->NowMicroseconds()) / 1000.0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool DecodeAlone(const std::string& bytes) {
  std::unique_ptr<Gdiplus::Bitmap> picture = ui::DecodeImage(bytes.data(), bytes.size());
  Gdiplus::Color colour;
  return picture && picture->GetPixel(0, 0, &colour) == Gdiplus::Ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int repetitions = argc == 3 ? _wtoi(argv[2]) : 0;
  if (repetitions < 1) {
    std::fwprintf(stderr, L"usage: slide_bench <picture> <repetitions>\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.empty()) {
    std::fwprintf(stderr, L"cannot read %ls\n", argv[1]);
    return 2;
  }
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
    return 2;

  const double factors[] = {1.0, 1.5, 2.0};
  bool ok = DecodeAlone(bytes);
  std::vector<double> decode_ms;
  std::vector<std::vector<double>> slide_ms(std::size(factors));
  for (int i = 0; i < repetitions + 1; ++i) {
    double start = NowMs();
    ok = DecodeAlone(bytes) && ok;
    if (i)
      decode_ms.push_back(NowMs() - start);
    for (size_t f = 0; f < std::size(factors); ++f) {
      start = NowMs();
      ok = ui::DecodeSlide(bytes.data(), bytes.size(), ui::Scaler(factors[f])) != nullptr && ok;
      if (i)
        slide_ms[f].push_back(NowMs() - start);
    }
  }

  std::unique_ptr<Gdiplus::Bitmap> picture = ui::DecodeImage(bytes.data(), bytes.size());
  std::printf("repetitions=%d\n", repetitions);
  std::printf("picture=%ux%u\n", picture ? picture->GetWidth() : 0,
              picture ? picture->GetHeight() : 0);
  picture.reset();
  std::printf("gdiplus_decode_ms=%.2f\n", Median(decode_ms));
  for (size_t f = 0; f < std::size(factors); ++f) {
    std::unique_ptr<Gdiplus::Bitmap> slide =
        ui::DecodeSlide(bytes.data(), bytes.size(), ui::Scaler(factors[f]));
    const int percent = static_cast<int>(factors[f] * 100);
    std::printf("slide_size_at_%d=%ux%u\n", percent, slide ? slide->GetWidth() : 0,
                slide ? slide->GetHeight() : 0);
    std::printf("decode_and_scale_ms_at_%d=%.2f\n", percent, Median(slide_ms[f]));
  }
  std::printf("decoded=%d\n", ok ? 1 : 0);
  Gdiplus::GdiplusShutdown(token);
  return ok ? 0 : 1;
}
