#pragma once
// The language the user reads, as a Windows language id: on Windows the thread locale's, on Linux
// the one of the locale that names the messages' language.

#include <functional>
#include <string_view>

#include "app/platform/StringTable.h"

namespace vorn::platform {

inline constexpr LanguageId kEnglishUnitedStates = 0x0409;

LanguageId UserLanguage();

// A POSIX locale name ("language[_territory][.codeset][@modifier]") as a Windows language id.
// "C", "POSIX", an empty name and a language we do not know give English (United States); a known
// language whose territory we do not know gives that language with the neutral sublanguage.
LanguageId LanguageFromLocaleName(std::string_view name);

// The messages' locale from the environment, as the C library picks it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty. `variable` answers a name with its value or null.
LanguageId LanguageFromEnvironment(const std::function<const char*(const char*)>& variable);

}  // namespace vorn::platform
