#ifndef DISTRIBUTION_DISTRIB_INFO_PARAMS_H_
#define DISTRIBUTION_DISTRIB_INFO_PARAMS_H_

#include <map>
#include <string>

namespace distribution {

// The distribution parameters ("partner_id", "try_x64", ...) as an ordered
// key/value map of narrow strings.
class DistribInfoParams {
 public:
  void Set(const std::string& key, const std::string& value) { values_[key] = value; }
  // Answers false when the key is absent.
  bool Get(const std::string& key, std::string* value) const {
    auto it = values_.find(key);
    if (it == values_.end())
      return false;
    *value = it->second;
    return true;
  }
  const std::map<std::string, std::string>& values() const { return values_; }

  // Where the distrib_info file was written; empty when it was not.
  const std::wstring& distrib_info_path() const { return distrib_info_path_; }
  void set_distrib_info_path(std::wstring path) { distrib_info_path_ = std::move(path); }

 private:
  std::map<std::string, std::string> values_;
  std::wstring distrib_info_path_;
};

}  // namespace distribution

#endif  // DISTRIBUTION_DISTRIB_INFO_PARAMS_H_
