#include "stats/install_stat_sender.h"

#include <utility>

#include "base/scoped_handle.h"
#include "base/scoped_srw_lock.h"
#include "base/string_conv.h"
#include "base/logging.h"
#include "download/file_version.h"
#include "base/registry_store.h"
#include "stats/url_parts.h"

namespace stats {

namespace {

constexpr wchar_t kSavedParamsValue[] = L"install_stat";
constexpr wchar_t kLaunchCommandLineValue[] = L"InstallerSuccessLaunchCmdLine";

struct StatPathRow {
  uint32_t cid;
  const char* name;
};

// Indexed by StatPath.
constexpr StatPathRow kStatPaths[] = {
    {72992, "extended_stat"},
    {72696, "tnbrowser_reinstall_dialog"},
    {72696, "tnbrowser_pf_migration"},
    {72924, "zombo_window"},
};

// The backend splits "vars" at these characters.
std::wstring ReplaceSeparators(std::wstring text) {
  for (wchar_t& c : text) {
    if (c == L',' || c == L'-' || c == L'=')
      c = L'_';
  }
  return text;
}

std::wstring StripBraces(const std::wstring& id) {
  if (id.size() >= 2 && id.front() == L'{' && id.back() == L'}')
    return id.substr(1, id.size() - 2);
  return id;
}

}  // namespace

std::wstring StatSenderSystem::ReadValue(const std::wstring& name) {
  return base::ReadValue(name);
}

void StatSenderSystem::StoreValue(const std::wstring& name, const std::wstring& value) {
  base::StoreValue(name, value);
}

void StatSenderSystem::RemoveValue(const std::wstring& name) {
  base::RemoveValue(name);
}

bool StatSenderSystem::NamedEventExists(const std::wstring& name) {
  base::ScopedHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  return event.is_valid();
}

std::string StatSenderSystem::OwnFileVersion() {
  wchar_t path[MAX_PATH] = {};
  DWORD size = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (size == 0 || size >= MAX_PATH)
    return "0.0.0.0";
  return download::FileVersionString(std::wstring(path, size));
}

StatSenderSystem* DefaultStatSenderSystem() {
  static StatSenderSystem system;
  return &system;
}

std::wstring SavedParamsText(const InstallEvent& params) {
  std::wstring text;
  for (const auto& [key, value] : params) {
    std::wstring line = value;
    for (wchar_t& c : line) {
      if (c == L'\n')
        c = L' ';
    }
    text += base::WidenBytes(key);
    text += L'\n';
    text += line;
    text += L'\n';
  }
  return text;
}

InstallEvent ParseSavedParams(const std::wstring& text) {
  InstallEvent params;
  std::string key;
  bool have_key = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos)
      end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (have_key) {
      params[key] = std::move(line);
      have_key = false;
    } else if (!line.empty()) {
      key = base::NarrowLow8(line);
      have_key = true;
    }
    start = end + 1;
  }
  return params;
}

std::wstring LaunchedEventName(const std::wstring& command_line) {
  if (command_line.size() < 3)
    return {};
  std::wstring name = command_line;
  if (name.front() == L'"')
    name.erase(0, 1);
  if (!name.empty() && name.back() == L'"')
    name.pop_back();
  for (wchar_t& c : name) {
    if (c == L'\\')
      c = L'!';
  }
  if (!name.empty())
    ::CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
  return L"Global\\" + name;
}

std::wstring BuildStatUrl(const std::wstring& host, const InstallEvent& params, StatPath path) {
  std::wstring vars;
  for (const auto& [key, value] : params) {
    if (!vars.empty())
      vars += L',';
    vars += L'-';
    vars += EscapeUrlSegment(ReplaceSeparators(base::WidenBytes(key)));
    vars += L'=';
    vars += EscapeUrlSegment(ReplaceSeparators(value));
  }
  const StatPathRow& row = kStatPaths[static_cast<size_t>(path)];
  std::string url = "/installstats/send/dtype=stred/pid=457/cid=" + std::to_string(row.cid) +
                    "/path=" + row.name;
  if (!vars.empty())
    url += "/vars=" + base::NarrowLow8(vars);
  url += "/*";
  return L"https://" + host + base::WidenBytes(url);
}

InstallStatSender::InstallStatSender(const std::wstring& saved_text, const std::wstring& user_id,
                                     std::wstring host, StatSenderSystem* system)
    : host_(std::move(host)),
      system_(system ? system : DefaultStatSenderSystem()),
      params_(ParseSavedParams(saved_text)) {
  std::wstring event_name = LaunchedEventName(system_->ReadValue(kLaunchCommandLineValue));
  bool launched = !event_name.empty() && system_->NamedEventExists(event_name);
  params_["launched"] = launched ? L"true" : L"false";
  params_["ui"] = StripBraces(user_id);
  if (params_.find("old_ver") == params_.end()) {
    std::wstring version = system_->ReadValue(L"ypv");
    if (version.empty())
      version = system_->ReadValue(L"pv");
    params_["old_ver"] = version;
  }
  params_["lite_ver"] = base::WidenBytes(system_->OwnFileVersion());
  params_["installer_type"] = L"lite";
}

InstallStatSender::~InstallStatSender() {
  system_->RemoveValue(kSavedParamsValue);
}

void InstallStatSender::SetParam(const std::string& key, const std::wstring& value) {
  base::ScopedExclusiveLock hold(&lock_);
  params_[key] = value;
}

std::wstring InstallStatSender::GetOldVersion() const {
  base::ScopedSharedLock hold(&lock_);
  auto found = params_.find("old_ver");
  return found != params_.end() ? found->second : std::wstring();
}

InstallEvent InstallStatSender::params() const {
  base::ScopedSharedLock hold(&lock_);
  return params_;
}

std::wstring InstallStatSender::GetQueryUrl(const InstallEvent& event, StatPath path) const {
  InstallEvent all = params();
  all.insert(event.begin(), event.end());  // The base parameters win a clash.
  all["old_style"] = L"0";
  all.emplace("brand_id", L"unknown");
  LOG(INFO) << "InstallStatSender::Send:";
  for (const auto& [key, value] : all)
    LOG(INFO) << key << "=" << value;
  return BuildStatUrl(host_, all, path);
}

void InstallStatSender::SaveParams() {
  system_->StoreValue(kSavedParamsValue, SavedParamsText(params()));
}

}  // namespace stats
