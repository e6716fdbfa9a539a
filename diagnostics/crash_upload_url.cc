#include "diagnostics/crash_upload_url.h"

namespace diagnostics {

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
        b == '-' || b == '_' || b == '.' || b == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0xf]);
    }
  }
  return out;
}

std::string CrashUploadUrl(std::string_view host,
                           const std::map<std::string, std::string>& annotations) {
  static constexpr struct {
    const char* annotation;
    const char* parameter;
  } kQuery[] = {{"prod", "product"}, {"ver", "version"}, {"guid", "guid"}};
  // The formatted parameter fits a 128-byte buffer with its terminator.
  constexpr size_t kMaxParameter = 127;

  std::string url = "https://" + std::string(host) + "/submit";
  for (const auto& entry : kQuery) {
    auto it = annotations.find(entry.annotation);
    if (it == annotations.end())
      continue;
    std::string parameter = url.find('?') == std::string::npos ? "?" : "&";
    parameter += std::string(entry.parameter) + "=" + PercentEncode(it->second);
    if (parameter.size() > kMaxParameter) {
      parameter.resize(kMaxParameter);
      // A cut escape would garble the next byte on the server side.
      size_t percent = parameter.find('%', kMaxParameter - 2);
      if (percent != std::string::npos)
        parameter.resize(percent);
    }
    url += parameter;
  }
  return url;
}

}  // namespace diagnostics
