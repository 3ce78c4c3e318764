#include <gtest/gtest.h>

#include <string>

#include "ui_texts/UiTextSource.h"

namespace vorn::testing {
namespace {

// Two English texts that the cases below break one way or another.
const std::string kEnglish =
    "0x0009\t1024\tTool v%%DFU_PACKAGE_VERSION%% for %%DFU_PRODUCT_NAME%%\n"
    "0x0009\t1025\tTwo\\nlines\n";

std::string Joined(const std::vector<std::string>& errors) {
  std::string out;
  for (const std::string& e : errors) out += e + "\n";
  return out;
}

TEST(UiTextSource, ReadsTextsWithTheirEscapesResolved) {
  uitexts::Parsed parsed = uitexts::ParseUiTexts(
      "# a comment\r\n\n0x0407\t1025\tZwei\\nZeilen \\\\ \xC3\xA4\r\n"
      "0x0407\t1024\tWerkzeug %%DFU_PRODUCT_NAME%% v%%DFU_PACKAGE_VERSION%%\n" + kEnglish,
      "texts.tsv");
  ASSERT_TRUE(parsed.errors.empty()) << Joined(parsed.errors);
  ASSERT_EQ(parsed.texts.size(), 4u);
  EXPECT_EQ(parsed.texts[0].language, 0x0009u);
  EXPECT_EQ(parsed.texts[0].id, 1024);
  EXPECT_EQ(parsed.texts[1].text, U"Two\nlines");
  EXPECT_EQ(parsed.texts[3].language, 0x0407u);
  EXPECT_EQ(parsed.texts[3].id, 1025);
  EXPECT_EQ(parsed.texts[3].text, U"Zwei\nZeilen \\ \u00E4");
}

TEST(UiTextSource, RejectsEveryFaultWithItsLine) {
  struct Case {
    std::string line;  // added after the English texts, as line 3
    std::string expected;
  } cases[] = {
      {"0x0407\t1024\tWerkzeug %%DFU_PRODUCT_NAME%%", "t.tsv:3: the placeholders differ"},
      {"0x0407\t1024\t%%DFU_PRODUCT_NAME%% %%DFU_PRODUCT_NAME%% v%%DFU_PACKAGE_VERSION%%", "t.tsv:3: the placeholders differ"},
      {"0x0407\t1024\tv%%DFU_VERSION%% %%DFU_PRODUCT_NAME%%", "t.tsv:3: \"%%\" that does not begin a known placeholder"},
      {"0x0407\t1025\tZwei\\tZeilen", "t.tsv:3: stray escape"},
      {"0x0407\t1025\tZwei\\", "t.tsv:3: stray escape"},
      {"0x0407\t1025\tZwei\x01Zeilen", "t.tsv:3: a control character"},
      {"0x0407\t1025\tZwei\tZeilen", "t.tsv:3: a control character"},
      {"0x0407\t1025\t\xC3", "t.tsv:3: the text is not valid UTF-8"},
      {"0x0407\t1025\t\xC0\xAF", "t.tsv:3: the text is not valid UTF-8"},
      {"0x0407\t1025\t\xED\xA0\x80", "t.tsv:3: the text is not valid UTF-8"},
      {"0x0407\t1025\t", "t.tsv:3: the text is empty"},
      {"0x0009\t1025\tAgain", "t.tsv:3: a second text for language 0x0009 string 1025"},
      {"0407\t1025\tZwei", "t.tsv:3: language id \"0407\""},
      {"0x10000\t1025\tZwei", "t.tsv:3: language id"},
      {"0x0407\t10x\tZwei", "t.tsv:3: string id \"10x\""},
      {"0x0407\t65536\tZwei", "t.tsv:3: string id"},
      {"0x0407 1025 Zwei", "t.tsv:3: expected language id, string id and text separated by tabs"},
      {"0x0407\t1026\tDrei", "t.tsv:3: string 1026 is not one of neutral English's"},
      {"0x0407\t1025\tZwei", "t.tsv: language 0x0407 has no text for string 1024"},
  };
  for (const Case& c : cases) {
    uitexts::Parsed parsed = uitexts::ParseUiTexts(kEnglish + c.line + "\n", "t.tsv");
    std::string errors = Joined(parsed.errors);
    EXPECT_NE(errors.find(c.expected), std::string::npos) << c.line << "\ngave:\n" << errors;
    EXPECT_TRUE(parsed.texts.empty()) << c.line;
  }
}

TEST(UiTextSource, ReportsEveryFaultNotOnlyTheFirst) {
  uitexts::Parsed parsed = uitexts::ParseUiTexts(kEnglish +
                                                     "0x0407\t1024\tWerkzeug\n"
                                                     "0x040C\t1025\tDeux\\xlignes\n"
                                                     "0x040C\t1024\tOutil v%%DFU_PACKAGE_VERSION%% %%DFU_PRODUCT_NAME%%\n",
                                                 "t.tsv");
  std::string errors = Joined(parsed.errors);
  for (const char* expected : {"t.tsv:3: the placeholders differ", "t.tsv:4: stray escape",
                               "t.tsv: language 0x0407 has no text for string 1025",
                               "t.tsv: language 0x040C has no text for string 1025"}) {
    EXPECT_NE(errors.find(expected), std::string::npos) << expected << "\ngave:\n" << errors;
  }

  parsed = uitexts::ParseUiTexts("0x0407\t1024\tWerkzeug\n", "t.tsv");
  EXPECT_NE(Joined(parsed.errors).find("t.tsv: no texts for neutral English (0x0009)"), std::string::npos);
}

}  // namespace
}  // namespace vorn::testing
