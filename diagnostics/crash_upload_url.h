#ifndef DIAGNOSTICS_CRASH_UPLOAD_URL_H_
#define DIAGNOSTICS_CRASH_UPLOAD_URL_H_

#include <map>
#include <string>
#include <string_view>

namespace diagnostics {

// Letters, digits and "-_.~" stay; every other byte becomes "%XX".
std::string PercentEncode(std::string_view text);

// "https://" + host + "/submit" with the query made of the annotations
// "prod", "ver" and "guid" (as "product", "version", "guid"), each only when
// present. A parameter longer than 127 characters is cut there, never inside
// an escape.
std::string CrashUploadUrl(std::string_view host,
                           const std::map<std::string, std::string>& annotations);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_CRASH_UPLOAD_URL_H_
