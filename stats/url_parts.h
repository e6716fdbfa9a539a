#ifndef STATS_URL_PARTS_H_
#define STATS_URL_PARTS_H_

#include <string>

namespace stats {

// `text` escaped as one URL path segment (UrlEscapeW, URL_ESCAPE_SEGMENT_ONLY);
// empty when escaping fails.
std::wstring EscapeUrlSegment(const std::wstring& text);

// The decoded host name of `url` after browser-mode canonicalization; empty
// when the URL cannot be parsed or has no host.
std::wstring UrlHost(const std::wstring& url);

}  // namespace stats

#endif  // STATS_URL_PARTS_H_
