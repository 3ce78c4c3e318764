#include "app/platform/UserLanguage.h"

#include <cctype>
#include <string>

namespace vorn::platform {
namespace {

struct Locale {
  std::string_view name;  // language, or language_TERRITORY
  LanguageId id;
};

// The languages of our string tables and the regional forms of them that Windows gives an id of
// its own (so that, as on Windows, Brazilian Portuguese or Swiss German is not taken for the form
// we translated into). A bare language means the form we translated into.
constexpr Locale kLocales[] = {
    {"cs", 0x0405},    {"cs_CZ", 0x0405}, {"da", 0x0406},    {"da_DK", 0x0406}, {"de", 0x0407},
    {"de_DE", 0x0407}, {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"de_LI", 0x1407}, {"de_LU", 0x1007},
    {"el", 0x0408},    {"el_GR", 0x0408}, {"en", 0x0409},    {"en_US", 0x0409}, {"en_AU", 0x0C09},
    {"en_CA", 0x1009}, {"en_GB", 0x0809}, {"en_IE", 0x1809}, {"en_NZ", 0x1409}, {"es", 0x0C0A},
    {"es_ES", 0x0C0A}, {"es_AR", 0x2C0A}, {"es_MX", 0x080A}, {"fi", 0x040B},    {"fi_FI", 0x040B},
    {"fr", 0x040C},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"fr_LU", 0x140C}, {"hu", 0x040E},    {"hu_HU", 0x040E}, {"it", 0x0410},    {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"ja", 0x0411},    {"ja_JP", 0x0411}, {"ko", 0x0412},    {"ko_KR", 0x0412},
    {"nb", 0x0414},    {"nb_NO", 0x0414}, {"nl", 0x0413},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nn", 0x0814},    {"nn_NO", 0x0814}, {"no", 0x0414},    {"no_NO", 0x0414}, {"pl", 0x0415},
    {"pl_PL", 0x0415}, {"pt", 0x0816},    {"pt_PT", 0x0816}, {"pt_BR", 0x0416}, {"ru", 0x0419},
    {"ru_RU", 0x0419}, {"sv", 0x041D},    {"sv_SE", 0x041D}, {"sv_FI", 0x081D}, {"tr", 0x041F},
    {"tr_TR", 0x041F}, {"zh", 0x0804},    {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404},
    {"zh_SG", 0x1004}, {"zh_TW", 0x0404},
};

const Locale* find(std::string_view name) {
  for (const Locale& locale : kLocales) {
    if (locale.name == name) return &locale;
  }
  return nullptr;
}

}  // namespace

LanguageId LanguageFromLocaleName(std::string_view name) {
  name = name.substr(0, name.find_first_of(".@"));
  std::size_t underscore = name.find('_');
  std::string language(name.substr(0, underscore));
  for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const Locale* bare = find(language);
  if (!bare) return kEnglishUnitedStates;
  if (underscore == std::string_view::npos) return bare->id;
  std::string full = language + "_";
  for (char c : name.substr(underscore + 1)) full += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Locale* regional = find(full);
  return regional ? regional->id : PrimaryLanguage(bare->id);
}

LanguageId LanguageFromEnvironment(const std::function<const char*(const char*)>& variable) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = variable(name);
    if (value && *value) return LanguageFromLocaleName(value);
  }
  return kEnglishUnitedStates;
}

}  // namespace vorn::platform
