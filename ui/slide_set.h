#ifndef UI_SLIDE_SET_H_
#define UI_SLIDE_SET_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/task_thread.h"
#include "base/waitable_timer.h"
#include "ui/scaler.h"

namespace Gdiplus {
class Bitmap;
}  // namespace Gdiplus
namespace distribution {
struct BrandInfo;
}  // namespace distribution
namespace download {
class HttpClientFactory;
}  // namespace download

namespace ui {

// The file name of the `number`-th slide, counting from 1: "01.jpg" to
// "09.jpg", then "10.jpg", "11.jpg", ...
std::wstring SlideName(size_t number);

// Where the brand's slides are: its "slide_url", or else (logged as
// deprecated) the folder of its language on the CDN host.
std::wstring SlideBaseUrl(const distribution::BrandInfo& brand);

// The URL of the slide that follows `count` downloaded ones; slides are
// always fetched in double resolution.
std::wstring SlideUrl(const std::wstring& base_url, size_t count);

// The slides of the progress screen, fetched one after the other on a thread
// of their own until one is missing, and decoded for the display. The window
// thread only reads the list, under a lock the download thread takes just to
// append; nothing it calls waits on the network.
class SlideSet {
 public:
  static constexpr DWORD kDownloadTimeoutMs = 5000;
  // Failures in a row that end the downloads.
  static constexpr int kFailureLimit = 10;

  // `factory` may be null (WinINet); it must outlive the set.
  explicit SlideSet(const Scaler& scaler, download::HttpClientFactory* factory = nullptr);
  // Stops the downloads.
  ~SlideSet();
  SlideSet(const SlideSet&) = delete;
  SlideSet& operator=(const SlideSet&) = delete;

  // Starts the download thread on `base_url`; false when it could not be
  // started (logged). Called once.
  bool Start(const std::wstring& base_url);
  // Ends a download in progress at once, waits for the thread and drops the
  // slides. Callers on the window thread wait at most for one decoding.
  void Stop();

  // A copy of slide `index` modulo the number of slides; null when there is
  // none yet. The caller owns it. May be called from any thread.
  std::unique_ptr<Gdiplus::Bitmap> Slide(size_t index) const;
  // The slides downloaded so far. May be called from any thread.
  size_t count() const;
  // True until the downloads have ended. May be called from any thread.
  bool running() const { return running_; }

 private:
  void DownloadLoop();
  // Fetches and decodes the next slide; false when it counts as a failure.
  bool DownloadImage();

  Scaler scaler_;
  download::HttpClientFactory* factory_;
  std::wstring base_url_;
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> slides_;  // Guarded by lock_.
  std::atomic<bool> running_{false};
  // Ends the download in progress: at its time limit, or at a stop.
  base::WaitableTimer deadline_;
  base::TaskThread thread_;
};

}  // namespace ui

#endif  // UI_SLIDE_SET_H_
