#include "download/trust_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"

namespace download {
namespace {

TEST(DecodeBase64Test, DecodesStrictBase64Only) {
  std::string bytes;
  EXPECT_TRUE(DecodeBase64("AQIDBA==", &bytes));
  EXPECT_EQ(bytes, "\x01\x02\x03\x04");
  EXPECT_TRUE(DecodeBase64("+/+/AAU=", &bytes));
  EXPECT_EQ(bytes, std::string("\xfb\xff\xbf\x00\x05", 5));
  for (const char* text : {"", "AQI", "AQID BA==", "AQIDBA==\n", "AQ=DBA==", "A===", "-_-_"})
    EXPECT_FALSE(DecodeBase64(text, &bytes)) << text;
}

TEST(LoadTrustedCertificatesTest, RefusesOtherShapesWithAnEmptySet) {
  for (const char* json : {
           "not json",
           R"({"trusted_info": {"certificates": []})",
           R"([{"trusted_info": {"certificates": []}}])",
           R"({"certificates": []})",
           R"({"trusted_info": [{"certificates": []}]})",
           R"({"trusted_info": {"ids": []}})",
           R"({"trusted_info": {"certificates": {"id": "AQID"}}})",
       }) {
    TrustedCertificates certificates = {"left over"};
    EXPECT_FALSE(LoadTrustedCertificates(json, &certificates)) << json;
    EXPECT_TRUE(certificates.empty()) << json;
  }
}

TEST(LoadTrustedCertificatesTest, KeepsUsableIdsOnly) {
  TrustedCertificates certificates = {"left over"};
  ASSERT_TRUE(LoadTrustedCertificates(R"({"trusted_info": {"comment": 1, "certificates": [
      {"id": "gAE="}, "AQID", 7, null, {"name": "AQID"}, {"id": 1234}, {"id": "not base64"},
      {"id": "AQID"}, {"id": "AQIDBA=="}, {"id": "AQID"}]}})", &certificates));
  // Ordered by unsigned bytes, a prefix first.
  EXPECT_EQ(std::vector<std::string>(certificates.begin(), certificates.end()),
            (std::vector<std::string>{"\x01\x02\x03", "\x01\x02\x03\x04", "\x80\x01"}));

  EXPECT_TRUE(LoadTrustedCertificates(R"({"trusted_info": {"certificates": []}})", &certificates));
  EXPECT_TRUE(certificates.empty());
}

// The test build's signed stand-in archives and the trust lists in them.
std::wstring TestingFile(const std::wstring& name) {
  return base::JoinPath(base::DirName(base::DirName(base::GetExecutablePath())),
                        L"testing\\" + name);
}
std::wstring Archive(const std::wstring& name) {
  return TestingFile(L"archives\\" + name);
}

class GetTrustJsonFromModuleTest : public ::testing::Test {
 protected:
  // The call logged just `text` under its own name, with a system error text.
  void ExpectOnlyLine(const std::string& text) {
    ASSERT_EQ(log_.records().size(), 1u) << text;
    EXPECT_STREQ(log_.records()[0].function, "GetTrustJsonFromModule");
    EXPECT_EQ(log_.records()[0].message.rfind(text + " - ", 0), 0u) << log_.messages()[0];
    log_.Clear();
  }

  base::ScopedLogCapture log_;
};

TEST_F(GetTrustJsonFromModuleTest, RefusesFilesWithoutASignedList) {
  const std::wstring dir = base::CreateTemporaryDirectory(L"trl");
  const std::wstring missing = base::JoinPath(dir, L"missing.dll");
  const std::wstring text = base::JoinPath(dir, L"text.dll");
  std::ofstream(text.c_str()) << R"({"trusted_info": {"certificates": []}})";
  for (const std::wstring& path : {missing, text}) {
    EXPECT_EQ(GetTrustJsonFromModule(path), "");
    ExpectOnlyLine("Failed to load module for GetTrustJsonFromModule: " + base::WideToUtf8(path));
  }
  ::DeleteFileW(text.c_str());
  ::RemoveDirectoryW(dir.c_str());

  EXPECT_EQ(GetTrustJsonFromModule(base::GetExecutablePath()), "");
  ExpectOnlyLine("Cannot find resource SIGNATURE_DAT");
}

class SignedArchiveTrustTest : public GetTrustJsonFromModuleTest {
 protected:
  void SetUp() override {
    if (!base::FileExists(Archive(L"browser-setup.arc")))
      GTEST_SKIP() << "the signed test archives have not been built";
  }
};

TEST_F(SignedArchiveTrustTest, RefusesRelativePathsWithoutLoading) {
  // From the archives' directory, each of these would reach a valid archive.
  const std::wstring archive = Archive(L"browser-setup.arc");
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(base::DirName(archive).c_str()));
  for (const std::wstring& path :
       {std::wstring(L"browser-setup.arc"), archive.substr(0, 2) + L"browser-setup.arc",
        archive.substr(2), std::wstring()}) {
    EXPECT_EQ(GetTrustJsonFromModule(path), "");
    ExpectOnlyLine("Attempting to GetTrustJsonFromModule at an invalid path: " +
                   base::WideToUtf8(path));
  }
  ::SetCurrentDirectoryW(previous);
}

TEST_F(SignedArchiveTrustTest, AnswersOnlyAListSignedWithTheKeyItNames) {
  std::ostringstream json;
  json << std::ifstream(TestingFile(L"trust_lists\\trusted\\TRUSTED.JSON").c_str(),
                        std::ios::binary).rdbuf();
  ASSERT_FALSE(json.str().empty());
  std::wstring forward_slashes = Archive(L"browser-setup.arc");
  std::replace(forward_slashes.begin(), forward_slashes.end(), L'\\', L'/');
  for (const std::wstring& path : {Archive(L"browser-setup.arc"), Archive(L"trust-key-9.arc"),
                                   forward_slashes, L"\\\\?\\" + Archive(L"browser-setup.arc")}) {
    EXPECT_EQ(GetTrustJsonFromModule(path), json.str()) << base::WideToUtf8(path);
  }
  EXPECT_TRUE(log_.records().empty());

  const struct {
    const wchar_t* archive;
    const char* line;
  } kRefused[] = {
      {L"signature-dat-2-bytes.arc", "Cannot find resource SIGNATURE_DAT"},
      {L"trust-key-10.arc", "Cannot find key"},
      {L"trust-key-minus-1.arc", "Cannot find key"},
  };
  for (const auto& c : kRefused) {
    EXPECT_EQ(GetTrustJsonFromModule(Archive(c.archive)), "");
    ExpectOnlyLine(c.line);
  }

  // Names key 2, signed with key 5: the verifier's line, then the refusal.
  EXPECT_EQ(GetTrustJsonFromModule(Archive(L"trust-list-wrong-key.arc")), "");
  ASSERT_EQ(log_.records().size(), 2u);
  EXPECT_STREQ(log_.records()[0].function, "VerifySignature");
  EXPECT_STREQ(log_.records()[1].function, "GetTrustJsonFromModule");
  EXPECT_EQ(log_.messages()[1].rfind("Verify error - ", 0), 0u);
}

// A copy of the signed archive, changed by `edit` at the bytes it returns.
std::wstring DamagedCopy(const std::wstring& dir, const wchar_t* name,
                         void (*edit)(std::string* bytes)) {
  std::ostringstream original;
  original << std::ifstream(Archive(L"browser-setup.arc").c_str(), std::ios::binary).rdbuf();
  std::string bytes = original.str();
  edit(&bytes);
  const std::wstring path = base::JoinPath(dir, name);
  std::ofstream(path.c_str(), std::ios::binary) << bytes;
  return path;
}

IMAGE_SECTION_HEADER* Sections(std::string* bytes, WORD* count) {
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(bytes->data());
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(bytes->data() + dos->e_lfanew);
  *count = nt->FileHeader.NumberOfSections;
  return IMAGE_FIRST_SECTION(nt);
}

TEST_F(SignedArchiveTrustTest, RefusesDamagedArchivesBeforeMappingThem) {
  const std::wstring dir = base::CreateTemporaryDirectory(L"trl");
  const std::wstring damaged[] = {
      // Cut inside its last section.
      DamagedCopy(dir, L"cut.arc",
                  [](std::string* bytes) { bytes->resize(bytes->size() * 2 / 3); }),
      // A section table that claims more data than the file holds.
      DamagedCopy(dir, L"long-section.arc",
                  [](std::string* bytes) {
                    WORD count = 0;
                    Sections(bytes, &count)[count - 1].SizeOfRawData += 0x100000;
                  }),
      // A header that points outside the file.
      DamagedCopy(dir, L"far-header.arc",
                  [](std::string* bytes) {
                    reinterpret_cast<IMAGE_DOS_HEADER*>(bytes->data())->e_lfanew = 0x7FFFFFF0;
                  }),
  };
  for (const std::wstring& path : damaged) {
    EXPECT_EQ(GetTrustJsonFromModule(path), "") << base::WideToUtf8(path);
    ExpectOnlyLine("Failed to load module for GetTrustJsonFromModule: " + base::WideToUtf8(path));
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
  }

  // Sound sections, but the list's resource entry claims more bytes than
  // the file holds: the lookup must not read past the mapping.
  const std::wstring long_entry = DamagedCopy(dir, L"long-entry.arc", [](std::string* bytes) {
    std::ostringstream json;
    json << std::ifstream(TestingFile(L"trust_lists\\trusted\\TRUSTED.JSON").c_str(),
                          std::ios::binary).rdbuf();
    const size_t offset = bytes->find(json.str());
    WORD count = 0;
    const IMAGE_SECTION_HEADER* sections = Sections(bytes, &count);
    for (WORD i = 0; i < count && offset != std::string::npos; ++i) {
      const IMAGE_SECTION_HEADER& section = sections[i];
      if (offset < section.PointerToRawData ||
          offset >= section.PointerToRawData + section.SizeOfRawData)
        continue;
      // IMAGE_RESOURCE_DATA_ENTRY: the data's address, then its size.
      const DWORD entry[2] = {
          static_cast<DWORD>(offset - section.PointerToRawData + section.VirtualAddress),
          static_cast<DWORD>(json.str().size())};
      const size_t at = bytes->find(std::string(reinterpret_cast<const char*>(entry), 8));
      if (at != std::string::npos)
        reinterpret_cast<DWORD*>(bytes->data() + at)[1] = 0x7FFFFFF0;
    }
  });
  EXPECT_EQ(GetTrustJsonFromModule(long_entry), "");
  ExpectOnlyLine("Cannot find resource TRUSTED_JSON");
  EXPECT_TRUE(::DeleteFileW(long_entry.c_str()));
  ::RemoveDirectoryW(dir.c_str());
}

TEST_F(SignedArchiveTrustTest, ReadsTheListOfAnArchiveLockedAsTheInstallerLocksIt) {
  // The installer holds the archive open for reading and execution, sharing
  // only reading, while it reads the list: the lookup's own open must fit.
  const std::wstring archive = Archive(L"browser-setup.arc");
  base::ScopedHandle lock(::CreateFileW(archive.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(lock.is_valid()) << ::GetLastError();
  const std::string json = GetTrustJsonFromModule(archive);
  EXPECT_NE(json.find("\"trusted_info\""), std::string::npos) << json;
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(SignedArchiveTrustTest, ReleasesTheImage) {
  // A mapped image cannot be deleted, so a successful delete shows it released.
  const std::wstring copy = base::JoinPath(base::CreateTemporaryDirectory(L"trl"), L"copy.arc");
  for (const wchar_t* archive :
       {L"browser-setup.arc", L"trust-list-wrong-key.arc", L"trust-key-10.arc"}) {
    ASSERT_TRUE(::CopyFileW(Archive(archive).c_str(), copy.c_str(), FALSE));
    HMODULE held = ::LoadLibraryExW(copy.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_FALSE(::DeleteFileW(copy.c_str()));
    ::FreeLibrary(held);
    GetTrustJsonFromModule(copy);
    EXPECT_TRUE(::DeleteFileW(copy.c_str())) << base::WideToUtf8(archive);
  }
  ::RemoveDirectoryW(base::DirName(copy).c_str());
}

}  // namespace
}  // namespace download
