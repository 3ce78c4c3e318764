#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "app/ProductStrings.h"
#include "app/UiText.h"
#include "app/UiTextLookup.h"
#include "app/WideText.h"
#include "app/platform/StringTable.h"

namespace vorn::testing {
namespace {

using platform::LanguageId;

constexpr LanguageId kNeutralEnglish = 0x0009;
constexpr LanguageId kTranslations[] = {0x0404, 0x0405, 0x0406, 0x0407, 0x040B, 0x040C, 0x040E,
                                        0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0419,
                                        0x041D, 0x041F, 0x0804, 0x0816, 0x0C0A};

bool contains(const std::wstring& text, std::wstring_view part) { return text.find(part) != std::wstring::npos; }

std::string name(LanguageId language, int id) { return "language " + std::to_string(language) + " string " + std::to_string(id); }

// The executable's own tables: the generated table on Linux, the string resources on Windows.
TEST(LoadText, EveryLanguageHasEveryTextWithItsPlaceholdersFilled) {
  const platform::StringTable& table = platform::ModuleStringTable();
  for (int id = text::kCaption; id <= text::kPackageDamaged; ++id) {
    std::optional<std::wstring> english = table.Find(kNeutralEnglish, id);
    ASSERT_TRUE(english) << name(kNeutralEnglish, id);
    for (LanguageId language : kTranslations) {
      std::optional<std::wstring> raw = table.Find(language, id);
      ASSERT_TRUE(raw) << name(language, id);
      std::wstring filled = LookUpText(table, language, id);
      EXPECT_FALSE(contains(filled, L"%%")) << name(language, id);
      EXPECT_EQ(contains(filled, kProductName.replacement), contains(*english, kProductName.placeholder))
          << name(language, id);
      EXPECT_EQ(contains(filled, kPackageVersion.replacement), contains(*english, kPackageVersion.placeholder))
          << name(language, id);
    }
  }
}

TEST(LoadText, EachLanguageAnswersFromItsOwnTableAndOthersFromEnglish) {
  const platform::StringTable& table = platform::ModuleStringTable();
  struct Case {
    LanguageId language;
    int id;
    std::wstring expected;
  } cases[] = {
      {0x0409, text::kCaption, L"Corvane Vorn Wireless Gaming Keyboard Update Tool v5.1.17"},
      {0x0009, text::kClose, L"Close"},
      {0x0407, text::kClose, L"Schlie\u00DFen"},
      {0x0411, text::kClose, L"\u9589\u3058\u308B"},
      {0x0419, text::kStart, L"\u041D\u0430\u0447\u0430\u0442\u044C"},
      {0x0816, text::kStart, L"Iniciar"},
      {0x0407, text::kUpdating, L"Firmware wird aktualisiert. Trennen Sie das Ger\u00E4t Vorn Wireless Gaming Keyboard nicht."},
      // No table: Greek, Brazilian Portuguese, British English, Swiss German get English.
      {0x0408, text::kClose, L"Close"},
      {0x0416, text::kStart, L"Start"},
      {0x0809, text::kNotesHeading, L"Release Notes"},
      {0x0807, text::kClose, L"Close"},
      {0x0408, text::kNoUpdateNeeded, L"Your device has firmware v5.1.17 or higher. No update is needed."},
  };
  for (const Case& c : cases) EXPECT_EQ(LookUpText(table, c.language, c.id), c.expected) << name(c.language, c.id);
  // Ids that no table has give an empty text rather than some other string of the block.
  for (int id : {0, 1023, 1042, 1047, -1, 70000}) EXPECT_EQ(LookUpText(table, 0x0407, id), L"") << id;
}

TEST(LoadText, TheReconnectHintKeepsItsLineBreakInEveryLanguage) {
  std::vector<LanguageId> languages(std::begin(kTranslations), std::end(kTranslations));
  languages.push_back(kNeutralEnglish);
  for (LanguageId language : languages) {
    std::wstring hint = LookUpText(platform::ModuleStringTable(), language, text::kWaitingForConnection);
    std::size_t at = hint.find(L'\n');
    ASSERT_NE(at, std::wstring::npos) << language;
    EXPECT_GT(at, 0u) << language;
    EXPECT_LT(at + 1, hint.size()) << language;
    EXPECT_EQ(hint.find(L'\n', at + 1), std::wstring::npos) << language;
    EXPECT_FALSE(contains(hint, L"\\")) << language;
  }
  EXPECT_EQ(LookUpText(platform::ModuleStringTable(), 0x0409, text::kWaitingForConnection),
            L"Please make sure your device is connected with the receiver and NOT via Bluetooth.\n"
            L"Turn your device OFF and then ON.");
}

// A table given by the test, which records the languages it is asked for.
class ScriptedTable final : public platform::StringTable {
 public:
  explicit ScriptedTable(std::map<std::pair<LanguageId, int>, std::wstring> texts) : texts_(std::move(texts)) {}

  std::optional<std::wstring> Find(LanguageId language, int id) const override {
    asked.push_back(language);
    auto it = texts_.find({language, id});
    if (it == texts_.end()) return std::nullopt;
    return it->second;
  }

  mutable std::vector<LanguageId> asked;

 private:
  std::map<std::pair<LanguageId, int>, std::wstring> texts_;
};

TEST(LookUpText, FallsBackThroughTheNeutralSublanguageToEnglish) {
  struct Case {
    const char* what;
    std::map<std::pair<LanguageId, int>, std::wstring> texts;
    LanguageId language;
    std::wstring expected;
  } cases[] = {
      {"own table", {{{0x0407, 7}, L"de"}, {{0x0009, 7}, L"en"}}, 0x0407, L"de"},
      {"neutral table of the language", {{{0x000C, 7}, L"fr"}, {{0x0009, 7}, L"en"}}, 0x080C, L"fr"},
      {"United States English before neutral", {{{0x0409, 7}, L"us"}, {{0x0009, 7}, L"en"}}, 0x0408, L"us"},
      {"neutral English", {{{0x0009, 7}, L"en"}}, 0x0408, L"en"},
      {"another id of the language does not count", {{{0x0408, 8}, L"el"}, {{0x0009, 7}, L"en"}}, 0x0408, L"en"},
      {"nothing anywhere", {{{0x0408, 8}, L"el"}}, 0x0408, L""},
  };
  for (const Case& c : cases) {
    ScriptedTable table(c.texts);
    EXPECT_EQ(LookUpText(table, c.language, 7), c.expected) << c.what;
  }
  ScriptedTable empty({});
  LookUpText(empty, 0x0408, 7);
  std::vector<LanguageId> order{0x0408, 0x0008, 0x0409, 0x0009};
  EXPECT_EQ(empty.asked, order);
}

TEST(LookUpText, FillsEveryPlaceholderOfTheFoundText) {
  ScriptedTable table({{{0x0007, 7}, L"%%DFU_PRODUCT_NAME%% v%%DFU_PACKAGE_VERSION%% / %%DFU_PRODUCT_NAME%% v%%DFU_PACKAGE_VERSION%%"}});
  EXPECT_EQ(LookUpText(table, 0x0407, 7),
            L"Vorn Wireless Gaming Keyboard v5.1.17 / Vorn Wireless Gaming Keyboard v5.1.17");
}

}  // namespace
}  // namespace vorn::testing
