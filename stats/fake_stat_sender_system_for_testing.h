#ifndef STATS_FAKE_STAT_SENDER_SYSTEM_FOR_TESTING_H_
#define STATS_FAKE_STAT_SENDER_SYSTEM_FOR_TESTING_H_

#include <map>
#include <string>

#include "stats/install_stat_sender.h"

namespace stats {

// Registry values in memory and a fixed own version; named events are asked
// of the real system unless `probe_events` is off.
class FakeStatSenderSystem : public StatSenderSystem {
 public:
  std::wstring ReadValue(const std::wstring& name) override {
    auto found = values.find(name);
    return found != values.end() ? found->second : std::wstring();
  }
  void StoreValue(const std::wstring& name, const std::wstring& value) override {
    values[name] = value;
  }
  void RemoveValue(const std::wstring& name) override { values.erase(name); }
  bool NamedEventExists(const std::wstring& name) override {
    return probe_events && StatSenderSystem::NamedEventExists(name);
  }
  std::string OwnFileVersion() override { return version; }

  std::map<std::wstring, std::wstring> values;
  std::string version = "21.2.2.102";
  bool probe_events = true;
};

}  // namespace stats

#endif  // STATS_FAKE_STAT_SENDER_SYSTEM_FOR_TESTING_H_
