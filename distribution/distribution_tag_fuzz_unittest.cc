// Damaged images for both tag readers: random byte flips and cuts of valid
// tagged images, each handed over in a buffer that sits against a no-access
// page, so that any read outside it crashes the test.
#include "distribution/distribution_tag.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_util.h"
#include "base/log_capture_for_testing.h"
#include "distribution/tagged_image_for_testing.h"

namespace distribution {
namespace {

using tagged_image::Block;
using tagged_image::Certificate;
using tagged_image::ContentInfo;
using tagged_image::Image;
using tagged_image::kPeOffset;
using tagged_image::kTableOffset;
using tagged_image::kTemplate;
using tagged_image::Payload;
using tagged_image::PutLe32;
using tagged_image::RealCertificate;
using tagged_image::TrailerImage;

constexpr size_t kTagArea = 10240;  // What the tagging tool reserves per dummy certificate.
constexpr int kRounds = 3000;

std::string Be16(size_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

// Places copies of an image against PAGE_NOACCESS pages: ending right before
// one, or starting right after another.
class GuardedCopies {
 public:
  explicit GuardedCopies(size_t capacity) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    page_ = info.dwPageSize;
    inner_ = (capacity / page_ + 1) * page_;
    base_ = static_cast<char*>(
        ::VirtualAlloc(nullptr, inner_ + 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    guarded_ = base_ && ::VirtualProtect(base_, page_, PAGE_NOACCESS, &old) &&
               ::VirtualProtect(base_ + page_ + inner_, page_, PAGE_NOACCESS, &old);
  }
  ~GuardedCopies() { ::VirtualFree(base_, 0, MEM_RELEASE); }
  bool guarded() const { return guarded_; }

  std::string_view Place(std::string_view bytes, bool at_end) {
    char* at = at_end ? base_ + page_ + inner_ - bytes.size() : base_ + page_;
    std::memcpy(at, bytes.data(), bytes.size());
    return {at, bytes.size()};
  }

 private:
  size_t page_ = 0;
  size_t inner_ = 0;
  char* base_ = nullptr;
  bool guarded_ = false;
};

struct Results {
  CertificateTagStatus status = CertificateTagStatus::kOk;
  DistributionTag certificate_tag;
  DistributionTag trailer_tag;
};

// Both readers, on both placements, which must agree.
Results ReadGuarded(GuardedCopies* copies, std::string_view image) {
  Results results[2];
  for (bool at_end : {true, false}) {
    Results& r = results[at_end];
    r.status = ParseFakeCertificateTag(copies->Place(image, at_end), &r.certificate_tag);
    r.trailer_tag = ParseSignatureTrailerTag(copies->Place(image, at_end));
  }
  EXPECT_EQ(results[0].status, results[1].status);
  EXPECT_EQ(results[0].certificate_tag, results[1].certificate_tag);
  EXPECT_EQ(results[0].trailer_tag, results[1].trailer_tag);
  return results[1];
}

size_t CountTemplates(std::string_view image) {
  size_t count = 0;
  for (size_t at = image.find(kTemplate); at != image.npos; at = image.find(kTemplate, at + 1))
    ++count;
  return count;
}

// Whether `tag` is made of at most `runs` pieces, each stored in `image`
// right after its own big-endian 16-bit length, in image order from `from`.
bool MadeOfStoredRuns(std::string_view image, std::string_view tag, size_t runs, size_t from = 0) {
  if (tag.empty())
    return true;
  for (size_t at = from; runs > 0 && at + 2 <= image.size(); ++at) {
    const size_t length =
        static_cast<uint8_t>(image[at]) << 8 | static_cast<uint8_t>(image[at + 1]);
    if (length == 0 || length > tag.size() || length > image.size() - at - 2 ||
        image.substr(at + 2, length) != tag.substr(0, length)) {
      continue;
    }
    if (MadeOfStoredRuns(image, tag.substr(length), runs - 1, at + 2 + length))
      return true;
  }
  return false;
}

// What can be said of any image, however damaged.
void ExpectPlausible(std::string_view image, const Results& results) {
  if (results.status != CertificateTagStatus::kOk) {
    EXPECT_EQ(results.certificate_tag, "");
  }
  EXPECT_TRUE(MadeOfStoredRuns(image, results.certificate_tag, CountTemplates(image)));
  if (!results.trailer_tag.empty()) {
    EXPECT_NE(image.find("Tnxt" + Be16(results.trailer_tag.size()) + results.trailer_tag),
              image.npos);
  }
}

// For one reader: the bytes it never interprets, and where among them the
// tags lie (copied, so changes there show in the result).
struct Layout {
  std::vector<bool> ignored;
  std::vector<std::pair<size_t, size_t>> tags;  // Offset and size.

  void Set(size_t from, size_t to, bool value) {
    std::fill(ignored.begin() + from, ignored.begin() + to, value);
  }
  void Examine(size_t size, std::initializer_list<std::pair<size_t, size_t>> ranges) {
    ignored.assign(size, true);
    for (auto [from, to] : ranges)
      Set(from, to, false);
  }
  bool Ignores(const std::vector<size_t>& offsets) const {
    return !ignored.empty() &&
           std::all_of(offsets.begin(), offsets.end(), [&](size_t at) { return ignored[at]; });
  }
  DistributionTag TagIn(std::string_view image) const {
    DistributionTag out;
    for (const auto& [at, size] : tags)
      out += image.substr(at, size);
    return out;
  }
};

struct Seed {
  std::string image;
  Layout certificate;
  Layout trailer;
  size_t table_size_at = 0;  // The certificate table's size entry.
};

// The publisher's certificate, then one dummy per tag, each with the full area.
Seed CertificateSeed(uint16_t magic, const std::vector<std::string>& tags) {
  std::vector<std::string> certificates = {RealCertificate()};
  for (const std::string& tag : tags)
    certificates.push_back(Certificate(Payload(tag, kTagArea - tag.size())));
  Seed seed;
  seed.image = Image(ContentInfo(certificates), magic);
  const std::string& image = seed.image;
  const size_t directories = kPeOffset + 24 + (magic == 0x20B ? 108 : 92);
  seed.table_size_at = directories + 40;
  Layout& layout = seed.certificate;
  layout.Examine(image.size(), {{60, 64}, {kPeOffset, kPeOffset + 4},
                                {kPeOffset + 24, kPeOffset + 26},
                                {directories + 36, directories + 44},
                                {kTableOffset + 8, image.size()}});
  const size_t signer_infos = image.find("signer") - 4;
  layout.Set(signer_infos, signer_infos + 10, true);
  // Too short to hold the template, so its contents can never count.
  EXPECT_LT(certificates[0].size(), 2 + 2 + kTemplate.size());
  const size_t real = image.find(certificates[0]);
  layout.Set(real + 2, real + certificates[0].size(), true);
  for (size_t i = 1; i < certificates.size(); ++i) {
    const size_t end = image.find(certificates[i]) + certificates[i].size();
    const size_t key = image.find(kTemplate, end - certificates[i].size()) + kTemplate.size();
    layout.Set(key + 2, key + 15, true);  // The public key's contents.
    layout.Set(end - kTagArea - 11, end, true);  // Tag, padding, signature algorithm and value.
    layout.tags.emplace_back(end - kTagArea - 11, tags[i - 1].size());
    EXPECT_EQ(image.substr(end - kTagArea - 13, 2 + tags[i - 1].size()),
              Be16(tags[i - 1].size()) + tags[i - 1]);
  }
  return seed;
}

Seed TrailerSeed(uint16_t magic, const std::string& tag) {
  Seed seed;
  seed.image = TrailerImage(Block(tag), 300, magic);
  const size_t block = seed.image.size() - 6 - tag.size();
  const size_t table_at = kPeOffset + (magic == 0x20B ? 168 : 152);
  seed.trailer.Examine(seed.image.size(), {{0, 2}, {60, 64}, {kPeOffset, kPeOffset + 4},
                                           {kPeOffset + 24, kPeOffset + 26},
                                           {table_at, table_at + 4},
                                           {kTableOffset + 8, kTableOffset + 12},
                                           {block, block + 6}});
  seed.trailer.tags.emplace_back(block + 6, tag.size());
  return seed;
}

void Fuzz(const Seed& seed, uint32_t rng_seed) {
  GuardedCopies copies(seed.image.size() + 32);
  ASSERT_TRUE(copies.guarded());
  const Results original = ReadGuarded(&copies, seed.image);
  ASSERT_EQ(original.certificate_tag, seed.certificate.TagIn(seed.image));
  ASSERT_EQ(original.trailer_tag, seed.trailer.TagIn(seed.image));

  std::mt19937 rng(rng_seed);
  for (int round = 0; round < kRounds && !::testing::Test::HasFailure(); ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round << " of seed " << rng_seed);
    const int mode = round % 3;  // Flips only, cut only, both.
    std::string image = seed.image;
    std::vector<size_t> flipped;
    for (uint32_t flips = mode == 1 ? 0 : 1 + rng() % 8; flips > 0; --flips) {
      flipped.push_back(rng() % image.size());
      image[flipped.back()] ^= static_cast<char>(1 + rng() % 255);
    }
    if (mode != 0)  // Bytes after the table, so that some cuts leave it whole.
      image.append(rng() % 32, 'z');
    const Results whole = ReadGuarded(&copies, image);
    ExpectPlausible(image, whole);
    if (mode == 0 && seed.certificate.Ignores(flipped)) {
      EXPECT_EQ(whole.status, CertificateTagStatus::kOk);
      EXPECT_EQ(whole.certificate_tag, seed.certificate.TagIn(image));
    }
    if (mode == 0 && seed.trailer.Ignores(flipped)) {
      EXPECT_EQ(whole.trailer_tag, seed.trailer.TagIn(image));
    }
    if (mode == 0)
      continue;

    // Half anywhere, half close to the end, where the tags are.
    const uint32_t where = rng() % 4;
    const size_t cut = where < 2 ? rng() % image.size()
                                 : image.size() - 1 - rng() % (where == 2 ? 400 : 48);
    image.resize(cut);
    const bool into_seed = cut < seed.image.size();
    if (mode == 1 && round % 2 && seed.table_size_at && into_seed && cut >= kTableOffset) {
      // The table shrunk with the file: the signature itself is cut short.
      PutLe32(&image, seed.table_size_at, static_cast<uint32_t>(cut - kTableOffset));
      EXPECT_EQ(ReadGuarded(&copies, image).status, CertificateTagStatus::kInvalidAsn1);
      continue;
    }
    const Results part = ReadGuarded(&copies, image);
    ExpectPlausible(image, part);
    // Every bound is checked before a read, so a prefix either fails or
    // answers what the whole image answers.
    if (part.status == CertificateTagStatus::kOk) {
      EXPECT_EQ(whole.status, CertificateTagStatus::kOk);
      EXPECT_EQ(part.certificate_tag, whole.certificate_tag);
    }
    if (!part.trailer_tag.empty()) {
      EXPECT_EQ(part.trailer_tag, whole.trailer_tag);
    }
    // Each seed's certificate table and trailer block run to its end.
    if (mode == 1) {
      EXPECT_EQ(part.status, into_seed ? CertificateTagStatus::kNoCertificateTable
                                       : original.status);
      EXPECT_EQ(part.certificate_tag, into_seed ? "" : original.certificate_tag);
      EXPECT_EQ(part.trailer_tag, into_seed ? "" : original.trailer_tag);
    }
  }
}

TEST(DistributionTagFuzzTest, CertificatePlacement) {
  uint32_t rng_seed = 0;
  for (uint16_t magic : {0x10B, 0x20B}) {
    for (const std::vector<std::string>& tags : {std::vector<std::string>{"a=1&p=x"},
                                                 std::vector<std::string>{"a=1", "&b=2"}}) {
      SCOPED_TRACE(::testing::Message() << "magic " << magic << ", " << tags.size() << " dummies");
      Fuzz(CertificateSeed(magic, tags), ++rng_seed);
    }
  }
}

TEST(DistributionTagFuzzTest, TrailerPlacement) {
  Fuzz(TrailerSeed(0x10B, "partner_id=7"), 10);
  Fuzz(TrailerSeed(0x20B, "partner_id=7"), 11);
}

std::string CertificateImage(const std::vector<std::string>& payloads, uint16_t magic) {
  std::vector<std::string> certificates = {RealCertificate()};
  for (const std::string& payload : payloads)
    certificates.push_back(Certificate(payload));
  return Image(ContentInfo(certificates), magic);
}

DistributionTag ReadCertificateTag(const std::string& image) {
  GuardedCopies copies(image.size());
  EXPECT_TRUE(copies.guarded());
  const Results results = ReadGuarded(&copies, image);
  EXPECT_EQ(results.status, CertificateTagStatus::kOk);
  return results.certificate_tag;
}

TEST(DistributionTagLimitTest, FullAreaIsReadWholeAndPayloadBoundsTheTag) {
  const std::string full = "a=" + std::string(kTagArea - 2, 'x');
  for (uint16_t magic : {0x10B, 0x20B}) {
    EXPECT_EQ(ReadCertificateTag(CertificateImage({Payload(full, 0)}, magic)), full);
    EXPECT_EQ(ReadCertificateTag(CertificateImage({Payload(full, 0), Payload(full, 0)}, magic)),
              full + full);
  }
  // The area is what the tagging tool reserves, not a reader limit: a tag is
  // bounded by its own payload.
  const std::string longer(kTagArea + 1, 'y');
  EXPECT_EQ(ReadCertificateTag(CertificateImage({Payload(longer, 0)}, 0x10B)), longer);
  std::string short_by_one = Payload(longer, 0);
  short_by_one.pop_back();
  EXPECT_EQ(ReadCertificateTag(CertificateImage({short_by_one}, 0x20B)), "");
}

TEST(DistributionTagLimitTest, LengthPastTheAreaReadsNothingAndLogsNothing) {
  const std::wstring dir = base::CreateTemporaryDirectory(L"tagfuzz");
  ASSERT_FALSE(dir.empty());
  const std::wstring path = dir + L"\\image.exe";
  base::ScopedLogCapture log;
  for (size_t claimed : {kTagArea + 1, size_t{0x8000}, size_t{0xFFFF}}) {
    const std::string payload = Be16(claimed) + std::string(kTagArea, 'x');
    for (uint16_t magic : {0x10B, 0x20B}) {
      EXPECT_EQ(ReadCertificateTag(CertificateImage({payload}, magic)), "");
      // The other dummies still count, also through the file reader.
      const std::string image = CertificateImage({Payload("a=1"), payload, Payload("&b=2")}, magic);
      EXPECT_EQ(ReadCertificateTag(image), "a=1&b=2");
      ASSERT_TRUE(base::WriteWholeFile(path, image));
      EXPECT_EQ(ExtractTagFromFakeCertificate(path), "a=1&b=2");
    }
  }
  // An unusable dummy is not a failure of the file.
  EXPECT_EQ(log.messages(), std::vector<std::string>());
  ::DeleteFileW(path.c_str());
  ::RemoveDirectoryW(dir.c_str());
}

}  // namespace
}  // namespace distribution
