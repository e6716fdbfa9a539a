#include "download/download_failure_reason.h"

#include <windows.h>
#include <wininet.h>

namespace download {

namespace {

constexpr char kFinalStatusStage[] = "final_query_info-";
constexpr uint32_t kProxyAuthenticationRequired = 407;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The decimal number at `at` in `text`; 0 when there is none. The texts are
// the engine's own ("stage-code"), so digits are all there is to read.
unsigned long NumberAt(const std::string& text, size_t at) {
  unsigned long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    value = value * 10 + static_cast<unsigned long>(text[at] - '0');
  return value;
}

std::string CertificateProblem(unsigned long code, const CertificateDates& certificate,
                               int64_t now_us) {
  switch (code) {
    case ERROR_INTERNET_INVALID_CA:
      return "its certificate was issued by an authority this computer does not trust; a "
             "proxy or security software may be intercepting the connection";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "its certificate was made out for another name";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      if (certificate.not_after_us && now_us > certificate.not_after_us)
        return "its certificate has expired (or this computer's clock is ahead)";
      if (certificate.not_before_us && now_us < certificate.not_before_us)
        return "its certificate is not valid yet: check this computer's date and time";
      return "its certificate has expired or is not valid yet: check this computer's date "
             "and time";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return "its certificate has been revoked";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
      return "the revocation of its certificate could not be checked";
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
      return "the TLS handshake failed (error " + std::to_string(code) + ")";
    default:
      return {};
  }
}

}  // namespace

std::string DescribeDownloadFailure(const std::string& error, const std::string& host,
                                    const CertificateDates& certificate, int64_t now_us) {
  const std::string server = host.empty() ? "the server" : host;
  if (StartsWith(error, kFinalStatusStage)) {
    unsigned long status = NumberAt(error, sizeof(kFinalStatusStage) - 1);
    if (status == kProxyAuthenticationRequired) {
      return "Download failed: a proxy server asked for credentials (HTTP 407); set up the "
             "proxy's credentials or let this program through it.";
    }
    if (status == 0)
      return "Download failed: the answer of " + server + " could not be read.";
    return "Download failed: " + server + " answered with HTTP status " +
           std::to_string(status) + ".";
  }

  size_t dash = error.rfind('-');
  unsigned long code = dash == std::string::npos ? 0 : NumberAt(error, dash + 1);
  if (StartsWith(error, "write_file-")) {
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
      return "Download failed: the disk is full; free some space and try again.";
    return "Download failed: the downloaded file could not be written (error " +
           std::to_string(code) + ").";
  }
  if (StartsWith(error, "internet_set_file_pointer-"))
    return "Download failed: " + server + " did not continue the interrupted download.";
  if (StartsWith(error, "internet_open-"))
    return "Download failed: the system's internet functions could not be started (error " +
           std::to_string(code) + ").";

  switch (code) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "Download failed: the name " + server +
             " could not be resolved; check the network connection and its DNS settings.";
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "Download failed: the connection to " + server +
             " was refused or could not be made; check the network connection and the "
             "firewall.";
    case ERROR_INTERNET_TIMEOUT:
      return "Download failed: the connection to " + server +
             " timed out; check the network connection.";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return "Download failed: the connection to " + server +
             " broke off during the download; check the network connection.";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "Download failed: " + server + " sent an answer that cannot be used.";
    default:
      break;
  }
  std::string tls = CertificateProblem(code, certificate, now_us);
  if (!tls.empty())
    return "Download failed: the secure connection to " + server + " failed: " + tls + ".";
  return "Download failed: " + (error.empty() ? std::string("no answer") : error) + ".";
}

}  // namespace download
