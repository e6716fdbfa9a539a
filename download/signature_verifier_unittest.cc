#include "download/signature_verifier.h"

#include <gtest/gtest.h>

#include <string>

#include "base/log_capture_for_testing.h"
#include "download/trust_list.h"

namespace download {
namespace {

// A key pair made once for these tests (its private half is not kept) and
// `openssl dgst -sha1 -sign` over kData with it.
constexpr char kPublicKey[] =
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDO8cf6pzvN3HdI64H6+Q+nR4TTHd7QGAqiofebjYUqLxHUPxg9rO0r"
    "7wlsyfl509UI6T4znwCfqdwoqaLbWf/YL1mUB6JWT4jjCHFXXSyh8stT7UY31B1+1KFHDKexGCTn50sae7DjIlFxuqNS"
    "0QGSr4K5cOum6kmZBSo0vFhh2QIDAQAB";
constexpr char kData[] = R"({"trusted_info":{"certificates":[{"id":"AQID"}]}})";
constexpr char kSignature[] =
    "tR5KwseKf0p76GR41Yb0zJirIkDbVksiVukzj9OE0RBGAvd7Ev21BxLSZVYqp1eCPPvLh0LPjIdiC4CZ7nXYhfqQsJLv"
    "KW5c5ZxsiqAevuvSz/v/ZM6z4fO5dsEhaPaWePKsVOpIBpVWW1UtDb5E7bGicx38y46FUUdE57w5ZJY=";

class SignatureVerifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DecodeBase64(kPublicKey, &key_));
    ASSERT_TRUE(DecodeBase64(kSignature, &signature_));
  }

  // Every log line so far came from `function` and reads `text` + the
  // decimal error code + " - " + the system's text.
  void ExpectOnlyErrors(const char* function, const std::string& text, size_t count) {
    ASSERT_EQ(log_.records().size(), count);
    for (const base::LogRecord& record : log_.records()) {
      EXPECT_STREQ(record.function, function);
      EXPECT_EQ(record.message.rfind(text, 0), 0u) << record.message;
      const std::string code =
          record.message.substr(text.size(), record.message.find(" - ") - text.size());
      EXPECT_EQ(record.message.substr(text.size() + code.size()),
                " - " + base::SystemErrorText(std::stoul(code)));
    }
  }

  std::string key_;
  std::string signature_;
  base::ScopedLogCapture log_;
  SignatureVerifier verifier_;
};

TEST_F(SignatureVerifierTest, AcceptsOnlyTheSignedBytes) {
  EXPECT_TRUE(verifier_.Verify(signature_, key_, kData));
  EXPECT_TRUE(log_.records().empty());

  std::string changed = kData;
  changed[10] ^= 0x01;
  EXPECT_FALSE(verifier_.Verify(signature_, key_, changed));
  // The stored order is most significant byte first; CryptoAPI's is the reverse.
  EXPECT_FALSE(verifier_.Verify(std::string(signature_.rbegin(), signature_.rend()), key_, kData));
  ExpectOnlyErrors("VerifySignature", "Failed to verify signature, error: ", 2);

  // A refusal leaves no stale hash or key behind for the next attempt.
  EXPECT_TRUE(verifier_.Verify(signature_, key_, kData));
}

TEST_F(SignatureVerifierTest, EmptySignatureAndBadKeyFailEarly) {
  EXPECT_FALSE(verifier_.Verify("", key_, kData));
  EXPECT_TRUE(log_.records().empty());  // Not even asked.

  EXPECT_FALSE(verifier_.Verify(signature_, key_.substr(0, key_.size() - 1), kData));
  ExpectOnlyErrors("ImportPublicKey", "Failed to convert decode public key, error: ", 1);
}

}  // namespace
}  // namespace download
