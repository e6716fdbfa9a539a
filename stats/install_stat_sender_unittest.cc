#include "stats/install_stat_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <process.h>
#include <shlwapi.h>

#include <cctype>
#include <map>
#include <string>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "stats/fake_stat_sender_system_for_testing.h"
#include "stats/url_parts.h"

namespace stats {
namespace {

using ::testing::HasSubstr;

// The "vars" segment of a statistics URL, split into its pairs.
std::vector<std::string> VarsPairs(const std::wstring& url) {
  std::string text = base::NarrowLow8(url);
  size_t start = text.find("/vars=");
  size_t end = text.rfind("/*");
  EXPECT_NE(start, std::string::npos) << text;
  std::vector<std::string> pairs;
  if (start == std::string::npos)
    return pairs;
  std::string vars = text.substr(start + 6, end - start - 6);
  size_t from = 0;
  for (;;) {
    size_t comma = vars.find(',', from);
    pairs.push_back(vars.substr(from, comma - from));
    if (comma == std::string::npos)
      break;
    from = comma + 1;
  }
  return pairs;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST(SavedParamsTest, RestoreSkipsEmptyKeyLinesAndDropsAKeyWithoutValue) {
  EXPECT_EQ(ParseSavedParams(L"brand_id\ntarnix\n\npartner_id\np-1\nnew_ver"),
            (InstallEvent{{"brand_id", L"tarnix"}, {"partner_id", L"p-1"}}));
  // A value line may be empty, and a repeated key keeps the last value.
  EXPECT_EQ(ParseSavedParams(L"old_ver\n\nui\nA\nui\nB\n"),
            (InstallEvent{{"old_ver", L""}, {"ui", L"B"}}));
  EXPECT_EQ(ParseSavedParams(L""), InstallEvent{});
}

TEST(SavedParamsTest, TextRoundTripsAndALineFeedCannotShiftThePairs) {
  InstallEvent params = {{"banner_id", L"12"}, {"brand_id", L"tarnix"}, {"old_ver", L""}};
  EXPECT_EQ(SavedParamsText(params), L"banner_id\n12\nbrand_id\ntarnix\nold_ver\n\n");
  EXPECT_EQ(ParseSavedParams(SavedParamsText(params)), params);

  params["banner_id"] = L"a\nb";
  InstallEvent restored = ParseSavedParams(SavedParamsText(params));
  EXPECT_EQ(restored.at("banner_id"), L"a b");
  EXPECT_EQ(restored.at("brand_id"), L"tarnix");
  EXPECT_EQ(restored.size(), 3u);
}

TEST(InstallStatSenderTest, ConstructionRefreshesOwnFactsAndKeepsRestoredOldVersion) {
  FakeStatSenderSystem system;
  system.values[L"ypv"] = L"20.1.0.5";
  InstallStatSender sender(
      L"launched\ntrue\nui\nOLD\nlite_ver\n1.0.0.0\nold_ver\n19.0.0.1\nbrand_id\ntarnix\n",
      L"{6F2C0B7E-1111-2222-3333-444455556666}", L"stats.test", &system);
  EXPECT_EQ(sender.params(), (InstallEvent{{"brand_id", L"tarnix"},
                                           {"installer_type", L"lite"},
                                           {"launched", L"false"},
                                           {"lite_ver", L"21.2.2.102"},
                                           {"old_ver", L"19.0.0.1"},
                                           {"ui", L"6F2C0B7E-1111-2222-3333-444455556666"}}));
}

TEST(InstallStatSenderTest, OldVersionComesFromYpvThenPv) {
  FakeStatSenderSystem system;
  system.values[L"pv"] = L"18.0.0.1";
  EXPECT_EQ(InstallStatSender(L"", L"", L"h", &system).GetOldVersion(), L"18.0.0.1");
  system.values[L"ypv"] = L"20.1.0.5";
  EXPECT_EQ(InstallStatSender(L"", L"", L"h", &system).GetOldVersion(), L"20.1.0.5");
  // Only one pair of enclosing braces goes, and only a complete pair.
  EXPECT_EQ(InstallStatSender(L"", L"{abc", L"h", &system).params().at("ui"), L"{abc");
  EXPECT_EQ(InstallStatSender(L"", L"{{abc}}", L"h", &system).params().at("ui"), L"{abc}");
}

TEST(LaunchedProbeTest, EventNameKeepsTheInnerQuoteAndFlattensThePath) {
  EXPECT_EQ(LaunchedEventName(L"\"C:\\Users\\Ann\\Downloads\\Tarnix Setup.exe\" --Silent"),
            L"Global\\c:!users!ann!downloads!tarnix setup.exe\" --silent");
  EXPECT_EQ(LaunchedEventName(L"\"C:\\T.EXE\""), L"Global\\c:!t.exe");
  EXPECT_EQ(LaunchedEventName(L"ab"), L"");
}

TEST(LaunchedProbeTest, AnswersTrueWhileTheEventExists) {
  FakeStatSenderSystem system;
  const std::wstring command_line = L"\"C:\\Probe\\Launched Test.exe\" --x";
  system.values[L"InstallerSuccessLaunchCmdLine"] = command_line;
  {
    base::ScopedHandle event(
        ::CreateEventW(nullptr, TRUE, FALSE, LaunchedEventName(command_line).c_str()));
    ASSERT_TRUE(event.is_valid()) << ::GetLastError();
    EXPECT_EQ(InstallStatSender(L"", L"", L"h", &system).params().at("launched"), L"true");
  }
  EXPECT_EQ(InstallStatSender(L"", L"", L"h", &system).params().at("launched"), L"false");
  system.values[L"InstallerSuccessLaunchCmdLine"] = L"\"\"";
  EXPECT_EQ(InstallStatSender(L"", L"", L"h", &system).params().at("launched"), L"false");
}

class QueryUrlTest : public ::testing::Test {
 protected:
  FakeStatSenderSystem system_;
  InstallStatSender sender_{L"", L"{U1}", L"stats.test:8443", &system_};
};

TEST_F(QueryUrlTest, WholeUrlForAProgressEvent) {
  EXPECT_EQ(sender_.GetQueryUrl({{"action", L"download"}, {"stage", L"started"}},
                                StatPath::kExtendedStat),
            L"https://stats.test:8443/installstats/send/dtype=stred/pid=457/cid=72992"
            L"/path=extended_stat/vars=-action=download,-brand_id=unknown,"
            L"-installer_type=lite,-launched=false,-lite_ver=21.2.2.102,-old_style=0,"
            L"-old_ver=,-stage=started,-ui=U1/*");
  std::wstring dialog = sender_.GetQueryUrl({}, StatPath::kReinstallDialog);
  EXPECT_THAT(dialog, HasSubstr(L"/pid=457/cid=72696/path=tnbrowser_reinstall_dialog/vars=-"));
  EXPECT_EQ(BuildStatUrl(L"h", {}, StatPath::kZomboWindow),
            L"https://h/installstats/send/dtype=stred/pid=457/cid=72924/path=zombo_window/*");
}

TEST_F(QueryUrlTest, BaseParametersWinClashesButOldStyleIsAlwaysZero) {
  sender_.SetParam("brand_id", L"tarnix");
  InstallEvent event = {{"installer_type", L"full"}, {"ui", L"other"}, {"old_style", L"1"},
                        {"brand_id", L"evil"}};
  auto pairs = VarsPairs(sender_.GetQueryUrl(event, StatPath::kExtendedStat));
  EXPECT_THAT(pairs, ::testing::IsSupersetOf({"-installer_type=lite", "-ui=U1", "-old_style=0",
                                              "-brand_id=tarnix"}));
  EXPECT_EQ(pairs.size(), 7u);

  FakeStatSenderSystem system;
  InstallStatSender bare(L"", L"", L"h", &system);
  EXPECT_THAT(VarsPairs(bare.GetQueryUrl({{"brand_id", L"from_event"}}, StatPath::kExtendedStat)),
              ::testing::Contains("-brand_id=from_event"));
}

TEST_F(QueryUrlTest, SeparatorsBecomeUnderscoresAndSlashesAreEscaped) {
  auto pairs = VarsPairs(sender_.GetQueryUrl({{"x-key", L"a-b,c=d"}, {"path", L"a/b?c#d e"}},
                                             StatPath::kExtendedStat));
  EXPECT_THAT(pairs, ::testing::Contains("-x_key=a_b_c_d"));
  EXPECT_THAT(pairs, ::testing::Contains("-path=a%2Fb%3Fc%23d%20e"));
}

// The value of the pair `key` in the URL, percent-decoded.
std::string DecodedValue(const std::wstring& url, const std::string& key) {
  const std::string prefix = "-" + key + "=";
  for (const std::string& pair : VarsPairs(url)) {
    if (pair.rfind(prefix, 0) == 0)
      return PercentDecode(pair.substr(prefix.size()));
  }
  ADD_FAILURE() << "no pair " << key;
  return {};
}

void ExpectOnlyPrintableAscii(const std::wstring& url) {
  for (wchar_t c : url)
    ASSERT_TRUE(c > 0x20 && c < 0x7F) << "unescaped unit " << static_cast<int>(c);
}

TEST_F(QueryUrlTest, EveryByteValueArrivesEscapedAndDecodesBack) {
  std::wstring value;
  for (wchar_t c = 1; c <= 0xFF; ++c)
    value += c;
  std::wstring url = sender_.GetQueryUrl({{"bytes", value}}, StatPath::kExtendedStat);
  ExpectOnlyPrintableAscii(url);
  std::string expected = base::NarrowLow8(value);
  for (char& c : expected) {
    if (c == ',' || c == '-' || c == '=')
      c = '_';
  }
  EXPECT_EQ(DecodedValue(url, "bytes"), expected);
  EXPECT_EQ(VarsPairs(url).size(), 8u);
  // Up to U+00FF the request carries exactly what the platform escape gives.
  std::wstring underscored = base::WidenBytes(expected);
  wchar_t platform[2084];
  DWORD size = 2084;
  ASSERT_EQ(::UrlEscapeW(underscored.c_str(), platform, &size, URL_ESCAPE_SEGMENT_ONLY), S_OK);
  EXPECT_EQ(EscapeUrlSegment(underscored), std::wstring(platform, size));
}

TEST(EscapeUrlSegmentTest, GivesWhatThePlatformEscapeGivesUnitByUnit) {
  // Texts that need no escaping skip the platform call; this holds the
  // bytes of every request to what that call gives.
  auto platform = [](const std::wstring& text) {
    wchar_t buffer[2084];
    DWORD size = 2084;
    return ::UrlEscapeW(text.c_str(), buffer, &size, URL_ESCAPE_SEGMENT_ONLY) == S_OK
               ? std::wstring(buffer, size)
               : std::wstring();
  };
  for (wchar_t c = 1; c <= 0xFF; ++c) {
    for (const std::wstring& text : {std::wstring(1, c), L"Ab9" + std::wstring(1, c) + L"_.z"})
      EXPECT_EQ(EscapeUrlSegment(text), platform(text)) << static_cast<int>(c);
  }
  for (const std::wstring& text : {std::wstring(L"download_attempt"), std::wstring(L"21.2.2.102"),
                                   std::wstring(L"6F2C0B7E_1111_2222"), std::wstring(2083, L'x')})
    EXPECT_EQ(EscapeUrlSegment(text), text);
  EXPECT_EQ(EscapeUrlSegment(std::wstring(2084, L'x')), L"");
}

// Units above U+00FF whose low byte is a separator of the URL or of "vars"
// once narrowed: U+042F "/", U+043F "?", U+0423 "#", U+012C ",", U+012D "-",
// U+013D "=", U+0125 "%", U+0120 " ", U+0100 NUL; then a CJK unit, a pair of
// surrogates, a lone surrogate and U+FFFF, among ASCII and Latin-1.
TEST_F(QueryUrlTest, UnitsAboveLatin1CannotReshapeTheUrl) {
  const std::wstring value =
      L"a\x042F\x043F\x0423\x012C\x012D\x013D\x0125\x0120\x0100" L"b/\x00E9"
      L"\x4E2D\xD83D\xDE00\xD800z\xFFFF";
  std::wstring url = sender_.GetQueryUrl({{"mixed", value}, {"zz", L"last"}},
                                         StatPath::kExtendedStat);
  ExpectOnlyPrintableAscii(url);
  EXPECT_EQ(url.find(L"/vars="), url.rfind(L"/vars="));
  EXPECT_EQ(url.substr(url.size() - 2), L"/*");
  EXPECT_EQ(url.find(L'?'), std::wstring::npos);
  auto pairs = VarsPairs(url);
  EXPECT_EQ(pairs.size(), 9u);
  EXPECT_EQ(pairs.back(), "-zz=last");
  // Above U+00FF the text travels as UTF-8; Latin-1 keeps its single byte.
  EXPECT_EQ(DecodedValue(url, "mixed"),
            "a\xD0\xAF\xD0\xBF\xD0\xA3\xC4\xAC\xC4\xAD\xC4\xBD\xC4\xA5\xC4\xA0\xC4\x80"
            "b/\xE9\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBDz\xEF\xBF\xBF");
}

TEST(InstallStatSenderTest, CyrillicPreviousVersionStaysInsideItsPair) {
  FakeStatSenderSystem system;
  system.values[L"ypv"] = L"\x0412\x0435\x0440\x0441\x0438\x044F 1.2";  // "Версия 1.2"
  InstallStatSender sender(L"", L"", L"h", &system);
  std::wstring url = sender.GetQueryUrl({{"action", L"x"}}, StatPath::kExtendedStat);
  EXPECT_THAT(VarsPairs(url),
              ::testing::Contains("-old_ver=%D0%92%D0%B5%D1%80%D1%81%D0%B8%D1%8F%201.2"));
}

TEST_F(QueryUrlTest, AValueTooLongToEscapeIsSentEmpty) {
  std::wstring url = sender_.GetQueryUrl({{"note", std::wstring(2100, L'x')}, {"z", L"1"}},
                                         StatPath::kExtendedStat);
  auto pairs = VarsPairs(url);
  EXPECT_THAT(pairs, ::testing::Contains("-note="));
  EXPECT_THAT(pairs, ::testing::Contains("-z=1"));
  EXPECT_EQ(url.substr(url.size() - 2), L"/*");
  EXPECT_EQ(EscapeUrlSegment(std::wstring(2083, L'x')).size(), 2083u);
}

// The installation thread sets parameters while the window thread sends. A
// missing lock shows as a torn value or a crash, though not on every run.
TEST(InstallStatSenderTest, SetParamIsSafeAgainstConcurrentUrlBuilding) {
  FakeStatSenderSystem system;
  InstallStatSender sender(L"", L"", L"h", &system);
  static const std::wstring kLong(300, L'a');
  static const std::wstring kShort(200, L'b');
  struct Writer {
    InstallStatSender* sender;
    static unsigned __stdcall Run(void* self) {
      auto* writer = static_cast<Writer*>(self);
      for (int i = 0; i < 100000; ++i) {
        writer->sender->SetParam("new_ver", i % 2 ? kLong : kShort);
        if (i % 100 == 0)
          writer->sender->SetParam("k" + std::to_string(i), L"v");
      }
      return 0;
    }
  } writer{&sender};
  base::ScopedHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &Writer::Run, &writer, 0, nullptr)));
  ASSERT_TRUE(thread.is_valid());
  size_t previous = 0;
  bool consistent = true;
  while (consistent && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT) {
    InstallEvent params = sender.params();
    auto found = params.find("new_ver");
    consistent = params.size() >= previous &&
                 (found == params.end() || found->second == kLong || found->second == kShort);
    previous = params.size();
  }
  ::WaitForSingleObject(thread.get(), INFINITE);
  EXPECT_TRUE(consistent);
  EXPECT_THAT(sender.GetQueryUrl({}, StatPath::kExtendedStat), HasSubstr(L"-k99900=v,"));
}

}  // namespace
}  // namespace stats
