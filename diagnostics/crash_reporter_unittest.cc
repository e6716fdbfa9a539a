#include "diagnostics/crash_reporter.h"

#include <winsock2.h>
#include <process.h>

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

// A loopback port that takes connections into its backlog and never answers.
class StalledListener {
 public:
  StalledListener() {
    WSADATA data;
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (socket_ != INVALID_SOCKET &&
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::listen(socket_, 4) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~StalledListener() {
    if (socket_ != INVALID_SOCKET)
      ::closesocket(socket_);
    if (started_)
      ::WSACleanup();
  }
  int port() const { return port_; }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST_F(CrashReporterTest, AnotherCrashingThreadWaitsForTheReportOnlySoLong) {
  StalledListener listener;
  ASSERT_NE(listener.port(), 0);
  settings_.upload_host = "127.0.0.1:" + std::to_string(listener.port());
  settings_.upload_timeout_ms = 6000;
  settings_.other_thread_wait_ms = 500;
  CrashReporter reporter(&annotations_, settings_);
  // The first crash: its upload waits on the silent host.
  HANDLE first = reinterpret_cast<HANDLE>(::_beginthreadex(
      nullptr, 0,
      [](void* reporter) -> unsigned {
        static_cast<CrashReporter*>(reporter)->HandleException(nullptr);
        return 0;
      },
      &reporter, 0, nullptr));
  ASSERT_NE(first, nullptr);
  const ULONGLONG give_up = ::GetTickCount64() + 20000;
  while (!base::FileExists(reporter.dump_path()) && ::GetTickCount64() < give_up)
    ::Sleep(20);
  ASSERT_TRUE(base::FileExists(reporter.dump_path()));
  // A second crash on this thread goes on after its bound, while the first
  // report is still under way.
  const ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(reporter.HandleException(nullptr), EXCEPTION_CONTINUE_SEARCH);
  const ULONGLONG waited = ::GetTickCount64() - started;
  EXPECT_GE(waited, 450u);
  EXPECT_LT(waited, 3000u);
  EXPECT_EQ(::WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(::WaitForSingleObject(first, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  ::CloseHandle(first);
}

}  // namespace
}  // namespace diagnostics
