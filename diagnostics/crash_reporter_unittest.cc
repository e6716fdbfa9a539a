#include "diagnostics/crash_reporter.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "base/file_util.h"
#include "diagnostics/crashpad_info_stream.h"
#include "base/log_capture_for_testing.h"
#include "gtest/gtest.h"

namespace diagnostics {
namespace {

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32At(const std::string& data, size_t offset) {
  uint32_t value = 0;
  if (offset + 4 <= data.size())
    memcpy(&value, data.data() + offset, 4);
  return value;
}

class CrashReporterTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"crt");
    ASSERT_FALSE(dir_.empty());
    settings_.temp_dir = dir_ + L"\\";
    settings_.upload_host = "localhost:1";  // Nothing listens there.
    settings_.upload_timeout_ms = 5000;
    settings_.install_filter = false;
  }

  std::wstring dir_;
  CrashReporter::Settings settings_;
  CrashAnnotations annotations_;
  base::ScopedLogCapture log_;
};

TEST_F(CrashReporterTest, ConstructionAnnotationsAndClientId) {
  CrashReporter reporter(&annotations_, settings_);
  EXPECT_EQ(annotations_.Get("uid"), "00000000-0000-0000-0000-000000000000");
  const std::string report_id = annotations_.Get("report_id");
  EXPECT_EQ(report_id.size(), 36u);
  EXPECT_EQ(reporter.dump_path(), dir_ + L"\\\\" + std::wstring(report_id.begin(),
                                                                  report_id.end()) + L".dmp");
  EXPECT_EQ(annotations_.Get("ver"), "21.2.2.102");
  EXPECT_EQ(annotations_.Get("plat"), "Win32");
  EXPECT_EQ(annotations_.Get("prod"), "Tarnix");
  EXPECT_EQ(annotations_.Get("gzip_enabled"), "true");
  EXPECT_EQ(CrashReporter::Current(), nullptr);  // No filter in this test.

  reporter.SetClientId("5A4B3C2D-1E0F-4A5B-8C7D-6E5F4A3B2C1D");
  EXPECT_EQ(annotations_.Get("uid"), "5A4B3C2D-1E0F-4A5B-8C7D-6E5F4A3B2C1D");
  reporter.SetClientId("{5a4b3c2d-1e0f-4a5b-8c7d-6e5f4a3b2c1e}");
  EXPECT_EQ(annotations_.Get("uid"), "5A4B3C2D-1E0F-4A5B-8C7D-6E5F4A3B2C1E");
  EXPECT_TRUE(log_.messages().empty());

  for (const char* bad : {"", "not a guid"}) {
    log_.Clear();
    reporter.SetClientId(bad);
    EXPECT_EQ(annotations_.Get("uid"), "00000000-0000-0000-0000-000000000000");
    ASSERT_EQ(log_.messages().size(), 1u);
    EXPECT_EQ(log_.messages()[0], "uid not found, use empty");
    EXPECT_STREQ(log_.records()[0].function, "Impl");
  }
  reporter.SetAnnotation("", "x");
  reporter.SetAnnotation("empty", "");
  EXPECT_EQ(annotations_.Snapshot().count(""), 0u);
  EXPECT_EQ(annotations_.Snapshot().count("empty"), 0u);
}

TEST_F(CrashReporterTest, DumpCarriesRelocatedAnnotationsAndIsNeverOverwritten) {
  CrashReporter reporter(&annotations_, settings_);
  reporter.SetAnnotation("brand_id", "tarnix");
  ASSERT_TRUE(reporter.WriteMinidump(nullptr));
  const std::string dump = ReadFile(reporter.dump_path());
  ASSERT_EQ(dump.substr(0, 4), "MDMP");

  // Find the information stream through the directory, then every string
  // through the file offsets it now holds.
  std::map<std::string, std::string> found;
  const uint32_t streams = U32At(dump, 8), directory = U32At(dump, 12);
  bool seen = false;
  for (uint32_t i = 0; i < streams; ++i) {
    const uint32_t entry = directory + 12 * i;
    if (U32At(dump, entry) != kCrashpadInfoStreamType)
      continue;
    seen = true;
    const uint32_t stream = U32At(dump, entry + 8);
    const uint32_t dictionary = U32At(dump, stream + 40);
    for (uint32_t e = 0; e < U32At(dump, dictionary); ++e) {
      auto text = [&](uint32_t at) { return dump.substr(at + 4, U32At(dump, at)); };
      found[text(U32At(dump, dictionary + 4 + 8 * e))] =
          text(U32At(dump, dictionary + 8 + 8 * e));
    }
  }
  ASSERT_TRUE(seen);
  EXPECT_EQ(found, annotations_.Snapshot());

  // Same report id: the existing file is kept as it is.
  EXPECT_FALSE(reporter.WriteMinidump(nullptr));
  EXPECT_EQ(ReadFile(reporter.dump_path()), dump);
}

TEST_F(CrashReporterTest, FailedUploadKeepsTheDump) {
  CrashReporter reporter(&annotations_, settings_);
  ASSERT_TRUE(reporter.WriteMinidump(nullptr));
  EXPECT_FALSE(reporter.SendReport(reporter.dump_path()));
  EXPECT_TRUE(base::FileExists(reporter.dump_path()));
  bool logged = false;
  std::string all;
  for (const std::string& message : log_.messages()) {
    // 0x2efd: cannot connect; the system text, or the note that it has none.
    logged |= message.rfind("WinHttpSendRequest: ", 0) == 0 &&
              message.find("0x2efd") != std::string::npos;
    all += message + "\n";
  }
  EXPECT_TRUE(logged) << all;
}

}  // namespace
}  // namespace diagnostics
