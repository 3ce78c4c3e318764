#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppOptions.h"

namespace vorn::testing {
namespace {

struct TokenCase {
  const char* what;
  std::vector<std::wstring> tokens;
  bool force;
  bool log;
  bool skip_device;
  std::wstring force_directory;
  std::int32_t fail_device;
};

class CommandLineCases : public ::testing::TestWithParam<TokenCase> {};

TEST_P(CommandLineCases, SetsTheOptionsOfTheTable) {
  const TokenCase& c = GetParam();
  std::vector<const wchar_t*> tokens;
  for (const std::wstring& token : c.tokens) tokens.push_back(token.c_str());
  AppOptions options;
  EXPECT_TRUE(ParseCommandLine(static_cast<int>(tokens.size()), tokens.data(), options));
  EXPECT_EQ(options.force, c.force);
  EXPECT_EQ(options.log, c.log);
  EXPECT_EQ(options.skip_device, c.skip_device);
  EXPECT_EQ(options.force_directory, c.force_directory);
  EXPECT_EQ(options.fail_device, c.fail_device);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, CommandLineCases,
    ::testing::Values(
        TokenCase{"force any case", {L"/force"}, true, false, false, L"", 0},
        TokenCase{"log any case", {L"/Log"}, false, true, false, L"", 0},
        TokenCase{"skip device changes nothing else", {L"/SkipDevice"}, false, false, true, L"", 0},
        TokenCase{"force is whole-token", {L"/FORCEX", L"x/FORCE", L"/LOGS"}, false, false, false, L"", 0},
        TokenCase{"non-ASCII never folds", {L"/FORC\u0130"}, false, false, false, L"", 0},
        TokenCase{"force directory", {L"/FORCEDIR=C:\\tmp dir"}, true, false, false, L"C:\\tmp dir", 0},
        TokenCase{"force directory anywhere in a token", {L"x/FORCEDIR=C:\\tmp"}, true, false, false, L"C:\\tmp", 0},
        TokenCase{"force directory exact case", {L"/forcedir=x"}, false, false, false, L"", 0},
        TokenCase{"empty force directory finishes the token",
                  {L"/FAILDEVICE=3/FORCEDIR="}, false, false, false, L"", 0},
        TokenCase{"force directory then fail device in one token",
                  {L"/FORCEDIR=d/FAILDEVICE=9"}, true, false, false, L"d/FAILDEVICE=9", 9},
        TokenCase{"fail device", {L"/FAILDEVICE=2"}, false, false, false, L"", 2},
        TokenCase{"fail device exact case", {L"/faildevice=3"}, false, false, false, L"", 0},
        TokenCase{"fail device blanks, sign, trailing text", {L"/FAILDEVICE=  -17abc"}, false, false, false, L"", -17},
        TokenCase{"fail device 32-bit bounds",
                  {L"/FAILDEVICE=-2147483648"}, false, false, false, L"", -2147483647 - 1},
        TokenCase{"fail device out of range keeps the last value",
                  {L"/FAILDEVICE=5", L"/FAILDEVICE=2147483648"}, false, false, false, L"", 5},
        TokenCase{"fail device not a number keeps the last value",
                  {L"/FAILDEVICE=5", L"/FAILDEVICE=x1", L"/FAILDEVICE="}, false, false, false, L"", 5},
        TokenCase{"last value wins",
                  {L"/FORCEDIR=a", L"/FORCEDIR=b", L"/FAILDEVICE=1", L"/FAILDEVICE=4"}, true, false, false, L"b", 4},
        TokenCase{"several options, unknown ignored",
                  {L"/LOG", L"hello", L"/FORCE", L"/SKIPDEVICE"}, true, true, true, L"", 0},
        TokenCase{"over-long force directory is kept whole",
                  {L"/FORCEDIR=" + std::wstring(1 << 20, L'd')}, true, false, false, std::wstring(1 << 20, L'd'), 0},
        TokenCase{"over-long unknown token is ignored", {std::wstring(1 << 20, L'/')}, false, false, false, L"", 0},
        TokenCase{"fail device digits past 64 bits keep the last value",
                  {L"/FAILDEVICE=5", L"/FAILDEVICE=" + std::wstring(4096, L'9')}, false, false, false, L"", 5},
        TokenCase{"odd characters in the force directory are kept",
                  {L"/FORCEDIR=\u00e9\U0001F600\uFFFD\t\r\n\"*?<>|%s"}, true, false, false,
                  L"\u00e9\U0001F600\uFFFD\t\r\n\"*?<>|%s", 0},
        TokenCase{"blanks or line ends around an option do not match",
                  {L" /FORCE", L"/LOG\n", L"/SKIPDEVICE\t", L"/LOG\r"}, false, false, false, L"", 0},
        TokenCase{"an empty force directory neither clears nor sets",
                  {L"/FORCEDIR=a", L"/FORCEDIR="}, true, false, false, L"a", 0},
        TokenCase{"force repeated with force directory keeps both",
                  {L"/FORCE", L"/FORCEDIR=b", L"/force", L"/FORCE"}, true, false, false, L"b", 0},
        TokenCase{"fail device between the 32-bit bounds and past them",
                  {L"/FAILDEVICE=2147483647", L"/FAILDEVICE=-2147483649"}, false, false, false, L"", 2147483647}),
    [](const ::testing::TestParamInfo<TokenCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(CommandLine, NoTokensIsFalseAndChangesNothing) {
  AppOptions options;
  EXPECT_FALSE(ParseCommandLine(0, nullptr, options));
  EXPECT_FALSE(ParseCommandLine(-1, nullptr, options));
  EXPECT_FALSE(options.force || options.log || options.skip_device);
}

TEST(CommandLine, MissingTokensAreSkipped) {
  const wchar_t* tokens[] = {nullptr, L"/LOG", nullptr};
  AppOptions options;
  EXPECT_TRUE(ParseCommandLine(3, tokens, options));
  EXPECT_TRUE(options.log);
  EXPECT_FALSE(options.force || options.skip_device);
}

}  // namespace
}  // namespace vorn::testing
