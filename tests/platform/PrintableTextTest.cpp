#include <gtest/gtest.h>

#include "dovod/PrintableText.h"

namespace dovod::testing {
namespace {

TEST(PrintableText, EscapesWhatCouldSteerATerminalOrForgeALine) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"Wireless Keyboard K-7", "Wireless Keyboard K-7"},
      {"Clavier sans fil \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "Clavier sans fil \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {"name\r\nFAKE LINE", "name\\x0d\\x0aFAKE LINE"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"tab\there\x7f", "tab\\x09here\\x7f"},
      {"back\\slash", "back\\\\slash"},
      {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},            // a C1 control, as UTF-8
      {"\xff\xfe", "\\xff\\xfe"},                     // never UTF-8
      {"\xc0\x80", "\\xc0\\x80"},                     // overlong
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},            // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},   // past U+10FFFF
      {"cut \xe2\x82", "cut \\xe2\\x82"},             // truncated at the end
  };
  for (const Case& c : cases) EXPECT_EQ(printable_text(c.in), c.out) << c.out;
}

}  // namespace
}  // namespace dovod::testing
