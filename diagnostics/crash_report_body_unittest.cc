#include <zlib.h>

#include <cstring>

#include "diagnostics/crash_upload_url.h"
#include "diagnostics/crashpad_info_stream.h"
#include "diagnostics/http_body_stream.h"
#include "diagnostics/multipart_body.h"
#include "diagnostics/winhttp_transport.h"
#include "gtest/gtest.h"

namespace diagnostics {
namespace {

std::string Gunzip(const std::string& data) {
  z_stream z = {};
  EXPECT_EQ(inflateInit2(&z, 31), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[1024];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof(buffer);
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - z.avail_out);
  }
  EXPECT_EQ(result, Z_STREAM_END);
  inflateEnd(&z);
  return out;
}

uint32_t U32At(const std::string& data, size_t offset) {
  uint32_t value;
  memcpy(&value, data.data() + offset, 4);
  return value;
}

std::string StringAt(const std::string& data, uint32_t offset) {
  return data.substr(offset + 4, U32At(data, offset));
}

TEST(MultipartBodyTest, BoundaryHasTheDocumentedForm) {
  const std::string a = MultipartBody::MakeBoundary();
  ASSERT_EQ(a.size(), 21u + 32 + 3);
  EXPECT_EQ(a.substr(0, 21), "---MultipartBoundary-");
  EXPECT_EQ(a.substr(53), "---");
  for (char c : a.substr(21, 32))
    EXPECT_TRUE(isalnum(static_cast<unsigned char>(c))) << a;
  EXPECT_NE(a, MultipartBody::MakeBoundary());
}

TEST(MultipartBodyTest, FieldsInKeyOrderThenTheFileThenTheEnd) {
  MultipartBody body("B");
  body.SetFormField("zeta", "last");
  body.SetFormField("alpha", "first");
  body.SetFile("upload_file_minidump", "u.dmp", "application/octet-stream",
               std::make_unique<StringBodyStream>(std::string("MDMP\0\r\n", 7)));
  EXPECT_EQ(body.ContentType(), "multipart/form-data; boundary=B");
  std::string text;
  ASSERT_TRUE(ReadWholeBody(body.TakeStream().get(), &text));
  EXPECT_EQ(text, std::string(
      "--B\r\nContent-Disposition: form-data; name=\"alpha\"\r\n\r\nfirst\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"zeta\"\r\n\r\nlast\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; "
      "filename=\"u.dmp\"\r\nContent-Type: application/octet-stream\r\n\r\n"
      "MDMP\0\r\n\r\n--B--\r\n", 260));
}

TEST(MultipartBodyTest, QuotesAndLineBreaksInNamesCannotEndTheirHeader) {
  MultipartBody body("B");
  body.SetFormField("a\"b\r\nX-Injected: 1", "v\r\n");
  body.SetFile("f", "u\".dmp", "application/octet-stream",
               std::make_unique<StringBodyStream>(std::string("D")));
  std::string text;
  ASSERT_TRUE(ReadWholeBody(body.TakeStream().get(), &text));
  EXPECT_EQ(text,
            "--B\r\nContent-Disposition: form-data; name=\"a%22b%0D%0AX-Injected: 1\"\r\n\r\n"
            "v\r\n\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"u%22.dmp\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\nD\r\n--B--\r\n");
}

TEST(GzipBodyStreamTest, RoundTripsLargeAndEmptyBodiesInSmallReads) {
  std::string large;
  for (int i = 0; i < 100000; ++i)
    large += static_cast<char>((i * 7919) % 251);
  for (const std::string& original : {large, std::string()}) {
    GzipBodyStream gzip(std::make_unique<StringBodyStream>(original));
    std::string compressed;
    uint8_t buffer[100];
    size_t count = 0;
    do {
      ASSERT_TRUE(gzip.Read(buffer, sizeof(buffer), &count));
      compressed.append(reinterpret_cast<char*>(buffer), count);
    } while (count > 0);
    ASSERT_GE(compressed.size(), 18u);
    EXPECT_EQ(compressed.substr(0, 2), "\x1f\x8b");  // gzip, not zlib or raw
    EXPECT_EQ(Gunzip(compressed), original);
  }
}

TEST(ChunkFrameTest, EightLowerCaseHexDigits) {
  EXPECT_EQ(ChunkFrame("abc", 3), "00000003\r\nabc\r\n");
  std::string big(32768, 'x');
  EXPECT_EQ(ChunkFrame(big.data(), big.size()).substr(0, 10), "00008000\r\n");
  EXPECT_EQ(ChunkFrame(nullptr, 0), "00000000\r\n\r\n");
}

TEST(CrashUploadUrlTest, QueryInFixedOrderPercentEncoded) {
  EXPECT_EQ(CrashUploadUrl("h:1", {{"ver", "21.2.2.102"}, {"prod", "Tarnix"}, {"uid", "x"}}),
            "https://h:1/submit?product=Tarnix&version=21.2.2.102");
  EXPECT_EQ(CrashUploadUrl("h", {{"ver", "1 2/\xff~"}, {"guid", "g"}}),
            "https://h/submit?version=1%202%2F%FF~&guid=g");
  EXPECT_EQ(CrashUploadUrl("h", {}), "https://h/submit");
  // Cut at 127 characters, but never inside an escape.
  std::string url = CrashUploadUrl("h", {{"prod", std::string(200, ' ')}});
  std::string parameter = url.substr(url.find('?'));
  EXPECT_LE(parameter.size(), 127u);
  EXPECT_GE(parameter.size(), 125u);
  EXPECT_EQ(parameter.back(), '0');
}

TEST(CrashpadInfoStreamTest, BuildsAndRelocatesEveryOffset) {
  GUID report = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  GUID client = {};
  std::map<std::string, std::string> annotations = {{"b", "value two"}, {"a", "1"}};
  std::string stream = BuildCrashpadInfoStream(report, client, annotations);
  EXPECT_EQ(U32At(stream, 0), 1u);
  EXPECT_EQ(memcmp(stream.data() + 4, &report, 16), 0);
  EXPECT_EQ(U32At(stream, 44), 0u);  // empty module list
  EXPECT_EQ(U32At(stream, 48), 0u);
  const uint32_t dictionary = U32At(stream, 40);
  EXPECT_EQ(U32At(stream, 36), 4u + 2 * 8);
  ASSERT_EQ(U32At(stream, dictionary), 2u);
  EXPECT_EQ(StringAt(stream, U32At(stream, dictionary + 4)), "a");
  EXPECT_EQ(StringAt(stream, U32At(stream, dictionary + 16)), "value two");
  EXPECT_EQ(stream[U32At(stream, dictionary + 16) + 4 + 9], '\0');

  std::string moved = stream;
  ASSERT_TRUE(RelocateCrashpadInfoStream(&moved, 1000));
  EXPECT_EQ(U32At(moved, 40), dictionary + 1000);
  for (uint32_t at = dictionary + 4; at < dictionary + 20; at += 4)
    EXPECT_EQ(U32At(moved, at), U32At(stream, at) + 1000);

  std::string garbage = stream.substr(0, 30);
  EXPECT_FALSE(RelocateCrashpadInfoStream(&garbage, 1));
  EXPECT_EQ(GuidText(report), "01020304-0506-0708-090A-0B0C0D0E0F10");
}

}  // namespace
}  // namespace diagnostics
