#include "ui/slide_set.h"

#include <objidl.h>

#include <gdiplus.h>

#include "base/scoped_srw_lock.h"
#include "base/string_conv.h"
#include "build_config.h"
#include "base/logging.h"
#include "distribution/brand_info.h"
#include "download/download_sink.h"
#include "download/downloader.h"
#include "ui/slide_image.h"

namespace ui {

std::wstring SlideName(size_t number) {
  std::wstring name = base::NumberToWString(number);
  if (number < 10)
    name.insert(0, 1, L'0');
  return name + L".jpg";
}

std::wstring SlideBaseUrl(const distribution::BrandInfo& brand) {
  if (!brand.slide_url.empty())
    return base::WidenBytes(brand.slide_url);
  LOG_AS("GetInstallerSlideUrl", ERROR)
      << "Deprecated. Use brand package for setting \"slide_url\" in \"install\" section";
  return std::wstring(L"https://") + TX_CDN_HOST + L"/browser/installer/" +
         base::WidenBytes(brand.default_language) + L"/";
}

std::wstring SlideUrl(const std::wstring& base_url, size_t count) {
  return base_url + L"x2/" + SlideName(count + 1);
}

SlideSet::SlideSet(const Scaler& scaler, download::HttpClientFactory* factory)
    : scaler_(scaler), factory_(factory) {}

SlideSet::~SlideSet() {
  Stop();
}

bool SlideSet::Start(const std::wstring& base_url) {
  base_url_ = base_url;
  if (!deadline_.is_valid()) {
    PLOG_AS("SlideSet", ERROR) << "Cannot create the slide download timer";
    return false;
  }
  running_ = true;
  thread_.PostTask([this] { DownloadLoop(); });
  if (!thread_.Start()) {
    running_ = false;
    PLOG_AS("SlideSet", ERROR) << "Cannot start the slide download thread";
    return false;
  }
  return true;
}

void SlideSet::Stop() {
  running_ = false;
  // After the flag: a download armed before it sees the fire, one armed
  // after it sees the flag.
  deadline_.Fire();
  if (thread_.IsRunning())
    thread_.Stop(INFINITE);
  base::ScopedExclusiveLock hold(&lock_);
  slides_.clear();
}

std::unique_ptr<Gdiplus::Bitmap> SlideSet::Slide(size_t index) const {
  base::ScopedExclusiveLock hold(&lock_);
  if (slides_.empty())
    return nullptr;
  Gdiplus::Bitmap& slide = *slides_[index % slides_.size()];
  std::unique_ptr<Gdiplus::Bitmap> copy(
      slide.Clone(0, 0, static_cast<INT>(slide.GetWidth()), static_cast<INT>(slide.GetHeight()),
                  slide.GetPixelFormat()));
  if (copy && copy->GetLastStatus() != Gdiplus::Ok)
    copy.reset();
  return copy;
}

size_t SlideSet::count() const {
  base::ScopedExclusiveLock hold(&lock_);
  return slides_.size();
}

void SlideSet::DownloadLoop() {
  int failures = 0;
  while (running_) {
    if (!deadline_.Arm(kDownloadTimeoutMs)) {
      PLOG_AS("SlideSet", ERROR) << "Cannot time a slide download";
      break;
    }
    if (!running_)
      break;
    if (DownloadImage()) {
      failures = 0;
    } else if (++failures >= kFailureLimit) {
      break;
    }
  }
  running_ = false;
}

bool SlideSet::DownloadImage() {
  const std::wstring url = SlideUrl(base_url_, count());
  download::StringSink sink;
  download::Downloader downloader(factory_);
  if (!downloader.OpenDownload(url, &sink, deadline_.handle()))
    return false;
  while (downloader.ReadChunk() > 0) {
  }
  if (!downloader.FinalizeDownload())
    return false;
  std::unique_ptr<Gdiplus::Bitmap> slide =
      DecodeSlide(sink.data().data(), sink.data().size(), scaler_);
  if (!slide) {
    LOG_AS("DownloadImage", WARNING)
        << "Failed to load a background slide bitmap from data downloaded from "
        << base::NarrowLow8(url);
    return false;
  }
  base::ScopedExclusiveLock hold(&lock_);
  slides_.push_back(std::move(slide));
  return true;
}

}  // namespace ui
