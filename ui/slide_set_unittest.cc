#include "ui/slide_set.h"

#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/string_conv.h"
#include "build_config.h"
#include "base/log_capture_for_testing.h"
#include "distribution/brand_info.h"
#include "download/fake_http_for_testing.h"

namespace ui {
namespace {

// A 24-bit BMP of one colour: an image GDI+ reads that a test can write.
std::string Bmp(int width, int height, BYTE red) {
  const int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + stride * height;
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::string data(reinterpret_cast<const char*>(&file), sizeof(file));
  data.append(reinterpret_cast<const char*>(&info), sizeof(info));
  std::string row(stride, '\0');
  for (int x = 0; x < width; ++x)
    row[x * 3 + 2] = static_cast<char>(red);
  for (int y = 0; y < height; ++y)
    data += row;
  return data;
}

download::FakeResponse Status(uint32_t status) {
  download::FakeResponse response;
  response.status = status;
  response.body = "missing";
  return response;
}

download::FakeResponse OpenFails() {
  download::FakeResponse response;
  response.open_fails = true;
  return response;
}

// A server whose every answer stalls after its headers: reads wait on the
// client's stop handle, as WinINet's do, and fail once it is signalled.
class StallingHttp : public download::HttpClientFactory {
 public:
  std::unique_ptr<download::HttpClient> CreateClient() override {
    return std::make_unique<Client>(this);
  }
  // How long each read waited before it was ended, in milliseconds.
  std::vector<DWORD> waits;

 private:
  class Response : public download::HttpResponse {
   public:
    Response(StallingHttp* owner, HANDLE stop) : owner_(owner), stop_(stop) {}
    bool Read(void*, uint32_t, uint32_t* read) override {
      const DWORD start = ::GetTickCount();
      ::WaitForSingleObject(stop_, 30000);
      owner_->waits.push_back(::GetTickCount() - start);
      *read = 0;
      ::SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
      return false;
    }
    bool QueryStatus(uint32_t* status) override {
      *status = 200;
      return true;
    }
    bool QueryContentLength(uint32_t*) override { return false; }
    bool QueryHeader(const std::string&, std::string*) override { return false; }

   private:
    StallingHttp* owner_;
    HANDLE stop_;
  };
  class Client : public download::HttpClient {
   public:
    explicit Client(StallingHttp* owner) : owner_(owner) {}
    bool OpenSession(HANDLE stop_event) override {
      stop_ = stop_event;
      return true;
    }
    std::unique_ptr<download::HttpResponse> OpenUrl(const std::wstring&, const std::wstring&,
                                                    download::OpenUrlDetails*) override {
      return std::make_unique<Response>(owner_, stop_);
    }

   private:
    StallingHttp* owner_;
    HANDLE stop_ = nullptr;
  };
};

class SlideSetTest : public testing::Test {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

  // Runs a set to its end against `http`.
  void RunToEnd(SlideSet& slides, const std::wstring& base) {
    ASSERT_TRUE(slides.Start(base));
    for (int i = 0; i < 1000 && slides.running(); ++i)
      ::Sleep(10);
    ASSERT_FALSE(slides.running());
  }

  static std::vector<std::wstring> Urls(const download::FakeHttp& http) {
    std::vector<std::wstring> urls;
    for (const download::FakeRequest& request : http.requests())
      urls.push_back(request.url);
    return urls;
  }

  ULONG_PTR token_ = 0;
};

TEST(SlideNamesTest, TwoDigitsBelowTenThenPlainDecimal) {
  EXPECT_EQ(SlideName(1), L"01.jpg");
  EXPECT_EQ(SlideName(9), L"09.jpg");
  EXPECT_EQ(SlideName(10), L"10.jpg");
  EXPECT_EQ(SlideName(123), L"123.jpg");
  EXPECT_EQ(SlideUrl(L"https://cdn/s/", 0), L"https://cdn/s/x2/01.jpg");
  EXPECT_EQ(SlideUrl(L"https://cdn/s/", 9), L"https://cdn/s/x2/10.jpg");
}

TEST(SlideNamesTest, BrandUrlOrTheDeprecatedLanguageFolder) {
  base::ScopedLogCapture log;
  distribution::BrandInfo brand;
  brand.default_language = "tr";
  brand.slide_url = "https://cdn/brand/";
  EXPECT_EQ(SlideBaseUrl(brand), L"https://cdn/brand/");
  EXPECT_TRUE(log.records().empty());

  brand.slide_url.clear();
  EXPECT_EQ(SlideBaseUrl(brand),
            std::wstring(L"https://") + TX_CDN_HOST + L"/browser/installer/tr/");
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].severity, base::Severity::kError);
  EXPECT_STREQ(log.records()[0].function, "GetInstallerSlideUrl");
  EXPECT_EQ(log.records()[0].message,
            "Deprecated. Use brand package for setting \"slide_url\" in \"install\" section");
}

TEST_F(SlideSetTest, FourSlidesThenTenRequestsForTheMissingFifth) {
  download::FakeHttp http([](const download::FakeRequest& request, size_t) {
    for (char n = '1'; n <= '4'; ++n) {
      if (request.url == std::wstring(L"https://cdn/s/x2/0") + wchar_t(n) + L".jpg")
        return download::ServeBody(Bmp(8, 4, static_cast<BYTE>((n - '0') * 50)), request);
    }
    return Status(404);
  });
  // At 150 % the double-resolution 8 x 4 picture becomes 6 x 3.
  SlideSet slides(Scaler(1.5), &http);
  RunToEnd(slides, L"https://cdn/s/");

  std::vector<std::wstring> urls = Urls(http);
  ASSERT_EQ(urls.size(), 14u);
  EXPECT_EQ(urls[0], L"https://cdn/s/x2/01.jpg");
  EXPECT_EQ(urls[3], L"https://cdn/s/x2/04.jpg");
  EXPECT_EQ(std::count(urls.begin(), urls.end(), L"https://cdn/s/x2/05.jpg"), 10);
  ASSERT_EQ(slides.count(), 4u);

  // The index wraps: the sixth slide is the second.
  std::unique_ptr<Gdiplus::Bitmap> sixth = slides.Slide(5);
  ASSERT_TRUE(sixth);
  EXPECT_EQ(sixth->GetWidth(), 6u);
  EXPECT_EQ(sixth->GetHeight(), 3u);
  Gdiplus::Color colour;
  ASSERT_EQ(sixth->GetPixel(2, 1, &colour), Gdiplus::Ok);
  EXPECT_EQ(colour.GetRed(), 100);

  slides.Stop();
  EXPECT_EQ(slides.count(), 0u);
  EXPECT_FALSE(slides.Slide(0));
}

TEST_F(SlideSetTest, NonImageIsLoggedAndCountsAsAFailureBesideFailedFetches) {
  // 01 arrives after nine failed fetches (the count starts again), 02 is
  // not a picture.
  download::FakeHttp http([](const download::FakeRequest& request, size_t index) {
    if (request.url.ends_with(L"01.jpg")) {
      if (index < 9)
        return OpenFails();
      return download::ServeBody(Bmp(4, 4, 200), request);
    }
    return download::ServeBody("<html>not a picture</html>", request);
  });
  base::ScopedLogCapture log;
  SlideSet slides(Scaler(1.0), &http);
  RunToEnd(slides, L"https://cdn/s/");

  std::vector<std::wstring> urls = Urls(http);
  EXPECT_EQ(urls.size(), 20u);
  EXPECT_EQ(std::count(urls.begin(), urls.end(), L"https://cdn/s/x2/02.jpg"), 10);
  EXPECT_EQ(slides.count(), 1u);
  const std::string warning =
      "Failed to load a background slide bitmap from data downloaded from "
      "https://cdn/s/x2/02.jpg";
  size_t warnings = 0;
  for (const base::LogRecord& record : log.records()) {
    if (record.message == warning) {
      ++warnings;
      EXPECT_EQ(record.severity, base::Severity::kWarning);
      EXPECT_STREQ(record.function, "DownloadImage");
    }
  }
  EXPECT_EQ(warnings, 10u);
}

TEST_F(SlideSetTest, AStalledDownloadEndsAfterFiveSecondsAndAStopEndsItAtOnce) {
  StallingHttp http;
  SlideSet slides(Scaler(1.0), &http);
  ASSERT_TRUE(slides.Start(L"https://cdn/s/"));
  for (int i = 0; i < 1000 && http.waits.empty(); ++i)
    ::Sleep(10);
  ASSERT_EQ(http.waits.size(), 1u);
  EXPECT_GE(http.waits[0], 4500u);
  EXPECT_LE(http.waits[0], 6000u);
  EXPECT_TRUE(slides.running());  // One failure of ten.

  ::Sleep(500);  // Into the second download.
  const DWORD start = ::GetTickCount();
  slides.Stop();
  EXPECT_LT(::GetTickCount() - start, 1000u);
  EXPECT_FALSE(slides.running());
  ASSERT_EQ(http.waits.size(), 2u);
  EXPECT_LT(http.waits[1], 1500u);
}

}  // namespace
}  // namespace ui
