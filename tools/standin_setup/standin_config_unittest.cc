#include "tools/standin_setup/standin_config.h"

#include <gtest/gtest.h>

#include <map>

namespace standin {
namespace {

EnvironmentLookup FakeEnvironment(std::map<std::wstring, std::wstring> values) {
  return [values](const wchar_t* name) -> std::optional<std::wstring> {
    auto it = values.find(name);
    if (it == values.end())
      return std::nullopt;
    return it->second;
  };
}

TEST(StandinConfigTest, ReadsEveryDocumentedVariable) {
  std::vector<std::wstring> errors;
  StandinConfig config = ReadConfig(FakeEnvironment({
                                        {L"TX_STANDIN_RECORD", L"C:\\t\\cmd.txt"},
                                        {L"TX_STANDIN_LOG", L"C:\\t\\log.txt"},
                                        {L"TX_STANDIN_STAGES", L"5,7"},
                                        {L"TX_STANDIN_STEP_MS", L"0"},
                                        {L"TX_STANDIN_HIGHER_VERSION", L"1"},
                                        {L"TX_STANDIN_CLOSE_WINDOW", L"1"},
                                        {L"TX_STANDIN_SETUP_MS", L"250"},
                                        {L"TX_STANDIN_BROWSER_MS", L"30000"},
                                        {L"TX_STANDIN_BROWSER_DIR", L"C:\\b"},
                                        {L"TX_STANDIN_IMPORT_PROGRESS", L"0, 50,100"},
                                        {L"TX_STANDIN_BROWSER_CLOSE_WINDOW", L"1"},
                                        {L"TX_STANDIN_EXIT_CODE", L" -200\r\n"},
                                    }),
                                    &errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(config.record_path, L"C:\\t\\cmd.txt");
  EXPECT_EQ(config.log_path, L"C:\\t\\log.txt");
  EXPECT_EQ(config.stages, (std::vector<uint32_t>{5, 7}));
  EXPECT_EQ(config.step_ms, 0u);
  EXPECT_TRUE(config.higher_version);
  EXPECT_TRUE(config.close_window);
  EXPECT_EQ(config.setup_ms, 250u);
  EXPECT_EQ(config.browser_ms, 30000u);
  EXPECT_EQ(config.browser_dir, L"C:\\b");
  EXPECT_EQ(config.import_progress, (std::vector<uint32_t>{0, 50, 100}));
  EXPECT_TRUE(config.browser_close_window);
  EXPECT_EQ(config.exit_code, 0xFFFFFF38u);
}

TEST(StandinConfigTest, MalformedValuesAreReportedAndKeepTheirDefaults) {
  std::vector<std::wstring> errors;
  StandinConfig config = ReadConfig(FakeEnvironment({
                                        {L"TX_STANDIN_STAGES", L"1,,2"},
                                        {L"TX_STANDIN_CLOSE_WINDOW", L"yes"},
                                        {L"TX_STANDIN_BROWSER_MS", L"4294967295"},
                                        {L"TX_STANDIN_EXIT_CODE", L"3"},
                                    }),
                                    &errors);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_NE(errors[0].find(L"TX_STANDIN_STAGES"), std::wstring::npos);
  EXPECT_NE(errors[1].find(L"TX_STANDIN_CLOSE_WINDOW"), std::wstring::npos);
  EXPECT_NE(errors[2].find(L"TX_STANDIN_BROWSER_MS"), std::wstring::npos);
  EXPECT_EQ(config.stages, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(config.close_window);
  EXPECT_EQ(config.browser_ms, 0u);
  EXPECT_EQ(config.exit_code, 3u);
}

TEST(StandinConfigTest, ExitCodesSignedUnsignedAndHex) {
  const struct {
    const wchar_t* text;
    DWORD code;
  } kValid[] = {
      {L"0", 0},
      {L"3", 3},
      {L"600", 600},
      {L"-200", 0xFFFFFF38u},
      {L"-1", 0xFFFFFFFFu},
      {L"4294967295", 0xFFFFFFFFu},
      {L"-2147483648", 0x80000000u},
      {L"0xC0000005", 0xC0000005u},
      {L"0X6c000005", 0x6C000005u},
      {L"-0x10", 0xFFFFFFF0u},
  };
  for (const auto& c : kValid) {
    std::optional<DWORD> code = ParseExitCode(c.text);
    ASSERT_TRUE(code.has_value()) << "\"" << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(*code, c.code);
  }
  for (const wchar_t* text : {L"", L"-", L"--1", L"+3", L"3a", L"4294967296", L"-2147483649",
                              L"0x", L"0xG1", L"0x100000000", L"1 2"}) {
    EXPECT_FALSE(ParseExitCode(text).has_value()) << testing::PrintToString(std::wstring(text));
  }
}

TEST(StandinConfigTest, NumberLists) {
  EXPECT_EQ(ParseNumberList(L"5"), (std::vector<uint32_t>{5}));
  EXPECT_EQ(ParseNumberList(L" 1 ,2,\t3 "), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(ParseNumberList(L"none"), std::vector<uint32_t>{});
  EXPECT_EQ(ParseNumberList(L"4294967295"), (std::vector<uint32_t>{4294967295u}));
  for (const wchar_t* text : {L"", L"1,", L",1", L"1,,2", L"a", L"-1", L"4294967296"})
    EXPECT_FALSE(ParseNumberList(text).has_value()) << testing::PrintToString(std::wstring(text));
}

TEST(StandinConfigTest, SwitchesSkipTheProgramAndTakeTheLastValue) {
  const std::vector<std::wstring> args = {
      L"--progress-window=1",  // The program, never a switch.
      L"--progress-window=22",
      L"--progress-window-extra=3",
      L"--progress-window",
      L"--progress-window=4444",
      L"--verbose-logging",
  };
  EXPECT_EQ(FindSwitchValue(args, L"progress-window"), L"4444");
  EXPECT_EQ(FindSwitchValue(args, L"brand-name"), std::nullopt);
  EXPECT_TRUE(HasSwitch(args, L"verbose-logging"));
  EXPECT_TRUE(HasSwitch(args, L"progress-window"));
  EXPECT_FALSE(HasSwitch(args, L"verbose"));
  EXPECT_FALSE(HasSwitch({L"--tx-standin-browser"}, L"tx-standin-browser"));
}

TEST(StandinConfigTest, HandleValuesAreDecimal) {
  EXPECT_EQ(ParseHandleValue(L"0"), uintptr_t{0});
  EXPECT_EQ(ParseHandleValue(L"1311234"), uintptr_t{1311234});
  for (const wchar_t* text : {L"", L"0x10", L"-1", L"12 "})
    EXPECT_FALSE(ParseHandleValue(text).has_value()) << testing::PrintToString(std::wstring(text));
}

}  // namespace
}  // namespace standin
