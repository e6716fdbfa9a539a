#ifndef UI_SKIN_RESOURCES_H_
#define UI_SKIN_RESOURCES_H_

// The window's embedded images: PNG data in RCDATA resources. Each image has
// a 100 % variant (design pixels) and, where the window uses one, a 200 %
// variant of exactly twice the size. Buttons and checkboxes are horizontal
// strips of equal state frames.

namespace ui {

enum SkinImage {
  kSkinFirstBackground,     // First screen, 728 x 400.
  kSkinProgressBackground,  // Progress screen under the slides, 728 x 400.
  kSkinDialogBackground,    // Secondary dialogs, 460 x 240.
  kSkinInstallButton,       // 3 frames of 200 x 48: normal, hover, pressed.
  kSkinCancelButton,        // 3 frames of 32 x 32: dark cross on a light page.
  kSkinCloseButton,         // 3 frames of 32 x 32: light cross over slides.
  kSkinCheckbox,            // 4 frames of 20 x 20: off, on, off hover, on hover.
  kSkinDialogButton,        // 3 frames of 140 x 40: the action button.
  kSkinDialogSecondaryButton,  // 3 frames of 140 x 40: the dismiss button.
  kSkinImageCount
};

struct SkinImageInfo {
  int id_100;          // RCDATA id of the 100 % variant.
  int id_200;          // RCDATA id of the 200 % variant.
  int russian_id_100;  // The Russian variant (language 1049), 0 when none.
  int russian_id_200;
  int frame_width;     // Design pixels of one frame.
  int frame_height;
  int frames;
};

inline constexpr SkinImageInfo kSkinImages[kSkinImageCount] = {
    {301, 1057, 1065, 1068, 728, 400, 1},
    {304, 1058, 1066, 1069, 728, 400, 1},
    {303, 1059, 321, 1070, 460, 240, 1},
    {299, 1060, 0, 0, 200, 48, 3},
    {302, 1061, 0, 0, 32, 32, 3},
    {298, 1062, 0, 0, 32, 32, 3},
    {300, 1063, 0, 0, 20, 20, 4},
    {307, 1064, 0, 0, 140, 40, 3},
    {308, 1067, 0, 0, 140, 40, 3},
};

inline constexpr int kRussianLanguageId = 1049;

}  // namespace ui

#endif  // UI_SKIN_RESOURCES_H_
