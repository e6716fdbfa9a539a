#include "ui/skin.h"

#include <objidl.h>
#include <process.h>
#include <shlwapi.h>

#include <gdiplus.h>

namespace ui {

namespace {

struct FontSpec {
  const wchar_t* face;
  int design_height;  // Design pixels, cell height.
  int weight;
};

constexpr FontSpec kFonts[] = {
    {L"Arial", 14, FW_NORMAL},      // kBody
    {L"Arial", 12, FW_NORMAL},      // kSmall
    {L"Segoe UI", 34, FW_BOLD},     // kTitle
    {L"Segoe UI", 16, FW_NORMAL},   // kSubtitle
    {L"Segoe UI", 17, FW_SEMIBOLD},  // kButton
    {L"Segoe UI", 19, FW_SEMIBOLD},  // kDialogTitle
    {L"Arial", 15, FW_BOLD},        // kPercent
};

std::unique_ptr<Gdiplus::Bitmap> LoadImageResource(int id) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!resource)
    return nullptr;
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data)
    return nullptr;
  return DecodeImage(data, ::SizeofResource(module, resource));
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, size_t size) {
  IStream* stream =
      ::SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size));
  if (!stream)
    return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
  stream->Release();
  if (decoded && decoded->GetLastStatus() != Gdiplus::Ok)
    decoded.reset();
  return decoded;
}

Skin::Skin(const Scaler& scaler, int language_id) : scaler_(scaler) {
  const bool russian = language_id == kRussianLanguageId;
  const bool doubled = scaler_.UsesDoubleImages();
  for (int i = 0; i < kSkinImageCount; ++i) {
    const SkinImageInfo& info = kSkinImages[i];
    int id = doubled ? info.id_200 : info.id_100;
    if (russian && info.russian_id_100)
      id = doubled ? info.russian_id_200 : info.russian_id_100;
    image_ids_[i] = id;
  }
  // Decoding needs the codecs loaded and the images inflated, the longest
  // step before the first paint; the window's controls are made meanwhile.
  // Without a thread the images are decoded here.
  decoder_.reset(reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, 0, &Skin::DecodeImages, this, 0, nullptr)));
  if (!decoder_.is_valid())
    DecodeImages(this);
  for (size_t i = 0; i < std::size(kFonts); ++i) {
    fonts_[i] = ::CreateFontW(-scaler_.ToDevice(kFonts[i].design_height), 0, 0, 0,
                              kFonts[i].weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                              DEFAULT_PITCH | FF_SWISS, kFonts[i].face);
  }
}

unsigned __stdcall Skin::DecodeImages(void* self) {
  auto* skin = static_cast<Skin*>(self);
  for (int i = 0; i < kSkinImageCount; ++i)
    skin->images_[i] = LoadImageResource(skin->image_ids_[i]).release();
  return 0;
}

Gdiplus::Bitmap* const* Skin::Images() const {
  if (decoder_.is_valid()) {
    ::WaitForSingleObject(decoder_.get(), INFINITE);
    decoder_.reset();
  }
  return images_;
}

Skin::~Skin() {
  Images();
  for (Gdiplus::Bitmap*& image : images_) {
    delete image;
    image = nullptr;
  }
  for (HFONT font : fonts_) {
    if (font)
      ::DeleteObject(font);
  }
}

void Skin::Draw(Gdiplus::Graphics& graphics, SkinImage image, int frame,
                const RECT& device_rect) const {
  Gdiplus::Bitmap* bitmap = Images()[image];
  if (!bitmap)
    return;
  const SkinImageInfo& info = kSkinImages[image];
  const int frame_width = static_cast<int>(bitmap->GetWidth()) / info.frames;
  const int frame_height = static_cast<int>(bitmap->GetHeight());
  Gdiplus::Rect destination(device_rect.left, device_rect.top,
                            device_rect.right - device_rect.left,
                            device_rect.bottom - device_rect.top);
  graphics.DrawImage(bitmap, destination, frame_width * frame, 0, frame_width, frame_height,
                     Gdiplus::UnitPixel);
}

}  // namespace ui
