#include "distribution/brand_config.h"

#include <jansson.h>

#include <algorithm>
#include <memory>

#include "distribution/brand_info.h"
#include "ui/languages.h"

namespace distribution {

namespace {

struct JsonDeleter {
  void operator()(json_t* json) const { json_decref(json); }
};
using ScopedJson = std::unique_ptr<json_t, JsonDeleter>;

struct StringKey {
  std::string BrandInfo::*field;
  const char* key;
};

struct FlagKey {
  TriBool BrandInfo::*field;
  const char* key;
};

constexpr StringKey kStringKeys[] = {
    {&BrandInfo::setup_url, "install.setup_url"},
    {&BrandInfo::setup_url_version, "install.setup_url_version"},
    {&BrandInfo::setup_url64, "install.setup_url64"},
    {&BrandInfo::setup_url_version64, "install.setup_url_version64"},
    {&BrandInfo::setup_url32, "install.setup_url32"},
    {&BrandInfo::brand_id, "brand_id"},
    {&BrandInfo::brand_name, "brand_name"},
    {&BrandInfo::default_language, "languages.interface"},
    {&BrandInfo::license_url, "license_url"},
    {&BrandInfo::conf_policy_url, "install.conf_policy_url"},
    {&BrandInfo::partner_id, "partner_id"},
    {&BrandInfo::scenarios_url, "install.scenarios_url"},
    {&BrandInfo::slide_url, "install.slide_url"},
    {&BrandInfo::slide_url_if_tagged, "install.slide_url_if_tagged"},
    {&BrandInfo::variations_url, "urls.variations"},
    {&BrandInfo::abt_url, "urls.abt"},
    {&BrandInfo::preloaded_wallpapers_url, "install.preloaded_wallpapers_url"},
};

constexpr FlagKey kFlagKeys[] = {
    {&BrandInfo::quova_taskbar_shortcut_promt, "install.quova_taskbar_shortcut_promt"},
    {&BrandInfo::alternate_installer_title, "install.alternate_installer_title"},
    {&BrandInfo::send_statistics, "install.send_statistics"},
    {&BrandInfo::make_browser_default, "install.make_browser_default"},
    {&BrandInfo::need_ppapi_flash, "install.need_ppapi_flash"},
};

constexpr std::string_view kInstallPrefix = "install.";

// Descends through nested objects along the dotted `path`; null when a step
// is missing or not an object.
json_t* LookUpPath(json_t* root, std::string_view path) {
  json_t* node = root;
  for (;;) {
    if (!json_is_object(node))
      return nullptr;
    size_t dot = path.find('.');
    std::string_view name = path.substr(0, dot);
    node = json_object_getn(node, name.data(), name.size());
    if (!node || dot == std::string_view::npos)
      return node;
    path.remove_prefix(dot + 1);
  }
}

// The value at `key` that `accepts` takes; "install.x" also finds a
// top-level "x", which older configurations use.
json_t* LookUpKey(json_t* root, std::string_view key, bool (*accepts)(json_t*)) {
  json_t* value = LookUpPath(root, key);
  if (accepts(value))
    return value;
  if (key.substr(0, kInstallPrefix.size()) == kInstallPrefix) {
    value = LookUpPath(root, key.substr(kInstallPrefix.size()));
    if (accepts(value))
      return value;
  }
  return nullptr;
}

bool IsString(json_t* value) {
  return json_is_string(value);
}

bool IsBoolean(json_t* value) {
  return json_is_boolean(value);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Fills `error` with `message` at the line and column of `offset` in `text`.
void SetError(std::string_view text, size_t offset, const char* message, ConfigError* error) {
  if (!error)
    return;
  offset = offset < text.size() ? offset : text.size();
  error->text = message;
  error->line = 1;
  error->column = 1;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++error->line;
      error->column = 1;
    } else if (!IsUtf8Continuation(text[i])) {
      ++error->column;
    }
  }
}

}  // namespace

bool StripJsonComments(std::string_view text, std::string* json, size_t* error_offset) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '"') {
      // Copy the whole string, so that "//" in a URL stays.
      const size_t start = i++;
      bool closed = false;
      while (i < text.size() && !closed) {
        const char d = text[i++];
        if (d == '\\') {
          if (i == text.size())
            break;
          ++i;
        } else if (d == '"') {
          closed = true;
        }
      }
      if (!closed) {
        if (error_offset)
          *error_offset = start;
        return false;
      }
      out.append(text.substr(start, i - start));
    } else if (c == '/' && next == '/') {
      // The line break stays; it separates tokens.
      i = text.find('\n', i);
      if (i == std::string_view::npos)
        i = text.size();
    } else if (c == '/' && next == '*') {
      const size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) {
        if (error_offset)
          *error_offset = i;
        return false;
      }
      for (; i < end + 2; ++i) {
        if (text[i] == '\n' || text[i] == '\r')
          out += text[i];
        else if (!IsUtf8Continuation(text[i]))
          out += ' ';
      }
    } else {
      out += c;
      ++i;
    }
  }
  json->swap(out);
  return true;
}

bool FillBrandInfoFromConfig(std::string_view text, BrandInfo* info, ConfigError* error) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text.remove_prefix(kByteOrderMark.size());
  std::string json;
  size_t error_offset = 0;
  if (!StripJsonComments(text, &json, &error_offset)) {
    SetError(text, error_offset,
             text[error_offset] == '"' ? "string not terminated" : "comment not terminated",
             error);
    return false;
  }
  json_error_t parse_error;
  ScopedJson root(json_loadb(json.data(), json.size(), JSON_ALLOW_NUL, &parse_error));
  if (!root) {
    // The parser counts a column of 0 at the end of the text after a line break.
    if (error)
      *error = ConfigError{parse_error.text, parse_error.line, std::max(parse_error.column, 1)};
    return false;
  }
  if (!json_is_object(root.get())) {
    SetError(json, json.find_first_not_of(" \t\r\n"), "not a JSON object", error);
    return false;
  }

  for (const StringKey& entry : kStringKeys) {
    std::string& field = info->*entry.field;
    if (!field.empty())
      continue;
    if (json_t* value = LookUpKey(root.get(), entry.key, IsString))
      field.assign(json_string_value(value), json_string_length(value));
  }
  for (const FlagKey& entry : kFlagKeys) {
    TriBool& field = info->*entry.field;
    if (field != kTriUnset)
      continue;
    if (json_t* value = LookUpKey(root.get(), entry.key, IsBoolean))
      field = json_is_true(value) ? kTriTrue : kTriFalse;
  }
  info->language_id = ui::LanguageIdFromCode(info->default_language);
  return true;
}

}  // namespace distribution
