#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <string>

#include "app/UiText.h"

namespace vorn::testing {
namespace {

// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
  }

  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }

 private:
  std::map<const char*, std::optional<std::string>> saved_;
};

TEST_F(LocaleEnvironment, LoadTextSpeaksTheLanguageOfTheMessagesLocale) {
  Set("LANG", "it_IT.UTF-8");
  Set("LC_MESSAGES", "de_DE.UTF-8");
  Set("LC_ALL", nullptr);
  EXPECT_EQ(LoadText(text::kClose), L"Schlie\u00DFen");
  Set("LC_ALL", "pt_BR.UTF-8");
  EXPECT_EQ(LoadText(text::kClose), L"Close");
  Set("LC_ALL", "C");
  EXPECT_EQ(LoadText(text::kCaption), L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17");
}

}  // namespace
}  // namespace vorn::testing
