#include "app/platform/UserLanguage.h"

#include <windows.h>

namespace vorn::platform {

LanguageId UserLanguage() { return LANGIDFROMLCID(GetThreadLocale()); }

}  // namespace vorn::platform
