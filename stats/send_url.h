#ifndef STATS_SEND_URL_H_
#define STATS_SEND_URL_H_

#include <string>

namespace stats {

// Sends one GET for `url` and returns as soon as the request has left: the
// answer is never read. Connecting and sending are bounded by 2-second
// timeouts. Failures are logged, never reported. May be called from any
// thread; blocks its caller, so the statistics queue's worker calls it.
void SendUrl(const std::wstring& url);

}  // namespace stats

#endif  // STATS_SEND_URL_H_
