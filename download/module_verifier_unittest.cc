#include "download/module_verifier.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"

namespace download {
namespace {

constexpr wchar_t kPath[] = L"C:\\Temp\\browser-setup.arc";
constexpr char kTrusted[] = "\x01\x02\x0a\x0b";
constexpr char kOtherTrusted[] = "\x03\x04\x0c\x0d";
constexpr char kUnknown[] = "\x05\x06\x0e\x0f";
constexpr LONG kNoSignature = static_cast<LONG>(0x800B0100);  // TRUST_E_NOSIGNATURE

// One scripted answer, and the secondary-signature count it reports, if any.
struct Step {
  SignatureCheck check;
  std::optional<DWORD> count;
};
Step Sha1(const char* id, std::optional<DWORD> count = {}) {
  return {{0, 0, true, id, false}, count};
}
Step Sha256(const char* id, std::optional<DWORD> count = {}) {
  return {{0, 0, true, id, true}, count};
}
Step Refused(const char* id, bool sha256, std::optional<DWORD> count = {}) {
  return {{kNoSignature, 0, true, id, sha256}, count};
}
Step Chainless(const char* id, std::optional<DWORD> count = {}) {
  return {{0, 0, false, id, true}, count};
}

// Answers from a script and records the calls, e.g. "0 1 close".
class ScriptedChecker : public AuthenticodeChecker {
 public:
  explicit ScriptedChecker(std::vector<Step> steps) : steps_(std::move(steps)) {}

  SignatureCheck Check(const std::wstring& path, DWORD index, DWORD* secondary_count) override {
    EXPECT_EQ(path, kPath);
    calls_ += std::to_string(index) + " ";
    if (index >= steps_.size()) {
      ADD_FAILURE() << "signature " << index << " was not scripted";
      *secondary_count = 0;  // Ends a loop that would not end by itself.
      return Refused("", false).check;
    }
    if (steps_[index].count)
      *secondary_count = *steps_[index].count;
    return steps_[index].check;
  }
  void Close() override { calls_ += "close"; }

  std::string calls_;

 private:
  std::vector<Step> steps_;
};

TEST(VerifyModuleTest, EmptyListRefusesWithoutChecking) {
  ScriptedChecker checker({Sha256(kTrusted, 0)});
  EXPECT_FALSE(VerifyModule(kPath, {}, &checker));
  EXPECT_EQ(checker.calls_, "");
}

TEST(VerifyModuleTest, WalksTheSignaturesAndDecides) {
  const struct {
    const char* name;
    std::vector<Step> steps;
    bool accepted;
    const char* calls;
  } kCases[] = {
      {"untrusted primary only", {Sha1(kUnknown, 0)}, false, "0 close"},
      {"count kept from the last report", {Sha1(kUnknown, 1), Sha1(kUnknown)}, false, "0 1 close"},
      {"count from a later call", {Sha1(kUnknown, 1), Sha1(kUnknown, 2), Sha1(kUnknown)}, false,
       "0 1 2 close"},
      {"count from a refused primary", {Refused(kUnknown, false, 1), Sha1(kTrusted)}, true,
       "0 1 close"},
      {"trusted SHA-256 wins at once", {Sha256(kTrusted, 2), Sha256(kUnknown), Sha1(kUnknown)},
       true, "0 close"},
      {"trusted SHA-1", {Sha1(kUnknown, 1), Sha1(kOtherTrusted)}, true, "0 1 close"},
      {"untrusted SHA-1 after trusted", {Sha1(kTrusted, 1), Sha1(kUnknown)}, true, "0 1 close"},
      {"trusted SHA-1, untrusted SHA-256", {Sha1(kTrusted, 1), Sha256(kUnknown)}, false,
       "0 1 close"},
      {"untrusted SHA-256, trusted SHA-1", {Sha256(kUnknown, 1), Sha1(kTrusted)}, false,
       "0 1 close"},
      {"untrusted SHA-256, trusted SHA-256",
       {Sha256(kUnknown, 2), Sha256(kTrusted), Sha1(kUnknown)}, true, "0 1 close"},
      // Refused or chainless signatures count for nothing, not even as SHA-256.
      {"refused trusted", {Refused(kTrusted, true, 1), Refused(kTrusted, false)}, false,
       "0 1 close"},
      {"chainless trusted", {Chainless(kTrusted, 0)}, false, "0 close"},
      {"refused SHA-256, trusted SHA-1", {Refused(kUnknown, true, 1), Sha1(kTrusted)}, true,
       "0 1 close"},
      {"chainless SHA-256, trusted SHA-1", {Chainless(kUnknown, 1), Sha1(kTrusted)}, true,
       "0 1 close"},
  };
  for (const auto& c : kCases) {
    base::ScopedLogCapture log;
    ScriptedChecker checker(c.steps);
    EXPECT_EQ(VerifyModule(kPath, {kTrusted, kOtherTrusted}, &checker), c.accepted) << c.name;
    EXPECT_EQ(checker.calls_, c.calls) << c.name;
    EXPECT_TRUE(log.records().empty()) << c.name;
  }
}

TEST(VerifyModuleTest, StopsAtTheLimitWhateverCountTheFileClaims) {
  ScriptedChecker checker(std::vector<Step>(kMaxSignaturesChecked, Sha1(kUnknown, 0xFFFFFFFF)));
  EXPECT_FALSE(VerifyModule(kPath, {kTrusted}, &checker));
  EXPECT_EQ(checker.calls_, "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 close");
}

TEST(VerifyModuleTest, LogsAnExceptionAndGoesOn) {
  base::ScopedLogCapture log;
  ScriptedChecker checker({{{-1, 0xC0000005, false, "", false}, 1}, Sha1(kTrusted)});
  EXPECT_TRUE(VerifyModule(kPath, {kTrusted}, &checker));
  EXPECT_EQ(checker.calls_, "0 1 close");
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.messages()[0],
            "An attempt to verify C:\\Temp\\browser-setup.arc generated an exception 3221225477, "
            "is_prevents_net_usage = 0");
  EXPECT_STREQ(log.records()[0].function, "VerifyModule");
  EXPECT_EQ(log.records()[0].severity, base::Severity::kError);
}

// The Authenticode-signed stand-in archives of the test build. All carry
// the same trust list: two (issuer, leaf) pairs with one issuer.
class SignedArchiveTest : public ::testing::Test {
 protected:
  static std::wstring Archive(const wchar_t* name) {
    return base::JoinPath(base::DirName(base::DirName(base::GetExecutablePath())),
                          std::wstring(L"testing\\archives\\") + name);
  }

  void SetUp() override {
    if (!base::FileExists(Archive(L"browser-setup.arc")))
      GTEST_SKIP() << "the signed test archives have not been built";
    ASSERT_TRUE(
        LoadTrustedCertificates(GetTrustJsonFromModule(Archive(L"browser-setup.arc")), &trusted_));
    ASSERT_EQ(trusted_.size(), 2u);
  }

  TrustedCertificates trusted_;
};

TEST_F(SignedArchiveTest, SystemCheckerReadsTheSigningPair) {
  std::unique_ptr<AuthenticodeChecker> checker = CreateSystemAuthenticodeChecker();
  DWORD count = 99;
  const SignatureCheck sha256 = checker->Check(Archive(L"browser-setup.arc"), 0, &count);
  EXPECT_EQ(count, 0u);
  const SignatureCheck sha1 = checker->Check(Archive(L"sha1-signed.arc"), 0, &count);
  const SignatureCheck other = checker->Check(Archive(L"untrusted-signer.arc"), 0, &count);
  for (const SignatureCheck* check : {&sha256, &sha1, &other}) {
    EXPECT_EQ(check->result, 0);
    EXPECT_TRUE(check->has_chain);
    ASSERT_EQ(check->identifier.size(), 32u);  // Two 16-byte serials.
  }
  EXPECT_TRUE(sha256.sha256);
  EXPECT_FALSE(sha1.sha256);
  EXPECT_TRUE(other.sha256);
  EXPECT_EQ(trusted_.count(sha256.identifier) + trusted_.count(sha1.identifier), 2u);
  EXPECT_EQ(trusted_.count(other.identifier), 0u);
  // The issuer's serial comes first: shared by the trusted pairs only.
  EXPECT_EQ(sha1.identifier.substr(0, 16), sha256.identifier.substr(0, 16));
  EXPECT_NE(other.identifier.substr(0, 16), sha256.identifier.substr(0, 16));

  EXPECT_EQ(checker->Check(Archive(L"trusted-then-untrusted-sha256.arc"), 0, &count).result, 0);
  EXPECT_EQ(count, 1u);
  EXPECT_NE(checker->Check(Archive(L"tampered.arc"), 0, &count).result, 0);
  checker->Close();
}

TEST_F(SignedArchiveTest, VerifyModuleAsksTheSystem) {
  base::ScopedLogCapture log;
  for (const wchar_t* archive :
       {L"browser-setup.arc", L"sha1-signed.arc", L"trusted-then-untrusted-sha256.arc"}) {
    EXPECT_TRUE(VerifyModule(Archive(archive), trusted_)) << base::WideToUtf8(archive);
  }
  for (const wchar_t* archive :
       {L"untrusted-signer.arc", L"tampered.arc", L"unsigned.arc", L"truncated.arc"}) {
    EXPECT_FALSE(VerifyModule(Archive(archive), trusted_)) << base::WideToUtf8(archive);
  }
  EXPECT_FALSE(VerifyModule(base::GetExecutablePath(), trusted_));
  EXPECT_TRUE(log.records().empty());
}

}  // namespace
}  // namespace download
