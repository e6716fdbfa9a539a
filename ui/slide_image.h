#ifndef UI_SLIDE_IMAGE_H_
#define UI_SLIDE_IMAGE_H_

#include <windows.h>

#include <cstddef>
#include <memory>

#include "ui/scaler.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
}  // namespace Gdiplus

namespace ui {

// Decodes a double-resolution slide picture (JPEG, or any image GDI+ reads)
// and scales it to the display: half the display scale factor, in the
// premultiplied format that draws fastest. Null when the bytes are not an
// image. The caller owns the bitmap. May be called from any thread inside
// the process's GDI+ session.
std::unique_ptr<Gdiplus::Bitmap> DecodeSlide(const void* data, size_t size, const Scaler& scaler);

// Draws the `part` of `slide` (in its own pixels, which are the window's)
// unscaled at the top left of `graphics`, with `opacity` from 0 (nothing)
// to 1. Pixels outside the slide are left as they are.
void DrawSlide(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& slide, const RECT& part,
               float opacity);

}  // namespace ui

#endif  // UI_SLIDE_IMAGE_H_
