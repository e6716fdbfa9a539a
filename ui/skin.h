#ifndef UI_SKIN_H_
#define UI_SKIN_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "ui/scaler.h"
#include "ui/skin_resources.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
}  // namespace Gdiplus

namespace ui {

// Colours of the texts the window draws itself.
inline constexpr COLORREF kTextColor = RGB(0x1B, 0x1F, 0x24);
inline constexpr COLORREF kMutedTextColor = RGB(0x5B, 0x62, 0x70);
inline constexpr COLORREF kLinkColor = RGB(0x2F, 0x6B, 0xFF);
inline constexpr COLORREF kLightTextColor = RGB(0xFF, 0xFF, 0xFF);
inline constexpr COLORREF kLightLinkColor = RGB(0xA8, 0xC8, 0xFF);

// The fonts of the skin, made for the display scale factor.
enum class SkinFont { kBody, kSmall, kTitle, kSubtitle, kButton, kDialogTitle, kPercent };

// The window's images and fonts: images decoded with GDI+ from this
// executable's resources (the 200 % variants for large scale factors, the
// Russian backgrounds for language 1049), fonts "Arial" and "Segoe UI".
// Lives on the window thread, inside the GDI+ session of the process. The
// images are decoded on a thread of their own, started by the constructor,
// while the window is being built; the first use of an image waits for it.
class Skin {
 public:
  Skin(const Scaler& scaler, int language_id);
  ~Skin();
  Skin(const Skin&) = delete;
  Skin& operator=(const Skin&) = delete;

  const Scaler& scaler() const { return scaler_; }
  // Draws frame `frame` of `image` into `device_rect`; missing images draw
  // nothing.
  void Draw(Gdiplus::Graphics& graphics, SkinImage image, int frame,
            const RECT& device_rect) const;
  bool HasImage(SkinImage image) const { return Images()[image] != nullptr; }
  // Owned by the skin; valid while it lives.
  HFONT Font(SkinFont font) const { return fonts_[static_cast<int>(font)]; }

 private:
  static unsigned __stdcall DecodeImages(void* self);
  // Waits for the decoding thread, once.
  Gdiplus::Bitmap* const* Images() const;

  Scaler scaler_;
  int image_ids_[kSkinImageCount] = {};
  // Written only by the decoding thread until it has been joined.
  Gdiplus::Bitmap* images_[kSkinImageCount] = {};
  mutable base::ScopedHandle decoder_;
  HFONT fonts_[7] = {};
};

// Decodes an image (PNG, JPEG, ...) held in memory; null when it is not one.
// The caller owns the bitmap.
std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, size_t size);

}  // namespace ui

#endif  // UI_SKIN_H_
