#ifndef STATS_INSTALL_EVENT_H_
#define STATS_INSTALL_EVENT_H_

#include <map>
#include <string>

namespace stats {

// One statistics event: short ASCII keys mapped to wide values, one value per
// key (setting a key again keeps the last value).
using InstallEvent = std::map<std::string, std::wstring>;

}  // namespace stats

#endif  // STATS_INSTALL_EVENT_H_
