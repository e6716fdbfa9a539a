#include "diagnostics/crash_reporter.h"

#include <objbase.h>
#include <dbghelp.h>

#include <map>
#include <memory>
#include <vector>

#include "base/exception_guard.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/system_library.h"
#include "base/test_hooks.h"
#include "build_config.h"
#include "diagnostics/crash_upload_url.h"
#include "diagnostics/crashpad_info_stream.h"
#include "diagnostics/http_body_stream.h"
#include "base/logging.h"
#include "diagnostics/multipart_body.h"
#include "diagnostics/winhttp_transport.h"

namespace diagnostics {
namespace {

constexpr char kFileField[] = "upload_file_minidump";


CrashReporter* g_current = nullptr;

// The annotations as they are now. The crashing thread might be the one that
// holds the store's lock; then the report goes without them rather than hang.
std::map<std::string, std::string> AnnotationsForReport(const CrashAnnotations& store) {
  std::map<std::string, std::string> annotations;
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (store.TrySnapshot(&annotations))
      return annotations;
    ::Sleep(10);
  }
  return annotations;
}

struct SendCall {
  CrashReporter* reporter;
  const std::wstring* path;
  bool sent;
};

void CallSendReport(void* context) {
  auto* call = static_cast<SendCall*>(context);
  call->sent = call->reporter->SendReport(*call->path);
}

}  // namespace

CrashReporter::Settings CrashReporter::DefaultSettings() {
  Settings settings;
  settings.temp_dir = base::GetTempDirectory();
  settings.upload_host = base::NarrowLow8(TX_CRASH_HOST);
#if defined(TX_TEST_HOOKS)
  settings.upload_timeout_ms =
      base::TestHookMilliseconds(L"TX_TEST_CRASH_UPLOAD_TIMEOUT_MS", settings.upload_timeout_ms);
#endif
  settings.other_thread_wait_ms = settings.upload_timeout_ms + kReportAllowanceMs;
  return settings;
}

CrashReporter::CrashReporter(CrashAnnotations* annotations, Settings settings)
    : annotations_(annotations), settings_(std::move(settings)) {
  dbghelp_ = base::LoadSystemLibrary(L"dbghelp.dll");
  if (dbghelp_) {
    write_dump_ = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp_, "MiniDumpWriteDump")));
  }
  if (FAILED(::CoCreateGuid(&report_guid_)))
    report_guid_ = GUID{};
  const std::string report_id = GuidText(report_guid_);
  dump_path_ = settings_.temp_dir + L"\\" + base::WidenBytes(report_id) + L".dmp";

  SetAnnotation("uid", GuidText(client_id_));
  SetAnnotation("report_id", report_id);
  SetAnnotation("ver", TX_INSTALLER_VERSION);
  SetAnnotation("plat", "Win32");
  SetAnnotation("prod", "Tarnix");
  SetAnnotation("gzip_enabled", compress_upload_ ? "true" : "false");

  if (write_dump_ && settings_.install_filter) {
    previous_filter_ = ::SetUnhandledExceptionFilter(&CrashReporter::Filter);
    filter_installed_ = true;
    // The filter may run on any thread from now on.
    __atomic_store_n(&g_current, this, __ATOMIC_RELEASE);
  }
}

CrashReporter::~CrashReporter() {
  if (filter_installed_) {
    ::SetUnhandledExceptionFilter(previous_filter_);
    __atomic_store_n(&g_current, nullptr, __ATOMIC_RELEASE);
  }
  if (dbghelp_)
    ::FreeLibrary(dbghelp_);
}

CrashReporter* CrashReporter::Current() { return __atomic_load_n(&g_current, __ATOMIC_ACQUIRE); }

void CrashReporter::SetClientId(const std::string& user_id) {
  std::wstring text = base::WidenBytes(user_id);
  if (text.empty() || text.front() != L'{')
    text = L"{" + text + L"}";
  if (FAILED(::CLSIDFromString(text.c_str(), &client_id_))) {
    LOG_AS("Impl", WARNING) << "uid not found, use empty";
    client_id_ = GUID{};
  }
  SetAnnotation("uid", GuidText(client_id_));
}

void CrashReporter::SetAnnotation(const std::string& key, const std::string& value) {
  if (!key.empty() && !value.empty())
    annotations_->Set(key, value);
}

bool CrashReporter::WriteMinidump(EXCEPTION_POINTERS* exception) {
  if (!write_dump_)
    return false;
  base::ScopedHandle file(::CreateFileW(dump_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) {
    PLOG(ERROR) << "CreateFile " << dump_path_;
    return false;
  }
  std::string stream =
      BuildCrashpadInfoStream(report_guid_, client_id_, AnnotationsForReport(*annotations_));
  MINIDUMP_USER_STREAM user_stream = {kCrashpadInfoStreamType,
                                      static_cast<ULONG>(stream.size()), stream.data()};
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {1, &user_stream};
  MINIDUMP_EXCEPTION_INFORMATION crashing = {::GetCurrentThreadId(), exception, FALSE};
  if (!write_dump_(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(),
                   MiniDumpWithIndirectlyReferencedMemory,
                   exception ? &crashing : nullptr, &user_streams, nullptr)) {
    PLOG(ERROR) << "MiniDumpWriteDump";
    return false;
  }
  return FixCrashpadInfoStreamInDump(file.get());
}

bool CrashReporter::SendReport(const std::wstring& path) {
  base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) {
    PLOG(ERROR) << "CreateFile " << path;
    return false;
  }
  const std::map<std::string, std::string> annotations = AnnotationsForReport(*annotations_);
  MultipartBody body(MultipartBody::MakeBoundary());
  for (const auto& [key, value] : annotations) {
    if (key == kFileField) {
      LOG(WARNING) << "reserved key " << key << ", discarding value " << value;
      continue;
    }
    body.SetFormField(key, value);
  }
  auto uid = annotations.find("uid");
  body.SetFile(kFileField, (uid == annotations.end() ? std::string() : uid->second) + ".dmp",
               "application/octet-stream", std::make_unique<FileBodyStream>(std::move(file)));

  HttpRequest request;
  request.method = "POST";
  request.url = CrashUploadUrl(settings_.upload_host, annotations);
  request.timeout_ms = settings_.upload_timeout_ms;
  request.headers.emplace_back("Content-Type", body.ContentType());
  std::unique_ptr<HttpBodyStream> stream = body.TakeStream();
  if (compress_upload_) {
    request.headers.emplace_back("Content-Encoding", "gzip");
    stream = std::make_unique<GzipBodyStream>(std::move(stream));
  }
  request.body = stream.get();
  std::string answer;
  if (!SendHttpRequest(request, &answer))
    return false;
  stream.reset();  // Closes the dump.
  LOG(INFO) << "Crash report sent: " << answer;
  if (!::DeleteFileW(path.c_str()))
    PLOG(WARNING) << "DeleteFile " << path;
  return true;
}

LONG CrashReporter::HandleException(EXCEPTION_POINTERS* exception) {
  const DWORD thread = ::GetCurrentThreadId();
  if (::InterlockedCompareExchange(&handling_, 1, 0) == 0) {
    handler_thread_ = thread;
    const DWORD code = exception && exception->ExceptionRecord
                           ? exception->ExceptionRecord->ExceptionCode
                           : 0;
    LOG(ERROR) << "Unhandled exception 0x" << base::HexPadded(code, 8) << ", writing "
               << dump_path_;
    const bool written = WriteMinidump(exception);
    if (written)
      LOG(INFO) << "Crash dump written";
    if (written && upload_enabled_) {
      // A fault or a missing library inside the upload must not become a
      // second crash inside this filter: the previous filter still gets its
      // turn, and the dump stays for the next look.
      SendCall call = {this, &dump_path_, false};
      base::GuardedCallException failure;
      if (!base::CallWithExceptionGuard(&CallSendReport, &call, &failure)) {
        LOG(ERROR) << "crash report upload ended by exception 0x"
                   << base::HexPadded(failure.code, 8);
      }
    }
    ::InterlockedExchange(&handling_, 2);
  } else if (handler_thread_ != thread) {
    // A crash inside the report itself comes back on the same thread and
    // goes straight on; any other thread waits for the report to be done,
    // but not for good: the report may wait on a lock (the heap's, the
    // loader's) that this thread took before it crashed.
    const ULONGLONG deadline = ::GetTickCount64() + settings_.other_thread_wait_ms;
    while (::InterlockedCompareExchange(&handling_, 2, 2) != 2 && ::GetTickCount64() < deadline)
      ::Sleep(50);
  }
  return previous_filter_ ? previous_filter_(exception) : EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI CrashReporter::Filter(EXCEPTION_POINTERS* exception) {
  CrashReporter* reporter = Current();
  return reporter ? reporter->HandleException(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace diagnostics
