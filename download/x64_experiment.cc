#include "download/x64_experiment.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cerrno>
#include <cstdlib>

#include "base/os_facts.h"
#include "base/string_conv.h"
#include "base/logging.h"
#include "distribution/distrib_info_params.h"
#include "base/registry_store.h"

namespace download {

namespace {

constexpr char kExperimentName[] = "try_x64";
constexpr wchar_t kStateValue[] = L"try_x64";

enum State { kGroupX86 = 0, kGroupX64 = 1, kDisabled = 2 };

}  // namespace

X64Experiment::X64Experiment(bool program_files_installation, base::OsFacts* os_facts)
    : program_files_installation_(program_files_installation), os_facts_(os_facts) {}

SetupArch X64Experiment::AdjustDownloadUrl(const distribution::DistribInfoParams& params) {
  choice_ = SetupArch::kDefault;
  if (IsProgramFilesInstallation() || !IsNative64Bit())
    return choice_;
  int state = 0;
  if (ReadState(&state)) {
    if (state == kGroupX86) {
      choice_ = SetupArch::kX86;
    } else if (state == kGroupX64) {
      choice_ = SetupArch::kX64;
    } else {
      LOG(INFO) << "Experiment " << kExperimentName << " is disabled";
    }
    return choice_;
  }
  uint64_t needed = 0;
  if (!IsEnabled(params) || !GetRamNeeded(params, &needed))
    return choice_;
  uint64_t total = 0;
  if (GetTotalRam(&total) && total >= needed) {
    choice_ = ChooseX64() ? SetupArch::kX64 : SetupArch::kX86;
    return choice_;
  }
  LOG(INFO) << "Not enough memory for " << kExperimentName << " needed:" << needed
            << ", available:" << total;
  return choice_;
}

void X64Experiment::ConfigurateRegistry(bool succeeded_on_first_url) {
  if (choice_ == SetupArch::kDefault)
    return;
  int state = !succeeded_on_first_url          ? kDisabled
              : choice_ == SetupArch::kX64 ? kGroupX64
                                               : kGroupX86;
  if (!WriteState(state))
    PLOG(ERROR) << "Failed to write state to regitsry: " << state;
}

bool X64Experiment::IsProgramFilesInstallation() {
  return program_files_installation_;
}

bool X64Experiment::IsNative64Bit() {
  return os_facts_->NativeArchitecture() == base::Architecture::kX64;
}

bool X64Experiment::IsEnabled(const distribution::DistribInfoParams& params) {
  std::string value;
  return params.Get(kExperimentName, &value) && value == "1";
}

bool X64Experiment::GetRamNeeded(const distribution::DistribInfoParams& params,
                                 uint64_t* bytes) {
  std::string text;
  if (!params.Get("x64_ram", &text) || text.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0')
    return false;
  // A negative need compares as a huge unsigned amount, as the group's
  // memory rule has always done.
  *bytes = static_cast<uint64_t>(value);
  return true;
}

bool X64Experiment::GetTotalRam(uint64_t* bytes) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status))
    return false;
  *bytes = status.ullTotalPhys;
  return true;
}

bool X64Experiment::ChooseX64() {
  // One bit of a byte from the system's cryptographic source is uniform:
  // 256 values split evenly, so no sample needs rejecting.
  unsigned char byte = 0;
  if (!RtlGenRandom(&byte, sizeof(byte)))
    return false;
  return (byte & 1) == 1;
}

bool X64Experiment::ReadState(int* state) {
  std::wstring text = base::ReadValue(kStateValue);
  uint64_t value = 0;
  if (!base::ParseUnsignedDecimal(text, &value) || value > kDisabled)
    return false;
  *state = static_cast<int>(value);
  return true;
}

bool X64Experiment::WriteState(int state) {
  return base::StoreValue(kStateValue, base::NumberToWString(state));
}

}  // namespace download
