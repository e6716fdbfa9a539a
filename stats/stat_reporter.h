#ifndef STATS_STAT_REPORTER_H_
#define STATS_STAT_REPORTER_H_

#include <memory>
#include <string>

#include "stats/install_event.h"
#include "stats/stat_request_queue.h"

namespace stats {

class InstallStatSender;
class StatSenderSystem;

// What a StatReporter talks to; tests and the benchmark replace parts.
struct StatReporterEnvironment {
  std::wstring host;                          // Empty: the statistics host of the build.
  StatRequestQueue::SendFunction send;        // Empty: SendUrl.
  StatSenderSystem* system = nullptr;         // Null: the real registry and executable.
};

// Sends installer events with the installation's base parameters, one
// request per event on a background thread. Sending never fails its caller
// and never blocks it. May be called from any thread. The installation run
// owns one for its whole life.
class StatReporter {
 public:
  // `saved_params`: the "install_stat" value left by an earlier process,
  // empty when there is none. `user_id`: the user ID, braced or not.
  StatReporter(const std::wstring& saved_params, const std::wstring& user_id,
               const StatReporterEnvironment& environment = {});
  // Stops the queue (the request being sent finishes, the queued ones are
  // dropped), then removes the "install_stat" value.
  virtual ~StatReporter();
  StatReporter(const StatReporter&) = delete;
  StatReporter& operator=(const StatReporter&) = delete;

  // A progress event, to the "extended_stat" counter.
  virtual void SendEvent(const InstallEvent& event);
  // A dialog click, to the reinstall-dialog counter.
  virtual void SendDialogEvent(const InstallEvent& event);
  // Sets one base parameter sent with every later event.
  virtual void SetParam(const std::string& key, const std::wstring& value);
  // The browser version installed before this run; empty for a first install.
  virtual std::wstring GetOldVersion();
  // Stores the base parameters as "install_stat" for the elevated installer.
  virtual void SaveParams();
  // Waits up to `timeout_ms` for the events queued so far to be sent; true
  // when they were.
  virtual bool Flush(DWORD timeout_ms);

 protected:
  // For test doubles: no sender, no queue, no thread; every operation does
  // nothing until overridden.
  StatReporter();

 private:
  std::unique_ptr<InstallStatSender> sender_;
  std::unique_ptr<StatRequestQueue> queue_;
};

// Sends `event` when there is a reporter; the event builders' common step.
inline void SendIfReporting(StatReporter* reporter, const InstallEvent& event) {
  if (reporter)
    reporter->SendEvent(event);
}

}  // namespace stats

#endif  // STATS_STAT_REPORTER_H_
