#ifndef DOWNLOAD_DOWNLOAD_FAILURE_REASON_H_
#define DOWNLOAD_DOWNLOAD_FAILURE_REASON_H_

#include <cstdint>
#include <string>

#include "download/http_client.h"

namespace download {

// Why a download attempt failed, in one sentence a person can act on (a name
// that does not resolve, a refused connection, a certificate problem, a proxy
// that wants credentials, an HTTP status, a full disk...). `error` is the
// attempt's error text (a stage prefix and the system error code), `host` the
// host that answered last, `certificate` the refused certificate's dates when
// the open failed on them, and `now_us` the wall clock in microseconds since
// 1601, against which those dates are read.
std::string DescribeDownloadFailure(const std::string& error, const std::string& host,
                                    const CertificateDates& certificate, int64_t now_us);

}  // namespace download

#endif  // DOWNLOAD_DOWNLOAD_FAILURE_REASON_H_
