#include "distribution/cab_extractor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"
#include "distribution/cab_writer_for_testing.h"
#include "distribution/distribution_tag.h"

namespace distribution {
namespace {

std::string ReadFixture(const char* dir, const char* name) {
  std::string bytes;
  std::wstring path = base::WidenBytes(std::string(dir) + "/" + name);
  EXPECT_TRUE(ReadAllBytesFromFile(path, &bytes)) << dir << "/" << name;
  return bytes;
}

std::string Cab(const char* name) {
  return ReadFixture(TX_TEST_CABS_DIR, name);
}

std::string Input(const char* name) {
  return ReadFixture(TX_TEST_CAB_INPUTS_DIR, name);
}

// A copy of some bytes that ends exactly where an inaccessible page begins, so
// that reading one byte past the end faults.
class GuardedCopy {
 public:
  explicit GuardedCopy(std::string_view bytes) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    size_t page = info.dwPageSize;
    size_t usable = (bytes.size() + page - 1) / page * page;
    base_ = static_cast<char*>(
        ::VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base_)
      return;
    DWORD old_protection;
    ::VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old_protection);
    char* start = base_ + usable - bytes.size();
    if (!bytes.empty())
      std::memcpy(start, bytes.data(), bytes.size());
    view_ = std::string_view(start, bytes.size());
  }
  ~GuardedCopy() {
    if (base_)
      ::VirtualFree(base_, 0, MEM_RELEASE);
  }
  GuardedCopy(const GuardedCopy&) = delete;
  GuardedCopy& operator=(const GuardedCopy&) = delete;

  std::string_view view() const { return view_; }

 private:
  char* base_ = nullptr;
  std::string_view view_;
};

TEST(CabExtractorTest, ExtractsTheWantedFileFromAnUncompressedCabinet) {
  std::string contents;
  ASSERT_TRUE(ExtractFileFromCabinet(Cab("mixed.cab"), "brand_config", &contents));
  EXPECT_EQ(contents, Input("brand_config"));
}

TEST(CabExtractorTest, ExtractsTheWantedFileFromACompressedCabinet) {
  std::string contents;
  ASSERT_TRUE(ExtractFileFromCabinet(Cab("mixed_zip.cab"), "brand_config", &contents));
  EXPECT_EQ(contents, Input("brand_config"));
}

TEST(CabExtractorTest, NamesAreCaseSensitive) {
  for (const char* cab : {"mixed.cab", "mixed_zip.cab"}) {
    std::string contents;
    ASSERT_TRUE(ExtractFileFromCabinet(Cab(cab), "Brand_Config", &contents)) << cab;
    EXPECT_EQ(contents, Input("Brand_Config")) << cab;
    EXPECT_FALSE(ExtractFileFromCabinet(Cab(cab), "BRAND_CONFIG", &contents)) << cab;
  }
  std::string contents = "untouched";
  EXPECT_FALSE(ExtractFileFromCabinet(Cab("other_case.cab"), "brand_config", &contents));
  EXPECT_EQ(contents, "untouched");
}

TEST(CabExtractorTest, ExtractsAnEmptyFile) {
  for (const char* cab : {"mixed.cab", "mixed_zip.cab"}) {
    std::string contents = "not yet";
    ASSERT_TRUE(ExtractFileFromCabinet(Cab(cab), "empty.dat", &contents)) << cab;
    EXPECT_EQ(contents, "") << cab;
  }
}

TEST(CabExtractorTest, ExtractsFilesOfSeveralDataBlocks) {
  std::string large = ReadFixture(TX_TEST_CABS_DIR, "inputs/large.txt");
  ASSERT_GT(large.size(), 3u * 32768);  // A data block holds at most 32 KiB.
  for (const char* cab : {"large.cab", "large_zip.cab"}) {
    std::string bytes = Cab(cab);
    std::string contents;
    ASSERT_TRUE(ExtractFileFromCabinet(bytes, "large.txt", &contents)) << cab;
    EXPECT_TRUE(contents == large) << cab;
    // The file after it starts inside the last block of the large one.
    ASSERT_TRUE(ExtractFileFromCabinet(bytes, "brand_config", &contents)) << cab;
    EXPECT_EQ(contents, Input("brand_config")) << cab;
  }
}

TEST(CabExtractorTest, MissingFileLeavesContentsUnchanged) {
  std::string contents = "untouched";
  EXPECT_FALSE(ExtractFileFromCabinet(Cab("mixed_zip.cab"), "partner_config", &contents));
  EXPECT_FALSE(ExtractFileFromCabinet(Cab("mixed_zip.cab"), "", &contents));
  EXPECT_FALSE(ExtractFileFromCabinet(Cab("mixed_zip.cab"), "brand_config ", &contents));
  EXPECT_EQ(contents, "untouched");
}

TEST(CabExtractorTest, RejectsWhatIsNotACabinet) {
  std::string contents = "untouched";
  EXPECT_FALSE(ExtractFileFromCabinet("", "brand_config", &contents));
  EXPECT_FALSE(ExtractFileFromCabinet("MSCF", "brand_config", &contents));
  EXPECT_FALSE(ExtractFileFromCabinet(Input("brand_config"), "brand_config", &contents));
  EXPECT_FALSE(ExtractFileFromCabinet(std::string(4096, '\0'), "brand_config", &contents));
  EXPECT_EQ(contents, "untouched");
}

TEST(CabExtractorTest, NeverReadsPastTheBuffer) {
  for (const char* cab : {"mixed.cab", "mixed_zip.cab"}) {
    std::string bytes = Cab(cab);
    GuardedCopy whole(bytes);
    std::string contents;
    ASSERT_TRUE(ExtractFileFromCabinet(whole.view(), "brand_config", &contents)) << cab;
    EXPECT_EQ(contents, Input("brand_config"));
  }
}

TEST(CabExtractorTest, WorksFromSeveralThreadsAtOnce) {
  std::string cab = Cab("mixed_zip.cab");
  std::string expected = Input("brand_config");
  std::vector<int> successes(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < successes.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        std::string contents;
        if (ExtractFileFromCabinet(cab, "brand_config", &contents) && contents == expected)
          ++successes[t];
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int count : successes)
    EXPECT_EQ(count, 25);
}

// The file table entry of `name` in an undamaged cabinet: where its size and
// its offset in the folder's data sit. Nothing in a cabinet checks them.
size_t FileEntryOffset(std::string_view cab, std::string_view name) {
  auto u16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<uint8_t>(cab[at]) |
                               static_cast<uint8_t>(cab[at + 1]) << 8);
  };
  size_t entry = u16(16) | u16(18) << 16;  // coffFiles
  for (size_t i = 0, count = u16(28); i < count; ++i) {
    size_t name_at = entry + 16;
    size_t name_end = cab.find('\0', name_at);
    if (cab.substr(name_at, name_end - name_at) == name)
      return entry;
    entry = name_end + 1;
  }
  ADD_FAILURE() << "no file table entry for " << name;
  return 0;
}

// Damage that a cabinet cannot notice is possible: its file table has no
// checksum, and its data checksums are XORs of 32-bit words, which two equal
// flips in one byte lane cancel. So: one flipped byte must be caught unless it
// hit the wanted file's size or offset; a truncated cabinet must always fail;
// heavier damage must only never crash nor read outside the buffer.
TEST(CabExtractorTest, SurvivesDamagedCabinets) {
  std::string expected = Input("brand_config");
  // The folder holds the files one after another, in the order gcab got them.
  std::string folder =
      Input("notes.txt") + Input("Brand_Config") + Input("empty.dat") + expected;
  unsigned seed = 20240607;
  for (const char* name : {"mixed.cab", "mixed_zip.cab"}) {
    std::string cab = Cab(name);
    ASSERT_FALSE(cab.empty());
    size_t entry = FileEntryOffset(cab, "brand_config");
    std::mt19937 random(seed++);
    int intact = 0;
    for (int i = 0; i < 2500; ++i) {
      enum { kOneFlip, kTruncate, kManyFlips } kind = static_cast<decltype(kind)>(i % 3);
      std::string damaged = cab;
      bool entry_damaged = false;
      int flips = kind == kManyFlips ? 2 + random() % 7 : 1;
      for (int f = 0; f < flips; ++f) {
        size_t at = random() % damaged.size();
        damaged[at] ^= static_cast<char>(1 + random() % 255);
        entry_damaged |= at >= entry && at < entry + 8;
      }
      if (kind == kTruncate)
        damaged.resize(random() % damaged.size());

      GuardedCopy copy(damaged);
      std::string contents = "untouched";
      bool extracted = ExtractFileFromCabinet(copy.view(), "brand_config", &contents);
      SCOPED_TRACE(testing::Message() << name << " round " << i);
      if (!extracted) {
        EXPECT_EQ(contents, "untouched");
        continue;
      }
      intact += contents == expected;
      EXPECT_LE(contents.size(), folder.size());
      if (kind == kManyFlips)
        continue;
      // The last file's data ends the cabinet: nothing truncated can hold it.
      EXPECT_NE(kind, kTruncate);
      if (entry_damaged) {
        // A changed size or offset picks other bytes of the folder.
        EXPECT_NE(folder.find(contents), std::string::npos);
      } else {
        EXPECT_EQ(contents, expected);
      }
    }
    // Damage to dates, attributes and other unchecked fields goes unnoticed.
    EXPECT_GT(intact, 0) << name;
  }
}

// A configuration is small: a member above 1 MiB is refused before anything
// is allocated for it, also when only its declared size is that large.
TEST(CabExtractorTest, RefusesMembersAboveOneMebibyte) {
  const std::string limit(1024 * 1024, 'x');
  std::string contents;
  ASSERT_TRUE(ExtractFileFromCabinet(MakeCabinetForTesting({{"brand_config", limit}}),
                                     "brand_config", &contents));
  EXPECT_EQ(contents.size(), limit.size());

  base::ScopedLogCapture log;
  contents = "untouched";
  EXPECT_FALSE(ExtractFileFromCabinet(MakeCabinetForTesting({{"brand_config", limit + "y"}}),
                                      "brand_config", &contents));
  EXPECT_EQ(contents, "untouched");
  ASSERT_EQ(log.messages().size(), 1u);
  EXPECT_EQ(log.messages()[0], "Cabinet member brand_config of 1048577 bytes exceeds 1048576");

  // A forged table entry that claims almost 4 GiB for a small file.
  std::string forged = MakeCabinetForTesting({{"brand_config", "{}"}});
  size_t entry = FileEntryOffset(forged, "brand_config");
  std::memset(forged.data() + entry, 0xF0, 4);
  EXPECT_FALSE(ExtractFileFromCabinet(forged, "brand_config", &contents));
  EXPECT_EQ(contents, "untouched");
}

// A data block whose checksum is 0 is not checked at all, so its damaged
// compressed bytes reach the decoder, which must fail or fault without taking
// the process down.
TEST(CabExtractorTest, SurvivesDamagedCompressedDataWithoutChecksum) {
  std::string cab = Cab("mixed_zip.cab");
  ASSERT_GT(cab.size(), 48u);
  auto u32 = [&](size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, cab.data() + at, 4);  // Little-endian, as the format.
    return value;
  };
  size_t block = u32(36);  // The first folder's first data block (no reserve area).
  size_t data_size =
      static_cast<uint8_t>(cab[block + 4]) | static_cast<uint8_t>(cab[block + 5]) << 8;
  ASSERT_EQ(block + 8 + data_size, cab.size()) << "one data block expected";
  std::memset(cab.data() + block, 0, 4);
  std::string contents;
  ASSERT_TRUE(ExtractFileFromCabinet(cab, "brand_config", &contents));

  base::ScopedLogCapture log;
  std::mt19937 random(99);
  int faults = 0;
  for (int i = 0; i < 2000; ++i) {
    std::string damaged = cab;
    for (int flips = 1 + random() % 4; flips > 0; --flips)
      damaged[block + 8 + random() % data_size] ^= static_cast<char>(1 + random() % 255);
    GuardedCopy copy(damaged);
    contents = "untouched";
    if (!ExtractFileFromCabinet(copy.view(), "brand_config", &contents)) {
      EXPECT_EQ(contents, "untouched");
    }
    for (const std::string& message : log.messages())
      faults += message.rfind("FDICopy raised exception", 0) == 0;
    log.Clear();
  }
  // How often the library faults depends on the library (Wine's does, a few
  // dozen times here); the count goes to the test report.
  RecordProperty("faults_caught", faults);
}

}  // namespace
}  // namespace distribution
