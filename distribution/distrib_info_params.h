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

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace distribution

#endif  // DISTRIBUTION_DISTRIB_INFO_PARAMS_H_
