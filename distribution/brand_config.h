#ifndef DISTRIBUTION_BRAND_CONFIG_H_
#define DISTRIBUTION_BRAND_CONFIG_H_

#include <string>
#include <string_view>

namespace distribution {

struct BrandInfo;

// Removes "//" line comments and slash-star block comments that lie outside
// JSON strings (a block comment becomes one blank). False, with `json`
// unchanged, when a block comment or a string is not terminated.
bool StripJsonComments(std::string_view text, std::string* json);

// Reads a brand or partner configuration (JSON with comments) into the
// fields of `info` that are still unset, then derives `language_id` from
// `default_language`. Values of the wrong JSON type count as absent. False,
// with `info` unchanged, when the text is not a JSON object.
bool FillBrandInfoFromConfig(std::string_view text, BrandInfo* info);

}  // namespace distribution

#endif  // DISTRIBUTION_BRAND_CONFIG_H_
