#ifndef DOWNLOAD_VARIATIONS_H_
#define DOWNLOAD_VARIATIONS_H_

#include <windows.h>

#include <string>
#include <string_view>

namespace download {

class HttpClientFactory;

// Standard base64 (RFC 4648 alphabet) with "=" fill at the end.
std::string EncodeBase64(std::string_view bytes);

// Writes the browser's variations file at `path` (created or truncated): one
// JSON object whose members "variations_seed_base64" (the seed, encoded),
// "variations_seed_signature", "variations_last_modified_time" and
// "variations_country" come in this order. False, after logging why, when a
// value is not UTF-8 or the file cannot be written.
bool SaveVariations(const std::wstring& path, const std::string& seed,
                    const std::string& signature, const std::string& last_modified,
                    const std::string& country);

// Fetches `url` (a variations seed or an A/B-test configuration) and saves
// it with its signature, date and country headers through SaveVariations. An
// answer without "X-Seed-Signature" writes nothing. A signalled
// `stop_event` ends the download as a failure. `factory` may be null: WinINet.
bool DownloadAndSaveVariations(const std::string& url, const std::wstring& path,
                               HANDLE stop_event, HttpClientFactory* factory = nullptr);

}  // namespace download

#endif  // DOWNLOAD_VARIATIONS_H_
