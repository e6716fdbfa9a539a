#include "distribution/distribution_tag.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "diagnostics/log_capture_for_testing.h"

namespace distribution {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// A DER element whose length octets can be broken on purpose.
struct Node {
  uint8_t identifier = 0x30;
  std::string content;
  uint8_t broken_length = 0;  // 0x80 or 0x85 to write that instead.

  std::string Encode() const {
    std::string out(1, static_cast<char>(identifier));
    if (broken_length) {
      out += static_cast<char>(broken_length);
    } else if (content.size() < 0x80) {
      out += static_cast<char>(content.size());
    } else {
      out += "\x82"s;
      out += static_cast<char>(content.size() >> 8);
      out += static_cast<char>(content.size() & 0xFF);
    }
    return out + content;
  }
};

std::string Der(uint8_t identifier, const std::string& content, uint8_t broken = 0) {
  return Node{identifier, content, broken}.Encode();
}

const std::string kTemplate =
    "\xA0\x03\x02\x01\x02\x02\x01\x01\x30\x0D\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x05\x05\x00"
    "\x30\x19\x31\x17\x30\x15\x06\x03\x55\x04\x03\x13\x0E" "Unknown issuer"
    "\x30\x1E\x17\x0D" "130101100000Z" "\x17\x0D" "130401100000Z"
    "\x30\x1C\x31\x1A\x30\x18\x06\x03\x55\x04\x03\x13\x11" "Dummy certificate"s;

std::string Payload(const std::string& tag, size_t padding = 16) {
  std::string out;
  out += static_cast<char>(tag.size() >> 8);
  out += static_cast<char>(tag.size() & 0xFF);
  return out + tag + std::string(padding, '\0');
}

// A certificate built like the tagging tool's; `tbs_prefix` replaces the
// template and `payload` is the fourth extension's value.
std::string Certificate(const std::string& payload, const std::string& tbs_prefix = kTemplate,
                        uint8_t broken_extensions = 0) {
  const std::string spki = Der(0x30, Der(0x30, "\x06\x01\x01\x05\x00"s) + Der(0x03, "\x00key"s));
  const std::string extension = Der(0x30, Der(0x06, "\x55\x1D\x0F"s) + Der(0x04, "x"));
  const std::string tag_extension = Der(0x30, Der(0x06, "\x2B\x06\x01"s) + Der(0x04, payload));
  const std::string extensions =
      Der(0xA3, Der(0x30, extension + extension + extension + tag_extension, broken_extensions));
  const std::string tbs = Der(0x30, tbs_prefix + spki + extensions);
  return Der(0x30, tbs + Der(0x30, "\x06\x01\x01"s) + Der(0x03, "\x00sig"s));
}

std::string RealCertificate() {
  return Certificate(Payload("not a dummy"), "\xA0\x03\x02\x01\x02\x02\x02\x10\x01"s);
}

// Which outer header to break, in walking order.
enum class Broken { kNone, kContentInfo, kContentType, kExplicit, kSignedData, kVersion,
                    kDigestAlgorithms, kEncapsulated, kCertificates };

std::string ContentInfo(const std::vector<std::string>& certificates,
                        Broken broken = Broken::kNone, uint8_t form = 0x85) {
  auto b = [&](Broken which) { return broken == which ? form : uint8_t{0}; };
  std::string set;
  for (const std::string& certificate : certificates)
    set += certificate;
  const std::string signed_data =
      Der(0x02, "\x01", b(Broken::kVersion)) + Der(0x31, Der(0x30, "\x06\x01\x01"s),
                                                   b(Broken::kDigestAlgorithms)) +
      Der(0x30, Der(0x06, "\x2B\x06"s), b(Broken::kEncapsulated)) +
      Der(0xA0, set, b(Broken::kCertificates)) + Der(0x31, Der(0x30, "signer"));
  return Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02"s, b(Broken::kContentType)) +
                       Der(0xA0, Der(0x30, signed_data, b(Broken::kSignedData)),
                           b(Broken::kExplicit)),
             b(Broken::kContentInfo));
}

void PutLe16(std::string* s, size_t at, uint16_t v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}
void PutLe32(std::string* s, size_t at, uint32_t v) {
  PutLe16(s, at, v & 0xFFFF);
  PutLe16(s, at + 2, v >> 16);
}

constexpr size_t kPeOffset = 0x80;
constexpr size_t kTableOffset = 0x200;

// A PE image whose certificate table, at kTableOffset, holds `signature`
// behind an entry header, then `extra`. The table's size covers both.
std::string Image(const std::string& signature, uint16_t magic = 0x10B,
                  const std::string& extra = "") {
  std::string image(kTableOffset, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutLe32(&image, 60, kPeOffset);
  image.replace(kPeOffset, 4, "PE\0\0"s);
  PutLe16(&image, kPeOffset + 24, magic);
  const size_t directories = kPeOffset + 24 + (magic == 0x20B ? 108 : 92);
  const std::string table = "\0\0\0\0\0\x02\x02\x00"s + signature + extra;
  PutLe32(&image, directories, 16);
  PutLe32(&image, directories + 36, kTableOffset);
  PutLe32(&image, directories + 40, static_cast<uint32_t>(table.size()));
  PutLe32(&image, kTableOffset, static_cast<uint32_t>(table.size()));
  return image + table;
}

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

// The older placement: a PE32 image whose signature is followed by a block.
std::string TrailerImage(const std::string& block, size_t content_size = 300,
                         uint16_t magic = 0x10B) {
  const std::string signature = Der(0x30, std::string(content_size, 's'));
  const size_t padding = ((content_size + 19) & 0x1FFF8) - (12 + content_size);
  return Image(signature, magic, std::string(padding, '\0') + block);
}

std::string Block(const std::string& tag, const std::string& magic = "Tnxt") {
  return magic + static_cast<char>(tag.size() >> 8) + static_cast<char>(tag.size() & 0xFF) + tag;
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
    for (const diagnostics::LogRecord& record : log_.records()) {
      EXPECT_EQ(record.severity, diagnostics::Severity::kWarning) << record.message;
      out.push_back(record.message);
    }
    return out;
  }

  std::wstring dir_;
  std::vector<std::wstring> files_;
  diagnostics::ScopedLogCapture log_;
};

TEST_F(TagFileTest, TaggedFileYieldsTagWithoutLogging) {
  const std::wstring path = Write(Image(ContentInfo({Certificate(Payload("a=1"))}), 0x20B));
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "a=1");
  const std::wstring untagged = Write(Image(ContentInfo({Certificate(Payload(""))})));
  EXPECT_THAT(ExtractTagFromFakeCertificate(untagged), IsEmpty());
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
