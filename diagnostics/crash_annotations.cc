#include "diagnostics/crash_annotations.h"

namespace diagnostics {

void CrashAnnotations::Set(const std::string& key, const std::string& value) {
  if (key.empty() || value.empty())
    return;
  ::AcquireSRWLockExclusive(&lock_);
  values_[key] = value;
  ::ReleaseSRWLockExclusive(&lock_);
}

std::string CrashAnnotations::Get(const std::string& key) const {
  ::AcquireSRWLockShared(&lock_);
  auto it = values_.find(key);
  std::string value = it == values_.end() ? std::string() : it->second;
  ::ReleaseSRWLockShared(&lock_);
  return value;
}

std::map<std::string, std::string> CrashAnnotations::Snapshot() const {
  ::AcquireSRWLockShared(&lock_);
  std::map<std::string, std::string> copy = values_;
  ::ReleaseSRWLockShared(&lock_);
  return copy;
}

bool CrashAnnotations::TrySnapshot(std::map<std::string, std::string>* out) const {
  if (!::TryAcquireSRWLockShared(&lock_))
    return false;
  *out = values_;
  ::ReleaseSRWLockShared(&lock_);
  return true;
}

CrashAnnotations& GetCrashAnnotations() {
  static CrashAnnotations annotations;
  return annotations;
}

}  // namespace diagnostics
