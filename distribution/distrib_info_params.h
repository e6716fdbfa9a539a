#ifndef DISTRIBUTION_DISTRIB_INFO_PARAMS_H_
#define DISTRIBUTION_DISTRIB_INFO_PARAMS_H_

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "base/file_util.h"
#include "base/string_conv.h"
#include "base/registry_store.h"

namespace diagnostics {
class CrashAnnotations;
}

namespace distribution {

// Where the distribution tag stamped into the installer's own file comes from.
// The entry sequence passes the certificate-table readers; tests pass fakes.
class DistributionTagSource {
 public:
  virtual ~DistributionTagSource() = default;
  // Both answer an empty string on any failure.
  virtual std::string ExtractTagFromFakeCertificate(const std::wstring& path) = 0;
  virtual std::string ExtractTagFromSignatureTrailer(const std::wstring& path) = 0;
};

// The real readers of the executable's certificate table.
class CertificateTableTagSource : public DistributionTagSource {
 public:
  std::string ExtractTagFromFakeCertificate(const std::wstring& path) override;
  std::string ExtractTagFromSignatureTrailer(const std::wstring& path) override;
};

// The distribution parameters ("partner_id", "try_x64", ...) as an ordered
// key/value map of narrow strings, and the distrib_info file that carries them
// to the browser's setup. Filled once on the main thread, then only read, so
// reads may come from any thread.
//
// The virtual operations are defined here rather than in the .cc file: the
// download library reads parameters (and its tests build them) without
// linking this library, which itself needs download's registry store.
class DistribInfoParams {
 public:
  DistribInfoParams() = default;
  virtual ~DistribInfoParams() = default;

  // Answers false when the key is absent; `value` is then unchanged.
  virtual bool Get(const std::string& key, std::string* value) const {
    auto it = values_.find(key);
    if (it == values_.end())
      return false;
    *value = it->second;
    return true;
  }

  // Stores `value` (each byte widened) as "DistribInfoParams" under the
  // installer's key, so that the browser can read the raw parameters.
  virtual void StoreInRegistry(const std::string& value) {
    base::StoreValue(L"DistribInfoParams", base::WidenBytes(value));
  }

  // The installer's own executable path; empty when it cannot be obtained.
  virtual std::wstring GetModulePath() const { return base::GetExecutablePath(); }

  // "1" is a present true and "2" a present false; any other value, or a
  // missing key, answers false (absent) with `value` set to false.
  virtual bool GetBool(const std::string& key, bool* value) const {
    *value = false;
    std::string text;
    if (!Get(key, &text))
      return false;
    if (text == "1") {
      *value = true;
      return true;
    }
    return text == "2";
  }

  void Set(const std::string& key, const std::string& value) { values_[key] = value; }
  const std::map<std::string, std::string>& values() const { return values_; }

  // Adds the pairs of `text` ("a=1&b=x=y&flag") to the map, a later key
  // replacing an earlier one. Bytes are taken as they are, never unescaped.
  void Parse(std::string_view text);

  // Takes the parameters from `switch_value` (the "distr-info-params" switch,
  // narrowed by its low 8 bits) or, when that is empty, from the tag in the
  // executable; stores the raw string in the registry and writes the
  // distrib_info file into the temporary directory. Answers whether the file
  // was written, i.e. whether distrib_info_path() is set. Never fails the
  // installer: any failure leaves an empty path.
  bool CreateJsonFromDistribParams(const std::wstring& switch_value, DistributionTagSource* tags);

  // Gives every pair whose key and value are both non-empty to `annotations`,
  // unless `annotations` holds that key already.
  void AnnotateCrashReports(diagnostics::CrashAnnotations* annotations) const;

  // Where the distrib_info file was written; empty when it was not.
  const std::wstring& distrib_info_path() const { return distrib_info_path_; }
  void set_distrib_info_path(std::wstring path) { distrib_info_path_ = std::move(path); }

 protected:
  // The directory the file goes to, with its trailing separator; empty when unknown.
  virtual std::wstring GetTempDirectory() const { return base::GetTempDirectory(); }

 private:
  std::map<std::string, std::string> values_;
  std::wstring distrib_info_path_;
};

// The distrib_info content for `values`: one JSON object in map order,
// indented by 2 spaces, UTF-8, no trailing newline. Pairs whose key or value
// is not valid UTF-8 are left out. Answers false when serialization fails.
bool SerializeDistribInfo(const std::map<std::string, std::string>& values, std::string* json);

}  // namespace distribution

#endif  // DISTRIBUTION_DISTRIB_INFO_PARAMS_H_
