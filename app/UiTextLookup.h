#pragma once
// The lookup behind LoadText, with the string tables and the language given, so that it can be run
// against tables and languages other than the program's own.

#include <string>

#include "app/platform/StringTable.h"

namespace vorn {

// String `id` in `language`; when that language has no such string, in English (United States),
// which the neutral English table answers; empty when neither has it. Placeholders filled in.
std::wstring LookUpText(const platform::StringTable& table, platform::LanguageId language, int id);

}  // namespace vorn
