#include "ui/slide_image.h"

#include <objidl.h>

#include <gdiplus.h>

#include "ui/skin.h"

namespace ui {

std::unique_ptr<Gdiplus::Bitmap> DecodeSlide(const void* data, size_t size,
                                             const Scaler& scaler) {
  std::unique_ptr<Gdiplus::Bitmap> picture = DecodeImage(data, size);
  if (!picture)
    return nullptr;
  const int source_width = static_cast<int>(picture->GetWidth());
  const int source_height = static_cast<int>(picture->GetHeight());
  const int width = scaler.FromDoubleResolution(source_width);
  const int height = scaler.FromDoubleResolution(source_height);
  if (width <= 0 || height <= 0)
    return nullptr;
  auto slide = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
  if (slide->GetLastStatus() != Gdiplus::Ok)
    return nullptr;
  Gdiplus::Graphics graphics(slide.get());
  graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
  // At 200 % the picture only changes its pixel format: nothing to filter.
  const bool unscaled = width == source_width && height == source_height;
  graphics.SetInterpolationMode(unscaled ? Gdiplus::InterpolationModeNearestNeighbor
                                         : Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  // Mirrored edges keep the filter from blending the border with nothing.
  Gdiplus::ImageAttributes edges;
  edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  // A JPEG that ends early may decode without complaint and fail here.
  if (graphics.DrawImage(picture.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, source_width,
                         source_height, Gdiplus::UnitPixel, &edges) != Gdiplus::Ok) {
    return nullptr;
  }
  return slide;
}

void DrawSlide(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& slide, const RECT& part,
               float opacity) {
  RECT source = part;
  const RECT bounds = {0, 0, static_cast<LONG>(slide.GetWidth()),
                       static_cast<LONG>(slide.GetHeight())};
  if (opacity <= 0.0f || !::IntersectRect(&source, &source, &bounds))
    return;
  const int width = source.right - source.left;
  const int height = source.bottom - source.top;
  const Gdiplus::Rect destination(source.left - part.left, source.top - part.top, width, height);
  // One slide pixel to one screen pixel: nothing to filter.
  const Gdiplus::InterpolationMode interpolation = graphics.GetInterpolationMode();
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  Gdiplus::ImageAttributes attributes;
  if (opacity < 1.0f) {
    Gdiplus::ColorMatrix fade = {{{1, 0, 0, 0, 0},
                                  {0, 1, 0, 0, 0},
                                  {0, 0, 1, 0, 0},
                                  {0, 0, 0, opacity, 0},
                                  {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&fade);
  }
  graphics.DrawImage(&slide, destination, source.left, source.top, width, height,
                     Gdiplus::UnitPixel, opacity < 1.0f ? &attributes : nullptr);
  graphics.SetInterpolationMode(interpolation);
}

}  // namespace ui
