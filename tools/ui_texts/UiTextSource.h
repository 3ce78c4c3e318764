#pragma once
// Reading and checking the one source of the dialog's texts (app/resources/ui_texts.tsv). The
// build stops on a source that would give some language a missing text or a text whose
// placeholders differ from English, instead of shipping a dialog with holes in it.

#include <string>
#include <string_view>
#include <vector>

namespace uitexts {

inline constexpr unsigned kNeutralEnglish = 0x0009;

struct Text {
  unsigned language = 0;  // a Windows language id
  int id = 0;             // the string id
  std::u32string text;    // escapes resolved
};

struct Parsed {
  std::vector<Text> texts;          // ordered by language, then id
  std::vector<std::string> errors;  // "<name>:<line>: <what>" or "<name>: <what>"; empty when sound
};

// Parses `contents`, the source file called `name` in the messages, and checks it whole: every
// error is reported, not only the first.
Parsed ParseUiTexts(std::string_view contents, const std::string& name);

}  // namespace uitexts
