#ifndef STATS_STAT_REPORTER_H_
#define STATS_STAT_REPORTER_H_

#include <string>

#include "stats/install_event.h"

namespace stats {

// Sends installer events with the installation's base parameters. Sending
// never fails its caller and never blocks it. May be called from any thread.
class StatReporter {
 public:
  virtual ~StatReporter() = default;
  virtual void SendEvent(const InstallEvent& event) = 0;
  // Sets one base parameter sent with every later event.
  virtual void SetParam(const std::string& key, const std::wstring& value) = 0;
  // The browser version installed before this run; empty for a first install.
  virtual std::wstring GetOldVersion() { return {}; }
};

// Sends `event` when there is a reporter; the event builders' common step.
inline void SendIfReporting(StatReporter* reporter, const InstallEvent& event) {
  if (reporter)
    reporter->SendEvent(event);
}

}  // namespace stats

#endif  // STATS_STAT_REPORTER_H_
