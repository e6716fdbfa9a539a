#ifndef STATS_URL_PARTS_H_
#define STATS_URL_PARTS_H_

#include <string>

namespace stats {

// `text` escaped as one URL path segment (UrlEscapeW, URL_ESCAPE_SEGMENT_ONLY).
// Units above U+00FF are written as percent-escaped UTF-8, so the result holds
// units up to U+00FF only and keeps its shape when narrowed to 8 bits. Empty
// when escaping fails or the result would take 2084 characters or more.
std::wstring EscapeUrlSegment(const std::wstring& text);

// The decoded host name of `url` after browser-mode canonicalization; empty
// when the URL cannot be parsed or has no host.
std::wstring UrlHost(const std::wstring& url);

}  // namespace stats

#endif  // STATS_URL_PARTS_H_
