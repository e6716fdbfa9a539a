#include "distribution/distrib_info_params.h"

#include <windows.h>

#include <jansson.h>

#include <cstdlib>
#include <memory>

#include "base/file_util.h"
#include "diagnostics/crash_annotations.h"
#include "base/logging.h"
#include "distribution/distribution_tag.h"

namespace distribution {

namespace {

constexpr wchar_t kFileName[] = L"distrib_info";

struct JsonDeleter {
  void operator()(json_t* json) const { json_decref(json); }
};
using ScopedJson = std::unique_ptr<json_t, JsonDeleter>;

struct MallocDeleter {
  void operator()(char* text) const { std::free(text); }
};

}  // namespace

std::string CertificateTableTagSource::ExtractTagFromFakeCertificate(const std::wstring& path) {
  return distribution::ExtractTagFromFakeCertificate(path);
}

std::string CertificateTableTagSource::ExtractTagFromSignatureTrailer(const std::wstring& path) {
  return distribution::ExtractTagFromSignatureTrailer(path);
}

bool SerializeDistribInfo(const std::map<std::string, std::string>& values, std::string* json) {
  ScopedJson object(json_object());
  if (!object)
    return false;
  for (const auto& [key, value] : values) {
    // json_stringn rejects invalid UTF-8; such a value cannot travel in JSON.
    json_t* string = json_stringn(value.data(), value.size());
    if (!string)
      continue;
    // The length-taking setter keeps keys with a NUL byte apart; it also
    // rejects (and releases the value of) keys that are not UTF-8.
    json_object_setn_new(object.get(), key.data(), key.size(), string);
  }
  std::unique_ptr<char, MallocDeleter> text(json_dumps(object.get(), JSON_INDENT(2)));
  if (!text)
    return false;
  json->assign(text.get());
  return true;
}

void DistribInfoParams::Parse(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t key_end = text.find_first_of("&=", pos);
    if (key_end == std::string_view::npos)
      key_end = text.size();
    std::string key(text.substr(pos, key_end - pos));
    std::string value;
    size_t pair_end = key_end;
    if (key_end < text.size() && text[key_end] == '=') {
      pair_end = text.find('&', key_end + 1);
      if (pair_end == std::string_view::npos)
        pair_end = text.size();
      value.assign(text.substr(key_end + 1, pair_end - key_end - 1));
    }
    values_[std::move(key)] = std::move(value);
    pos = pair_end + 1;
  }
}

bool DistribInfoParams::CreateJsonFromDistribParams(const std::wstring& switch_value,
                                                    DistributionTagSource* tags) {
  // The sources are alternatives, never merged: the switch, else the
  // certificate tag, else the older trailer tag.
  std::string text = base::NarrowLow8(switch_value);
  if (text.empty()) {
    std::wstring module_path = GetModulePath();
    if (!module_path.empty()) {
      text = tags->ExtractTagFromFakeCertificate(module_path);
      if (text.empty())
        text = tags->ExtractTagFromSignatureTrailer(module_path);
    }
  }
  if (text.empty())
    return false;
  StoreInRegistry(text);
  Parse(text);
  if (values_.empty())
    return false;

  std::string json;
  if (!SerializeDistribInfo(values_, &json)) {
    PLOG(WARNING) << "Can't create json dump";
    return false;
  }
  // Without a temporary directory the bare name would land in whatever the
  // current directory happens to be.
  std::wstring dir = GetTempDirectory();
  if (dir.empty()) {
    PLOG(WARNING) << "Write json to file error";
    return false;
  }
  std::wstring path = dir + kFileName;
  // Truncating any earlier run's file first means a failed write can never
  // leave another campaign's parameters behind under our name.
  if (!base::WriteWholeFile(path, json)) {
    PLOG(WARNING) << "Write json to file error";
    return false;
  }
  distrib_info_path_ = path;
  return true;
}

void DistribInfoParams::AnnotateCrashReports(diagnostics::CrashAnnotations* annotations) const {
  // The tag is not covered by the signature: its pairs may add to the crash
  // reporter's own fields (client id, product, version, ...) but never
  // replace them.
  for (const auto& [key, value] : values_) {
    if (!key.empty() && !value.empty() && annotations->Get(key).empty())
      annotations->Set(key, value);
  }
}

}  // namespace distribution
