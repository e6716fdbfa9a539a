#ifndef DIAGNOSTICS_CRASH_REPORTER_H_
#define DIAGNOSTICS_CRASH_REPORTER_H_

#include <windows.h>
#include <dbghelp.h>

#include <string>

#include "diagnostics/crash_annotations.h"

namespace diagnostics {

// Writes a minidump of this process when it crashes, with the crash
// annotations in a Crashpad information stream, and uploads it at once as a
// gzip-compressed multipart POST to the crash-reports host. One per process;
// the entry creates it before anything else.
class CrashReporter {
 public:
  // Beyond the upload's limit: time for the dump and the report's end.
  static constexpr DWORD kReportAllowanceMs = 30000;

  struct Settings {
    std::wstring temp_dir;      // With its trailing separator.
    std::string upload_host;    // Host, optionally with ":port".
    DWORD upload_timeout_ms = 60000;
    // How long another crashing thread waits for the first one's report: the
    // report may itself be stuck on a lock the waiting thread holds.
    DWORD other_thread_wait_ms = upload_timeout_ms + kReportAllowanceMs;
    bool install_filter = true;  // False in unit tests.
  };
  // The temporary directory, the configured crash-reports host, 60 seconds.
  static Settings DefaultSettings();

  // Sets the construction-time annotations in `annotations` (not owned; it
  // must outlive the reporter) and, when MiniDumpWriteDump is available,
  // becomes the unhandled-exception filter, keeping the previous one. The
  // client id stays zero until SetClientId.
  explicit CrashReporter(CrashAnnotations* annotations, Settings settings = DefaultSettings());
  // Restores the previous filter.
  ~CrashReporter();
  CrashReporter(const CrashReporter&) = delete;
  CrashReporter& operator=(const CrashReporter&) = delete;

  // The installed reporter, or null. May be called from any thread.
  static CrashReporter* Current();

  // Takes the user ID as the client id (braces are added when missing). An
  // ID that is not a GUID is logged and gives the zero GUID. Call once the
  // log has started, from the entry thread.
  void SetClientId(const std::string& user_id);

  // Stores the pair when both are non-empty; a later value replaces the
  // earlier one. May be called from any thread.
  void SetAnnotation(const std::string& key, const std::string& value);

  // Writes the dump to dump_path(); never replaces an existing file. False
  // when the file exists, the dump writer is missing or a step fails.
  bool WriteMinidump(EXCEPTION_POINTERS* exception);

  // Uploads the dump at `path` with the annotations; deletes it only after
  // the server answered 200. False when it was not sent or not accepted.
  bool SendReport(const std::wstring& path);

  // What the exception filter does: dump, upload, then the previous filter's
  // answer (EXCEPTION_CONTINUE_SEARCH without one). Runs once per process;
  // a second crashing thread waits for the first one's report, up to
  // `other_thread_wait_ms`.
  LONG HandleException(EXCEPTION_POINTERS* exception);

  const std::wstring& dump_path() const { return dump_path_; }

 private:
  using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                  PMINIDUMP_EXCEPTION_INFORMATION,
                                                  PMINIDUMP_USER_STREAM_INFORMATION,
                                                  PMINIDUMP_CALLBACK_INFORMATION);

  static LONG WINAPI Filter(EXCEPTION_POINTERS* exception);

  CrashAnnotations* annotations_;
  Settings settings_;
  std::wstring dump_path_;
  HMODULE dbghelp_ = nullptr;
  MiniDumpWriteDumpFunction write_dump_ = nullptr;
  GUID client_id_ = {};
  GUID report_guid_ = {};
  bool upload_enabled_ = true;
  bool compress_upload_ = true;
  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  bool filter_installed_ = false;
  volatile LONG handling_ = 0;  // 0 idle, 1 reporting, 2 done.
  volatile DWORD handler_thread_ = 0;
};

}  // namespace diagnostics

#endif  // DIAGNOSTICS_CRASH_REPORTER_H_
