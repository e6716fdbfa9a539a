// tag_reader.exe <path>
//
// Reads the distribution tag of an executable both ways the installer does
// and prints, on stdout, one "key=value" line each:
//   certificate_tag_hex=<hex of the dummy certificates' tag>
//   trailer_tag_hex=<hex of the trailer tag>
//   log=<severity>: <message> (<function>)   for every log statement
// Hex keeps binary tags and "=" or "&" intact for the tests. Exits with 0, or
// 2 on a usage error.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "diagnostics/file_logger.h"
#include "base/logging.h"
#include "distribution/distribution_tag.h"

namespace {

// Prints log records instead of writing the log file.
class StdoutLogger : public diagnostics::FileLogger {
 public:
  StdoutLogger() : FileLogger(L"", 0) {}
  void Emit(const base::LogRecord& record) override {
    std::printf("log=%s: %s (%s)\n", base::SeverityName(record.severity),
                record.message.c_str(), record.function);
  }
};

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tag_reader.exe <path>\n");
    return 2;
  }
  diagnostics::InstallLogger(std::make_unique<StdoutLogger>());
  const std::string certificate_tag = distribution::ExtractTagFromFakeCertificate(argv[1]);
  const std::string trailer_tag = distribution::ExtractTagFromSignatureTrailer(argv[1]);
  std::printf("certificate_tag_hex=%s\n", Hex(certificate_tag).c_str());
  std::printf("trailer_tag_hex=%s\n", Hex(trailer_tag).c_str());
  diagnostics::InstallLogger(nullptr);
  return 0;
}
