#ifndef UI_SLIDE_SHOW_H_
#define UI_SLIDE_SHOW_H_

#include <cstddef>
#include <cstdint>

namespace ui {

// The timing of the progress screen's slide show, fed by the window timer:
// each slide stays for one animation of ten seconds, fading in over the one
// before at its start; then the show moves to the next index, which wraps
// around the slides downloaded by then. Until the first slide has arrived
// the screen shows its background, and that slide is taken as soon as it is
// there. Plain data; lives on the window thread.
class SlideShow {
 public:
  static constexpr int64_t kAnimationMs = 10000;
  static constexpr int64_t kFadeMs = 600;

  // What the window does after a tick.
  struct Step {
    bool take_slide = false;  // Take slide(index()) as the picture.
    bool moved = false;       // An animation ended: the slide changed.
    bool repaint = false;
  };

  // The progress screen was shown at `now_ms` (any monotonic milliseconds).
  void Start(int64_t now_ms);
  // One tick at `now_ms` with `available` slides downloaded.
  Step Advance(int64_t now_ms, size_t available);

  // The index of the slide to take; wraps modulo the slides available.
  size_t index() const { return index_; }
  // How far the current picture has faded in over the previous one, 0 to 1.
  float Opacity(int64_t now_ms) const;

 private:
  int64_t animation_start_ms_ = 0;
  size_t index_ = 0;
  bool showing_ = false;  // A slide is up.
  bool fading_ = false;   // The last repaint showed a fade in progress.
};

}  // namespace ui

#endif  // UI_SLIDE_SHOW_H_
