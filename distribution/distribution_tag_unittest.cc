#include "distribution/distribution_tag.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/log_capture_for_testing.h"
#include "distribution/tagged_image_for_testing.h"

namespace distribution {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using tagged_image::Block;
using tagged_image::Broken;
using tagged_image::Certificate;
using tagged_image::ContentInfo;
using tagged_image::Der;
using tagged_image::Image;
using tagged_image::kPeOffset;
using tagged_image::kTableOffset;
using tagged_image::kTemplate;
using tagged_image::Payload;
using tagged_image::PutLe32;
using tagged_image::RealCertificate;
using tagged_image::TrailerImage;

std::string Parse(const std::string& image, CertificateTagStatus expected) {
  DistributionTag tag = "stale";
  EXPECT_EQ(ParseFakeCertificateTag(image, &tag), expected);
  if (expected != CertificateTagStatus::kOk) {
    EXPECT_THAT(tag, IsEmpty());
  }
  return tag;
}

class FakeCertificateTest : public ::testing::TestWithParam<uint16_t> {};

TEST_P(FakeCertificateTest, UntaggedBuildYieldsEmptyTag) {
  EXPECT_THAT(Parse(Image(ContentInfo({RealCertificate(), Certificate(Payload(""))}), GetParam()),
                    CertificateTagStatus::kOk),
              IsEmpty());
}

TEST_P(FakeCertificateTest, DummyAfterRealCertificatesGivesItsTag) {
  const std::string binary_tag = "a=1\0\xFF\x80"s;
  EXPECT_EQ(Parse(Image(ContentInfo({RealCertificate(), RealCertificate(),
                                     Certificate(Payload(binary_tag, 10240))}),
                        GetParam()),
                  CertificateTagStatus::kOk),
            binary_tag);
}

TEST_P(FakeCertificateTest, TagsOfSeveralDummiesAreConcatenatedInSetOrder) {
  EXPECT_EQ(Parse(Image(ContentInfo({Certificate(Payload("a=1")), RealCertificate(),
                                     Certificate(Payload("&b=2"))}),
                        GetParam()),
                  CertificateTagStatus::kOk),
            "a=1&b=2");
}

TEST_P(FakeCertificateTest, UnusableDummiesContributeNothing) {
  std::string too_short = Payload("");
  too_short[0] = 0x01;  // Declares 300 bytes, holds 200.
  too_short[1] = 0x2C;
  too_short += std::string(200 - 16, 'x');
  std::string later_validity = kTemplate;
  later_validity[later_validity.find("130401")] = '2';  // Ends in 2023 rather than 2013.
  EXPECT_EQ(Parse(Image(ContentInfo({Certificate(Payload("a=1")), Certificate(too_short),
                                     Certificate("\x00"s), Certificate(""),
                                     Certificate(Payload("z=9"), later_validity),
                                     Certificate(Payload("z=9"), kTemplate.substr(0, 111)),
                                     Certificate(Payload("z=9"), kTemplate, 0x85),
                                     Certificate(Payload("&b=2"))}),
                        GetParam()),
                  CertificateTagStatus::kOk),
            "a=1&b=2");
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, FakeCertificateTest, ::testing::Values(0x10B, 0x20B));

TEST(FakeCertificateFormatTest, BadPeHeadersFindNoCertificateTable) {
  const std::string good = Image(ContentInfo({Certificate(Payload("a=1"))}));
  std::vector<std::string> bad;
  bad.push_back(good.substr(0, 63));
  bad.push_back(Image(ContentInfo({Certificate(Payload("a=1"))}), 0x10C));
  std::string no_signature = good;
  no_signature[kPeOffset + 1] = 'X';
  bad.push_back(no_signature);
  std::string pe_past_end = good;
  PutLe32(&pe_past_end, 60, static_cast<uint32_t>(good.size() - 95));
  bad.push_back(pe_past_end);
  std::string pe_offset_wraps = good;
  PutLe32(&pe_offset_wraps, 60, 0xFFFFFFF0);
  bad.push_back(pe_offset_wraps);
  std::string table_past_end = good;
  PutLe32(&table_past_end, kPeOffset + 24 + 92 + 40, static_cast<uint32_t>(good.size()));
  bad.push_back(table_past_end);
  // Offset plus size wraps around 32 bits.
  std::string table_wraps = good;
  PutLe32(&table_wraps, kPeOffset + 24 + 92 + 36, 0xFFFFFF00);
  PutLe32(&table_wraps, kPeOffset + 24 + 92 + 40, 0x200);
  bad.push_back(table_wraps);
  for (const std::string& image : bad)
    Parse(image, CertificateTagStatus::kNoCertificateTable);
}

TEST(FakeCertificateFormatTest, InvalidLengthFormInAnyWalkedHeaderFailsWhole) {
  const std::vector<std::string> certificates = {Certificate(Payload("a=1"))};
  for (Broken broken : {Broken::kContentInfo, Broken::kContentType, Broken::kExplicit,
                        Broken::kSignedData, Broken::kVersion, Broken::kDigestAlgorithms,
                        Broken::kEncapsulated, Broken::kCertificates}) {
    for (uint8_t form : {0x80, 0x85}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(broken) << " " << int{form});
      Parse(Image(ContentInfo(certificates, broken, form)), CertificateTagStatus::kInvalidAsn1);
    }
  }
  for (uint8_t form : {0x80, 0x85}) {
    std::string broken_certificate = Certificate(Payload("b=2"));
    broken_certificate[1] = static_cast<char>(form);
    Parse(Image(ContentInfo({Certificate(Payload("a=1")), broken_certificate})),
          CertificateTagStatus::kInvalidAsn1);
  }
}

TEST(FakeCertificateFormatTest, SetThatDoesNotEndExactlyDiscardsTags) {
  // The last certificate claims more bytes than the set has left.
  std::string overlong = Certificate(Payload("b=2"));
  overlong[3] = static_cast<char>(overlong[3] + 1);
  Parse(Image(ContentInfo({Certificate(Payload("a=1")), overlong}), 0x10B, "pad"),
        CertificateTagStatus::kInvalidAsn1);
  // A lone byte after the last certificate.
  Parse(Image(ContentInfo({Certificate(Payload("a=1")), "\x30"s})),
        CertificateTagStatus::kInvalidAsn1);
}

TEST(FakeCertificateFormatTest, TableTooSmallForTheSignatureIsInvalid) {
  // An unsigned image: no table at all.
  std::string unsigned_image = Image("");
  PutLe32(&unsigned_image, kPeOffset + 24 + 92 + 36, 0);
  PutLe32(&unsigned_image, kPeOffset + 24 + 92 + 40, 0);
  Parse(unsigned_image, CertificateTagStatus::kInvalidAsn1);
  // A table that ends before the ContentInfo does, though the file goes on.
  const std::string signature = ContentInfo({Certificate(Payload("a=1"))});
  std::string cut = Image(signature);
  PutLe32(&cut, kPeOffset + 24 + 92 + 40, static_cast<uint32_t>(8 + signature.size() - 1));
  Parse(cut, CertificateTagStatus::kInvalidAsn1);
}

TEST(SignatureTrailerTest, ReadsTheBlockAfterTheRoundedSignature) {
  for (size_t content_size : {300, 301, 303, 304, 1000}) {
    EXPECT_EQ(ParseSignatureTrailerTag(TrailerImage(Block("partner_id=7"), content_size)),
              "partner_id=7")
        << content_size;
  }
  EXPECT_EQ(ParseSignatureTrailerTag(TrailerImage(Block("a\0b"s) + "rest")), "a\0b"s);
}

TEST(SignatureTrailerTest, Pe32PlusTableIsFoundThroughItsOwnLayout) {
  std::string image = TrailerImage(Block("a=1"), 300, 0x20B);
  EXPECT_EQ(ParseSignatureTrailerTag(image), "a=1");
  // The PE32 position of a PE32+ image is the exception table's entry.
  PutLe32(&image, kPeOffset + 152, kTableOffset);
  PutLe32(&image, kPeOffset + 168, 0);
  EXPECT_THAT(ParseSignatureTrailerTag(image), IsEmpty());
}

TEST(SignatureTrailerTest, MalformedBlocksYieldEmpty) {
  std::vector<std::string> bad = {
      TrailerImage(Block("a=1", "Gact")),
      TrailerImage(Block("a=1").substr(0, 8)),  // Length runs past the end.
      TrailerImage("Tnx"),
      TrailerImage(""),
  };
  // A signature whose length is not in the two-byte form.
  bad.push_back(Image(Der(0x30, "\x81"s + std::string(100, 's')), 0x10B, Block("a=1")));
  std::string no_mz = TrailerImage(Block("a=1"));
  no_mz[0] = 'N';
  bad.push_back(no_mz);
  std::string no_table = TrailerImage(Block("a=1"));
  PutLe32(&no_table, kPeOffset + 152, 0);
  bad.push_back(no_table);
  std::string table_past_end = TrailerImage(Block("a=1"));
  PutLe32(&table_past_end, kPeOffset + 152, static_cast<uint32_t>(table_past_end.size() - 10));
  bad.push_back(table_past_end);
  for (const std::string& image : bad)
    EXPECT_THAT(ParseSignatureTrailerTag(image), IsEmpty());
}

// File-level behaviour: the log lines and the mapping's bounds.
class TagFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"tag");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    for (const std::wstring& path : files_)
      ::DeleteFileW(path.c_str());
    ::RemoveDirectoryW(dir_.c_str());
  }
  std::wstring Write(const std::string& bytes) {
    std::wstring path = dir_ + L"\\image" + std::to_wstring(files_.size()) + L".exe";
    files_.push_back(path);
    base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr));
    return path;
  }
  static std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

  std::vector<std::string> Warnings() const {
    std::vector<std::string> out;
    for (const base::LogRecord& record : log_.records()) {
      EXPECT_EQ(record.severity, base::Severity::kWarning) << record.message;
      out.push_back(record.message);
    }
    return out;
  }

  std::wstring dir_;
  std::vector<std::wstring> files_;
  base::ScopedLogCapture log_;
};

TEST_F(TagFileTest, TaggedFileYieldsTagWithoutLogging) {
  const std::wstring path = Write(Image(ContentInfo({Certificate(Payload("a=1"))}), 0x20B));
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "a=1");
  const std::wstring untagged = Write(Image(ContentInfo({Certificate(Payload(""))})));
  EXPECT_THAT(ExtractTagFromFakeCertificate(untagged), IsEmpty());
  EXPECT_THAT(Warnings(), IsEmpty());
}

TEST_F(TagFileTest, FileStillOpenForWritingElsewhereIsRead) {
  // As a browser that has just saved the download may still hold it.
  const std::wstring path = Write(Image(ContentInfo({Certificate(Payload("a=1"))})));
  const std::wstring trailer = Write(TrailerImage(Block("b=2")));
  base::ScopedHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  base::ScopedHandle trailer_writer(::CreateFileW(
      trailer.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.is_valid() && trailer_writer.is_valid());
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "a=1");
  EXPECT_EQ(ExtractTagFromSignatureTrailer(trailer), "b=2");
  EXPECT_THAT(Warnings(), IsEmpty());
}

TEST_F(TagFileTest, MissingFileLogsOpenFailureThenReadFailure) {
  const std::wstring path = dir_ + L"\\missing.exe";
  EXPECT_THAT(ExtractTagFromFakeCertificate(path), IsEmpty());
  const std::vector<std::string> warnings = Warnings();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_THAT(warnings[0], StartsWith("Can't open file " + Narrow(path) + " - 2, "));
  EXPECT_THAT(warnings[1], StartsWith("Failed to read file " + Narrow(path) + " - "));
  EXPECT_STREQ(log_.records()[0].function, "ReadAllBytesFromFile");
  EXPECT_STREQ(log_.records()[1].function, "ExtractTagFromFakeCertificate");
}

TEST_F(TagFileTest, FormatFailuresLogTheirMessageWithThePath) {
  const std::wstring no_table = Write(Image(ContentInfo({Certificate(Payload("a=1"))}), 0x10C));
  const std::wstring bad_der = Write(Image(ContentInfo({}, Broken::kSignedData, 0x80)));
  EXPECT_THAT(ExtractTagFromFakeCertificate(no_table), IsEmpty());
  EXPECT_THAT(ExtractTagFromFakeCertificate(bad_der), IsEmpty());
  const std::vector<std::string> warnings = Warnings();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_THAT(warnings[0], StartsWith("Failed to find certificate table in " + Narrow(no_table)));
  EXPECT_THAT(warnings[1],
              StartsWith("Invalid ASN1 format of certificate table in " + Narrow(bad_der)));
}

TEST_F(TagFileTest, TrailerFromFileStopsAtTheFileEnd) {
  EXPECT_EQ(ExtractTagFromSignatureTrailer(Write(TrailerImage(Block("a=1")))), "a=1");
  // The mapped region runs on to a page boundary; a block that claims the
  // zeros after the file's end must still be refused.
  std::string past_end = TrailerImage(Block("a=1\0\0\0"s));
  past_end.resize(past_end.size() - 3);
  ASSERT_NE(past_end.size() % 4096, 0u);
  EXPECT_THAT(ExtractTagFromSignatureTrailer(Write(past_end)), IsEmpty());
  EXPECT_THAT(ExtractTagFromSignatureTrailer(dir_ + L"\\missing.exe"), IsEmpty());
  EXPECT_THAT(ExtractTagFromSignatureTrailer(Write("")), IsEmpty());
  EXPECT_THAT(Warnings(), IsEmpty());
}

}  // namespace
}  // namespace distribution
