#include "download/variations.h"

#include <jansson.h>

#include <cstdio>
#include <memory>

#include "base/logging.h"
#include "download/downloader.h"

namespace download {

namespace {

struct JsonDeleter {
  void operator()(json_t* json) const { json_decref(json); }
};
using ScopedJson = std::unique_ptr<json_t, JsonDeleter>;

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = (static_cast<uint8_t>(bytes[i]) << 16) |
                     (static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2)
      group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool SaveVariations(const std::wstring& path, const std::string& seed,
                    const std::string& signature, const std::string& last_modified,
                    const std::string& country) {
  ScopedJson object(json_object());
  if (!object) {
    PLOG(ERROR) << "Failed to serialize variations";
    return false;
  }
  const std::string encoded = EncodeBase64(seed);
  // The browser reads the members in this order; jansson keeps insertion order.
  const struct {
    const char* name;
    const std::string& value;
  } members[] = {
      {"variations_seed_base64", encoded},
      {"variations_seed_signature", signature},
      {"variations_last_modified_time", last_modified},
      {"variations_country", country},
  };
  for (const auto& member : members) {
    // Header values come from the network; jansson refuses what is not UTF-8.
    json_t* value = json_stringn(member.value.data(), member.value.size());
    if (!value || json_object_set_new(object.get(), member.name, value) != 0) {
      PLOG(ERROR) << "Failed to serialize variations value " << member.name << ": "
                  << member.value;
      return false;
    }
  }

  FILE* file = ::_wfopen(path.c_str(), L"w+");
  if (!file) {
    PLOG(ERROR) << "Failed to open variations file " << path;
    return false;
  }
  int result = json_dumpf(object.get(), file, 0);
  bool ok = result == 0;
  if (!ok) {
    PLOG(ERROR) << "Failed to save downloaded variations update to " << path
                << " error=" << result;
  }
  if (std::fclose(file) != 0)
    PLOG(ERROR) << "Failed to close FILE";
  return ok;
}

bool DownloadAndSaveVariations(const std::string& url, const std::wstring& path,
                               HANDLE stop_event, HttpClientFactory* factory) {
  Downloader downloader(factory);
  std::string body;
  if (!downloader.DownloadToString(url, stop_event, &body)) {
    PLOG(ERROR) << "Failed to download variations seed: " << downloader.error();
    return false;
  }
  std::string signature = downloader.GetResponseHeader("X-Seed-Signature");
  if (signature.empty()) {
    PLOG(ERROR) << "Failed to get variations seed signature";
    return false;
  }
  std::string last_modified = downloader.GetResponseHeader("Last-Modified");
  std::string country = downloader.GetResponseHeader("X-Country");
  if (!SaveVariations(path, body, signature, last_modified, country)) {
    PLOG(ERROR) << "Failed to save variations in " << path;
    return false;
  }
  LOG(INFO) << "Variations are saved in " << path;
  return true;
}

}  // namespace download
