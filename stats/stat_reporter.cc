#include "stats/stat_reporter.h"

#include "build_config.h"
#include "stats/install_stat_sender.h"

namespace stats {

StatReporter::StatReporter() = default;

StatReporter::StatReporter(const std::wstring& saved_params, const std::wstring& user_id,
                           const StatReporterEnvironment& environment)
    : sender_(std::make_unique<InstallStatSender>(
          saved_params, user_id, environment.host.empty() ? TX_STATS_HOST : environment.host,
          environment.system)),
      queue_(std::make_unique<StatRequestQueue>(environment.send)) {}

StatReporter::~StatReporter() {
  // Sending ends before the handed-on parameters are removed.
  queue_.reset();
  sender_.reset();
}

void StatReporter::SendEvent(const InstallEvent& event) {
  if (sender_)
    queue_->Push(sender_->GetQueryUrl(event, StatPath::kExtendedStat));
}

void StatReporter::SendDialogEvent(const InstallEvent& event) {
  if (sender_)
    queue_->Push(sender_->GetQueryUrl(event, StatPath::kReinstallDialog));
}

void StatReporter::SetParam(const std::string& key, const std::wstring& value) {
  if (sender_)
    sender_->SetParam(key, value);
}

std::wstring StatReporter::GetOldVersion() {
  return sender_ ? sender_->GetOldVersion() : std::wstring();
}

bool StatReporter::Flush(DWORD timeout_ms) {
  return !queue_ || queue_->WaitUntilIdle(timeout_ms);
}

void StatReporter::SaveParams() {
  if (sender_)
    sender_->SaveParams();
}

}  // namespace stats
