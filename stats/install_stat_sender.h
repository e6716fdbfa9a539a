#ifndef STATS_INSTALL_STAT_SENDER_H_
#define STATS_INSTALL_STAT_SENDER_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "stats/install_event.h"

namespace stats {

// Which statistics counter a request goes to. The values are the selectors
// the statistics backend knows the counters by.
enum class StatPath {
  kExtendedStat = 0,      // Progress events.
  kReinstallDialog = 1,   // Dialog clicks.
  kPfMigration = 2,
  kZomboWindow = 3,
};

// Where the sender's base parameters come from and where they are kept
// between processes. Tests replace it so that they never touch the
// installer's registry key.
class StatSenderSystem {
 public:
  virtual ~StatSenderSystem() = default;
  // A string value under the installer's key; empty when absent.
  virtual std::wstring ReadValue(const std::wstring& name);
  virtual void StoreValue(const std::wstring& name, const std::wstring& value);
  virtual void RemoveValue(const std::wstring& name);
  // Whether an event object of this name exists.
  virtual bool NamedEventExists(const std::wstring& name);
  // The file version of the running executable, "0.0.0.0" when unknown.
  virtual std::string OwnFileVersion();
};

// The real registry, kernel objects and executable.
StatSenderSystem* DefaultStatSenderSystem();

// Keeps the base parameters that every statistics request carries and turns
// events into request URLs. SetParam, GetOldVersion, GetQueryUrl and
// SaveParams may be called from any thread.
class InstallStatSender {
 public:
  // Restores the parameters saved by an earlier process from `saved_text`
  // (the "install_stat" value, may be empty), then sets the parameters this
  // process knows. `user_id` may be braced. `host` is the statistics host
  // with an optional port. `system` is not owned; null means the real one.
  InstallStatSender(const std::wstring& saved_text, const std::wstring& user_id,
                    std::wstring host, StatSenderSystem* system);
  // Removes the "install_stat" value: the parameters are only handed on
  // while this process works on the installation.
  ~InstallStatSender();
  InstallStatSender(const InstallStatSender&) = delete;
  InstallStatSender& operator=(const InstallStatSender&) = delete;

  void SetParam(const std::string& key, const std::wstring& value);
  // The "old_ver" parameter, empty when there is none.
  std::wstring GetOldVersion() const;
  // A copy of the base parameters.
  InstallEvent params() const;

  // The request URL for `event` on counter `path`; logs the parameters.
  std::wstring GetQueryUrl(const InstallEvent& event, StatPath path) const;

  // Stores the base parameters as "install_stat" for a second installer
  // process working on the same installation.
  void SaveParams();

 private:
  const std::wstring host_;
  StatSenderSystem* const system_;
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  InstallEvent params_;  // Guarded by lock_.
};

// The saved-text form of `params`: key, line feed, value, line feed, in key
// order. Line feeds inside a value are written as spaces so that they cannot
// shift the pairs read back after them.
std::wstring SavedParamsText(const InstallEvent& params);
// The parameters in `text`. Lines alternate key and value; an empty key line
// is skipped and a key without a value line is dropped.
InstallEvent ParseSavedParams(const std::wstring& text);

// The name of the event that a successfully launched installer left for the
// command line `command_line`; empty when the command line is too short to
// name one.
std::wstring LaunchedEventName(const std::wstring& command_line);

// The request URL for the parameters `params` (base and event merged) on
// counter `path` of `host`.
std::wstring BuildStatUrl(const std::wstring& host, const InstallEvent& params, StatPath path);

}  // namespace stats

#endif  // STATS_INSTALL_STAT_SENDER_H_
