#include "base/command_line.h"

#include <gtest/gtest.h>

#include <string_view>

#include "base/installer_switches.h"

namespace base {
namespace {

TEST(CommandLineTest, ParsesPrefixesNamesAndValues) {
  CommandLine line = CommandLine::FromString(
      L"  \"C:\\Program Files\\x.exe\" /SILENT -Brand-Name=x=y --distr-info-params=a=1&b=2 "
      L"stray --empty= ");
  EXPECT_EQ(line.program(), L"C:\\Program Files\\x.exe");
  EXPECT_TRUE(line.HasSwitch("silent"));
  EXPECT_EQ(line.GetSwitchValue("brand-name"), L"x=y");
  EXPECT_EQ(line.GetSwitchValue("distr-info-params"), L"a=1&b=2");
  EXPECT_TRUE(line.HasSwitch("empty"));
  EXPECT_EQ(line.GetSwitchValue("empty"), L"");
  // Arguments without a prefix are dropped.
  EXPECT_EQ(line.switches().size(), 4u);
}

TEST(CommandLineTest, ArgumentsAreTrimmed) {
  CommandLine line = CommandLine::FromString(L"x.exe \" --brand-name=a b \" \"  -silent\"");
  EXPECT_EQ(line.GetSwitchValue("brand-name"), L"a b");
  EXPECT_TRUE(line.HasSwitch("silent"));
}

TEST(CommandLineTest, LastOfRepeatedSwitchWins) {
  CommandLine line = CommandLine::FromString(L"x.exe --brand-name=a -brand-name=b");
  EXPECT_EQ(line.GetSwitchValue("brand-name"), L"b");
}

TEST(CommandLineTest, NamesKeepOnlyTheLowByteAndLowerCaseAscii) {
  // U+0153 has the low byte 0x53 ('S'), which lower-cases to 's'.
  CommandLine line = CommandLine::FromString(L"x.exe --\u0153ILENT --\u00C4x");
  EXPECT_TRUE(line.HasSwitch("silent"));
  EXPECT_TRUE(line.HasSwitch("\xC4x"));  // Non-ASCII bytes are left as they are.
}

TEST(CommandLineTest, NamesThatWouldSplitOrShiftAreDropped) {
  // Each argument is one name that, written back unquoted, would become more
  // than one switch; U+0120 and U+0122 narrow to a blank and a quote, and
  // U+2200 to a NUL that would end the whole line when it is written back.
  CommandLine line = CommandLine::FromString(
      L"x.exe --silent \"--x --system-level\" \"--a\tb\" \"--q\\\"r=1\" --u\u0120--v "
      L"--w\u0122--z --\u2200 --s\u2201x=1 --ok=\"a b\"");
  EXPECT_EQ(line.switches().size(), 2u);
  EXPECT_TRUE(line.HasSwitch("silent"));
  EXPECT_EQ(line.GetSwitchValue("ok"), L"a b");
  EXPECT_EQ(line.Format(), L"x.exe --ok=\"a b\" --silent");

  const std::string_view kUnsafeNames[] = {"", "--", "a b", "a\tb", "a\"b", "a=b", "a\nb",
                                           "a\x01" "b", std::string_view("a\0b", 3)};
  for (std::string_view name : kUnsafeNames) {
    EXPECT_FALSE(line.SetSwitch(name, L"v")) << name;
    EXPECT_FALSE(line.AppendSwitch(name)) << name;
  }
  EXPECT_EQ(line.switches().size(), 2u);
  EXPECT_TRUE(line.SetSwitch("--fine-name", L"v"));
}

TEST(CommandLineTest, SemiSilentAddsSilentAndUacEnabled) {
  CommandLine line = CommandLine::FromString(L"x.exe --semi-silent");
  EXPECT_TRUE(line.HasSwitch(switches::kSilent));
  EXPECT_TRUE(line.HasSwitch(switches::kUacEnabled));
  EXPECT_FALSE(CommandLine::FromString(L"x.exe --silent").HasSwitch(switches::kUacEnabled));
}

TEST(CommandLineTest, EmptyAndBlankTextsGiveNothing) {
  for (const wchar_t* text : {L"", L"   ", L"\t\r\n"}) {
    CommandLine line = CommandLine::FromString(text);
    EXPECT_TRUE(line.program().empty());
    EXPECT_TRUE(line.switches().empty());
  }
}

TEST(CommandLineTest, SetSwitchStripsPrefixAndReplaces) {
  CommandLine line(L"x.exe");
  line.SetSwitch("--Brand-Name", L"a");
  line.SetSwitch("/brand-name", L"b");
  line.AppendSwitch("-verbose-logging");
  EXPECT_EQ(line.GetSwitchValue("brand-name"), L"b");
  EXPECT_TRUE(line.HasSwitch("verbose-logging"));
  line.RemoveSwitch("brand-name");
  EXPECT_FALSE(line.HasSwitch("brand-name"));
}

TEST(CommandLineTest, FormatsInNameOrderWithBareSwitches) {
  CommandLine line(L"C:\\dir\\setup.arc");
  line.SetSwitch("source", L"lite");
  line.AppendSwitch("verbose-logging");
  line.SetSwitch("brand-name", L"my brand");
  EXPECT_EQ(line.Format(),
            L"\"C:\\dir\\setup.arc\" --brand-name=\"my brand\" --source=lite --verbose-logging");
}

TEST(QuoteArgumentTest, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(QuoteArgument(L"plain"), L"plain");
  EXPECT_EQ(QuoteArgument(L"a b"), L"\"a b\"");
  EXPECT_EQ(QuoteArgument(L"a\"b"), L"\"a\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"dir\\"), L"\"dir\\\\\"");
  EXPECT_EQ(QuoteArgument(L"a\\b"), L"\"a\\b\"");
  EXPECT_EQ(QuoteArgument(L"tab\there"), L"\"tab\there\"");
}

// Whatever the value, the system's splitter must give it back unchanged.
TEST(CommandLineTest, ValuesRoundTripThroughFormatAndParse) {
  const wchar_t* values[] = {
      L"simple",       L"with blank",        L"quote\"inside",    L"\"leading and trailing\"",
      L"trailing\\",   L"trailing\\\\",      L"back\\\"quote",    L"C:\\Program Files\\",
      L"a=b c=d",      L"\\\\server\\share", L"tab\tand blank", L"x\\\\\"y",
  };
  for (const wchar_t* value : values) {
    CommandLine line(L"C:\\Program Files\\Tarnix\\lite installer.exe");
    line.SetSwitch("value", value);
    line.AppendSwitch("silent");
    CommandLine parsed = CommandLine::FromString(line.Format());
    EXPECT_EQ(parsed.program(), line.program()) << value;
    EXPECT_EQ(parsed.switches(), line.switches()) << "value: " << value;
  }
}

TEST(CommandLineTest, SetupCommandLineTextIsParsedLikeAnyOther) {
  CommandLine setup(L"C:\\Temp\\browser-setup.arc");
  setup.SetSwitch("progress-window", L"1234");
  setup.SetSwitch("distr-info-file", L"C:\\Users\\A B\\distrib_info");
  CommandLine child(L"C:\\Temp\\lite_installer.exe");
  child.SetSwitch("setup-cmd-line", setup.Format());
  CommandLine parsed_child = CommandLine::FromString(child.Format());
  CommandLine parsed_setup =
      CommandLine::FromString(parsed_child.GetSwitchValue("setup-cmd-line"));
  EXPECT_EQ(parsed_setup.program(), setup.program());
  EXPECT_EQ(parsed_setup.switches(), setup.switches());
}

TEST(InstallerSwitchesTest, FindsFirstNonInstallSwitchInListOrder) {
  EXPECT_EQ(FindNonInstallSwitch(CommandLine::FromString(L"x.exe --silent")), "");
  EXPECT_EQ(FindNonInstallSwitch(CommandLine::FromString(L"x.exe --pttw0 --show-eula")),
            "show-eula");
  EXPECT_EQ(FindNonInstallSwitch(CommandLine::FromString(L"x.exe /PATCH=1")), "patch");
}

}  // namespace
}  // namespace base
