#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/platform/UserLanguage.h"

namespace vorn::testing {
namespace {

using platform::LanguageId;

TEST(UserLanguage, LocaleNamesBecomeWindowsLanguageIds) {
  struct Case {
    const char* locale;
    LanguageId expected;
  } cases[] = {
      {"de_DE.UTF-8", 0x0407},  {"de", 0x0407},           {"DE_de", 0x0407},         {"de_AT.UTF-8", 0x0C07},
      {"fr_FR@euro", 0x040C},   {"fr_CA", 0x0C0C},        {"es_ES.UTF-8", 0x0C0A},   {"es_CO", 0x000A},
      {"pt_PT", 0x0816},        {"pt_BR.UTF-8", 0x0416},  {"zh_TW.Big5", 0x0404},    {"zh_CN.GB18030", 0x0804},
      {"nb_NO.UTF-8", 0x0414},  {"no_NO", 0x0414},        {"ja_JP.eucJP", 0x0411},   {"el_GR.UTF-8", 0x0408},
      {"en_GB.UTF-8", 0x0809},  {"en_US", 0x0409},        {"C", 0x0409},             {"C.UTF-8", 0x0409},
      {"POSIX", 0x0409},        {"", 0x0409},             {"xx_YY", 0x0409},         {"sr_RS@latin", 0x0409},
      {"_DE", 0x0409},          {"de_", 0x0007},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::LanguageFromLocaleName(c.locale), c.expected) << c.locale;
}

TEST(UserLanguage, LcAllOverLcMessagesOverLang) {
  struct Case {
    std::map<std::string, std::string> environment;
    LanguageId expected;
  } cases[] = {
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "it_IT.UTF-8"}}, 0x040C},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "it_IT.UTF-8"}}, 0x0407},
      {{{"LANG", "it_IT.UTF-8"}}, 0x0410},
      {{{"LC_ALL", "C"}, {"LANG", "it_IT.UTF-8"}}, 0x0409},
      {{{"LC_MESSAGES", "POSIX"}, {"LANG", "it_IT.UTF-8"}}, 0x0409},
      {{}, 0x0409},
  };
  for (const Case& c : cases) {
    auto variable = [&c](const char* name) -> const char* {
      auto it = c.environment.find(name);
      return it == c.environment.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(platform::LanguageFromEnvironment(variable), c.expected);
  }
}

}  // namespace
}  // namespace vorn::testing
