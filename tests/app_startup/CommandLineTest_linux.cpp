#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/platform/CommandLine.h"

namespace vorn::testing {
namespace {

// argv comes from whoever started the tool, in whatever bytes they chose.
TEST(CommandLineTokens, BytesThatAreNotUtf8BecomeReplacementsAndNeverMatchAnOption) {
  std::string program = "vorn-firmware-update";
  std::string broken_log = "/LOG\xff";
  std::string cut_dir = "/FORCEDIR=a\xc3";
  std::string overlong_slash = "\xc0\xafLOG";
  std::string empty;
  std::vector<char*> argv = {program.data(), broken_log.data(), nullptr, cut_dir.data(),
                             overlong_slash.data(), empty.data()};
  const std::vector<std::wstring> tokens = platform::CommandLineTokens(static_cast<int>(argv.size()), argv.data());
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[0], L"/LOG\uFFFD");
  EXPECT_EQ(tokens[1].substr(0, 11), L"/FORCEDIR=a");
  EXPECT_NE(tokens[1].find(L'\uFFFD'), std::wstring::npos);
  EXPECT_EQ(tokens[2].find(L'/'), std::wstring::npos) << "an overlong encoding must not become a slash";
  EXPECT_EQ(tokens[3], L"");

  std::vector<const wchar_t*> pointers;
  for (const std::wstring& token : tokens) pointers.push_back(token.c_str());
  AppOptions options;
  ASSERT_TRUE(ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), options));
  EXPECT_FALSE(options.log);
  EXPECT_TRUE(options.force);

  EXPECT_TRUE(platform::CommandLineTokens(1, argv.data()).empty());
  EXPECT_TRUE(platform::CommandLineTokens(3, nullptr).empty());
}

}  // namespace
}  // namespace vorn::testing
