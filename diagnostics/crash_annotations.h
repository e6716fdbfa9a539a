#ifndef DIAGNOSTICS_CRASH_ANNOTATIONS_H_
#define DIAGNOSTICS_CRASH_ANNOTATIONS_H_

#include <windows.h>

#include <map>
#include <string>

namespace diagnostics {

// Key-value pairs that go with a crash report of this process. The crash
// reporter reads them when it writes a report. May be used from any thread.
class CrashAnnotations {
 public:
  // An empty key or value is not stored; a key set twice keeps the last value.
  void Set(const std::string& key, const std::string& value);
  // Empty when the key is absent.
  std::string Get(const std::string& key) const;
  std::map<std::string, std::string> Snapshot() const;
  // Snapshot without waiting: false when a writer holds the store, as the
  // crashing thread itself may.
  bool TrySnapshot(std::map<std::string, std::string>* out) const;

 private:
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  std::map<std::string, std::string> values_;  // Guarded by lock_.
};

// The process-wide store.
CrashAnnotations& GetCrashAnnotations();

}  // namespace diagnostics

#endif  // DIAGNOSTICS_CRASH_ANNOTATIONS_H_
