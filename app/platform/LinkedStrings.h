#pragma once
// The dialog's texts linked into a Linux executable: generated at build time from the source that
// the Windows string tables come from too.

#include <span>

#include "app/platform/StringTable.h"

namespace vorn::platform {

struct LinkedString {
  LanguageId language;
  int id;
  const wchar_t* text;  // placeholders not filled in
};

// Every text of every language, ordered by language, then id.
std::span<const LinkedString> LinkedStrings();

}  // namespace vorn::platform
