#include "app/platform/UserLanguage.h"

#include <cstdlib>

namespace vorn::platform {

LanguageId UserLanguage() {
  return LanguageFromEnvironment([](const char* name) { return std::getenv(name); });
}

}  // namespace vorn::platform
