#ifndef DOWNLOAD_X64_EXPERIMENT_H_
#define DOWNLOAD_X64_EXPERIMENT_H_

#include <cstdint>

#include "download/setup_url_list.h"

namespace base {
class OsFacts;
}
namespace distribution {
class DistribInfoParams;
}

namespace download {

// The experiment that sends part of the 64-bit capable machines to the
// 64-bit setup archive. A machine stays in its group ("try_x64" = "0" or "1")
// while its downloads succeed from the first address; otherwise it leaves the
// experiment ("2"). One object per download.
class X64Experiment {
 public:
  // `program_files_installation`: the installation goes to Program Files,
  // which keeps the default archive.
  X64Experiment(bool program_files_installation, base::OsFacts* os_facts);
  virtual ~X64Experiment() = default;

  // Chooses the archive for this download from the stored group or, for a new
  // machine with enough memory, by a coin toss.
  SetupArch AdjustDownloadUrl(const distribution::DistribInfoParams& params);
  // Records the group after the download; does nothing without a choice.
  void ConfigurateRegistry(bool succeeded_on_first_url);

  SetupArch choice() const { return choice_; }
  void set_choice(SetupArch choice) { choice_ = choice; }

  // The facts the decision rests on; virtual so tests can play any machine.
  virtual bool IsProgramFilesInstallation();
  virtual bool IsNative64Bit();
  virtual bool IsEnabled(const distribution::DistribInfoParams& params);
  virtual bool GetRamNeeded(const distribution::DistribInfoParams& params, uint64_t* bytes);
  virtual bool GetTotalRam(uint64_t* bytes);
  virtual bool ChooseX64();
  virtual bool ReadState(int* state);
  virtual bool WriteState(int state);

 private:
  const bool program_files_installation_;
  base::OsFacts* os_facts_;
  SetupArch choice_ = SetupArch::kDefault;
};

}  // namespace download

#endif  // DOWNLOAD_X64_EXPERIMENT_H_
