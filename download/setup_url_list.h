#ifndef DOWNLOAD_SETUP_URL_LIST_H_
#define DOWNLOAD_SETUP_URL_LIST_H_

#include <string>
#include <vector>

#include "base/os_facts.h"
#include "distribution/brand_info.h"

namespace download {

// Which setup archive one download asks for.
enum class SetupArch { kDefault = 0, kX64 = 1, kX86 = 2 };

// Windows XP and Vista download one fixed legacy archive.
bool UsesLegacySetupUrl(const base::OsVersion& os);

// The addresses to try, in order, each with "?from_installer=true". Windows XP
// and Vista get the one fixed legacy address whatever the brand says.
std::vector<std::wstring> BuildSetupUrlList(const base::OsVersion& os, SetupArch arch,
                                            const distribution::BrandInfo& brand,
                                            bool versioned_url_allowed);

// How many attempts a download makes, and how many in a row go to each URL.
struct AttemptPlan {
  int attempts = 0;
  int per_url = 0;
};
AttemptPlan MakeAttemptPlan(size_t url_count);

// Between attempts, in milliseconds.
inline constexpr unsigned kAttemptPauseMs = 15000;

}  // namespace download

#endif  // DOWNLOAD_SETUP_URL_LIST_H_
