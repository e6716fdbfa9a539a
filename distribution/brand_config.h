#ifndef DISTRIBUTION_BRAND_CONFIG_H_
#define DISTRIBUTION_BRAND_CONFIG_H_

#include <string>
#include <string_view>

namespace distribution {

struct BrandInfo;

// Why and where a configuration was refused. `line` and `column` count from
// 1; the column counts characters, as the JSON parser does.
struct ConfigError {
  std::string text;
  int line = 0;
  int column = 0;
};

// Removes "//" line comments and slash-star block comments that lie outside
// JSON strings. A block comment becomes one blank per character and keeps its
// line breaks, so that positions in `json` are positions in `text`. False,
// with `json` unchanged and `error_offset` (when given) at the opening quote
// or "/*", when a block comment or a string is not terminated. The build's
// package check (tools/package_check) applies the same rules.
bool StripJsonComments(std::string_view text, std::string* json,
                       size_t* error_offset = nullptr);

// Reads a brand or partner configuration (UTF-8 JSON with comments, an
// optional byte-order mark) into the fields of `info` that are still unset,
// then derives `language_id` from `default_language`. Values of the wrong
// JSON type count as absent. False, with `info` unchanged and `error` (when
// given) filled, when the text is not a JSON object.
bool FillBrandInfoFromConfig(std::string_view text, BrandInfo* info,
                             ConfigError* error = nullptr);

}  // namespace distribution

#endif  // DISTRIBUTION_BRAND_CONFIG_H_
