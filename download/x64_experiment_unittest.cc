#include "download/x64_experiment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "base/log_capture_for_testing.h"
#include "distribution/distrib_info_params.h"
#include "base/registry_store.h"

namespace download {
namespace {

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::Not;
using ::testing::StartsWith;

constexpr wchar_t kState[] = L"try_x64";

// Plays a machine; the group state lives in the real registry.
class TestExperiment : public X64Experiment {
 public:
  explicit TestExperiment(bool program_files = false) : X64Experiment(program_files, nullptr) {}
  bool IsNative64Bit() override { return native64; }
  bool GetTotalRam(uint64_t* bytes) override {
    *bytes = total_ram.value_or(0);
    return total_ram.has_value();
  }
  bool ChooseX64() override { return coin; }

  bool native64 = true;
  std::optional<uint64_t> total_ram = 8000;
  bool coin = true;
};

class X64ExperimentTest : public ::testing::Test {
 protected:
  void SetUp() override { base::RemoveValue(kState); }
  void TearDown() override { base::RemoveValue(kState); }
  base::ScopedLogCapture log_;
};

TEST_F(X64ExperimentTest, ChoosesFromMachineStoredGroupAndParameters) {
  struct Case {
    const char* name;
    bool program_files = false, native64 = true;
    const wchar_t* state = nullptr;   // Stored "try_x64"; none when null.
    const char* enabled = "1";        // The "try_x64" parameter; absent when null.
    const char* ram_needed = "4000";  // "x64_ram"; absent when null.
    std::optional<uint64_t> total_ram = 8000;
    bool coin = true;
    SetupArch expected = SetupArch::kDefault;
    const char* log = nullptr;  // A line the decision must log.
  } cases[] = {
      {.name = "32-bit system", .native64 = false, .state = L"1"},
      {.name = "Program Files", .program_files = true, .state = L"1"},
      {.name = "x86 group", .state = L"0", .enabled = nullptr, .expected = SetupArch::kX86},
      {.name = "x64 group", .state = L"1", .enabled = nullptr, .expected = SetupArch::kX64},
      {.name = "left", .state = L"2", .log = "Experiment try_x64 is disabled"},
      {.name = "garbage state", .state = L"x", .expected = SetupArch::kX64},
      {.name = "unknown state", .state = L"3", .coin = false, .expected = SetupArch::kX86},
      {.name = "negative state", .state = L"-1", .expected = SetupArch::kX64},
      {.name = "no parameter", .enabled = nullptr},
      {.name = "parameter not 1", .enabled = "true"},
      {.name = "parameter 11", .enabled = "11"},
      {.name = "no memory need", .ram_needed = nullptr},
      {.name = "need not a number", .ram_needed = "4GB"},
      {.name = "need empty", .ram_needed = ""},
      {.name = "need out of range", .ram_needed = "99999999999999999999"},
      {.name = "exactly enough, coin x64", .ram_needed = "8000", .expected = SetupArch::kX64},
      {.name = "coin x86", .coin = false, .expected = SetupArch::kX86},
      {.name = "too little memory", .ram_needed = "8001",
       .log = "Not enough memory for try_x64 needed:8001, available:8000"},
      {.name = "memory unknown", .total_ram = std::nullopt,
       .log = "Not enough memory for try_x64 needed:4000, available:0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    base::RemoveValue(kState);
    ASSERT_TRUE(!c.state || base::StoreValue(kState, c.state));
    distribution::DistribInfoParams params;
    if (c.enabled)
      params.Set("try_x64", c.enabled);
    if (c.ram_needed)
      params.Set("x64_ram", c.ram_needed);
    TestExperiment experiment(c.program_files);
    experiment.native64 = c.native64;
    experiment.total_ram = c.total_ram;
    experiment.coin = c.coin;
    log_.Clear();
    EXPECT_EQ(experiment.AdjustDownloadUrl(params), c.expected);
    EXPECT_EQ(experiment.choice(), c.expected);
    if (c.log) {
      EXPECT_THAT(log_.messages(), Contains(c.log));
    } else {
      EXPECT_THAT(log_.messages(),
                  Not(Contains(AnyOf(StartsWith("Experiment"), StartsWith("Not enough")))));
    }
  }
}

// Writes through ConfigurateRegistry, reads back through a new experiment.
TEST_F(X64ExperimentTest, KeepsTheGroupOnlyAfterSuccessOnTheFirstAddress) {
  struct {
    SetupArch choice;
    bool first_url;
    const wchar_t* stored;  // Empty: nothing written.
    SetupArch next;
  } cases[] = {
      {SetupArch::kX64, true, L"1", SetupArch::kX64},
      {SetupArch::kX86, true, L"0", SetupArch::kX86},
      {SetupArch::kX64, false, L"2", SetupArch::kDefault},
      {SetupArch::kX86, false, L"2", SetupArch::kDefault},
      {SetupArch::kDefault, true, L"", SetupArch::kDefault},
      {SetupArch::kDefault, false, L"", SetupArch::kDefault},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "choice " << static_cast<int>(c.choice) << ", first url "
                                    << c.first_url);
    base::RemoveValue(kState);
    TestExperiment experiment;
    experiment.set_choice(c.choice);
    experiment.ConfigurateRegistry(c.first_url);
    EXPECT_EQ(base::ReadValue(kState), c.stored);
    TestExperiment next;  // Not in the experiment unless the stored group says so.
    EXPECT_EQ(next.AdjustDownloadUrl({}), c.next);
  }
}

}  // namespace
}  // namespace download
