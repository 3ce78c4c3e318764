#include "UiTextSource.h"

#include <algorithm>
#include <map>
#include <set>

#include "app/ProductStrings.h"

namespace uitexts {
namespace {

// Decodes strict UTF-8; false on anything a converter would have to guess at (cut or overlong
// sequences, surrogates, values beyond U+10FFFF).
bool decode_utf8(std::string_view in, std::u32string& out) {
  for (std::size_t i = 0; i < in.size();) {
    unsigned char lead = static_cast<unsigned char>(in[i]);
    int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || in.size() - i <= static_cast<std::size_t>(extra)) return false;
    char32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(in[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out.push_back(c);
    i += 1 + static_cast<std::size_t>(extra);
  }
  return true;
}

std::u32string widen(std::wstring_view ascii) { return std::u32string(ascii.begin(), ascii.end()); }

// The placeholders a text carries, in order; anything else between "%%" marks is an error.
bool placeholders(const std::u32string& text, std::vector<std::u32string>& found) {
  static const std::u32string known[] = {widen(vorn::kProductName.placeholder),
                                         widen(vorn::kPackageVersion.placeholder)};
  for (std::size_t at = 0; (at = text.find(U"%%", at)) != std::u32string::npos;) {
    const std::u32string* match = nullptr;
    for (const std::u32string& p : known) {
      if (text.compare(at, p.size(), p) == 0) match = &p;
    }
    if (!match) return false;
    found.push_back(*match);
    at += match->size();
  }
  return true;
}

std::string utf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string hex_language(unsigned language) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(language >> shift) & 0xF];
  return out;
}

bool parse_number(std::string_view field, int base, unsigned max, unsigned& value) {
  if (field.empty() || field.size() > 8) return false;
  value = 0;
  for (char ch : field) {
    int digit = ch >= '0' && ch <= '9' ? ch - '0'
                : base == 16 && ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                : base == 16 && ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                : -1;
    if (digit < 0) return false;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value <= max;
}

class Parser {
 public:
  explicit Parser(const std::string& name) : name_(name) {}

  void line(std::string_view text, int number) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.empty() || text.front() == '#') return;
    std::size_t tab1 = text.find('\t');
    std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : text.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) return fail(number, "expected language id, string id and text separated by tabs");
    std::string_view language_field = text.substr(0, tab1);
    std::string_view id_field = text.substr(tab1 + 1, tab2 - tab1 - 1);
    std::string_view text_field = text.substr(tab2 + 1);

    unsigned language = 0, id = 0;
    if (language_field.size() < 3 || language_field.substr(0, 2) != "0x" ||
        !parse_number(language_field.substr(2), 16, 0xFFFF, language) || language == 0) {
      return fail(number, "language id \"" + std::string(language_field) + "\" is not a hexadecimal Windows language id");
    }
    if (!parse_number(id_field, 10, 0xFFFF, id)) {
      return fail(number, "string id \"" + std::string(id_field) + "\" is not a number from 0 to 65535");
    }
    std::u32string decoded;
    if (!decode_utf8(text_field, decoded)) return fail(number, "the text is not valid UTF-8");
    std::u32string resolved;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
      char32_t c = decoded[i];
      if (c == U'\\') {
        char32_t next = i + 1 < decoded.size() ? decoded[i + 1] : 0;
        if (next != U'n' && next != U'\\') {
          return fail(number, "stray escape in the text: only \\n and \\\\ are allowed");
        }
        resolved += next == U'n' ? U'\n' : U'\\';
        ++i;
      } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return fail(number, "a control character in the text; write a line break as \\n");
      } else {
        resolved += c;
      }
    }
    if (resolved.empty()) return fail(number, "the text is empty");
    std::vector<std::u32string> marks;
    if (!placeholders(resolved, marks)) return fail(number, "\"%%\" that does not begin a known placeholder");
    auto key = std::make_pair(language, static_cast<int>(id));
    if (!texts_.emplace(key, Entry{std::move(resolved), number}).second) {
      return fail(number, "a second text for language " + hex_language(language) + " string " + std::to_string(id));
    }
  }

  Parsed finish() {
    std::map<int, const Entry*> english;
    for (const auto& [key, entry] : texts_) {
      if (key.first == kNeutralEnglish) english[key.second] = &entry;
    }
    if (english.empty()) errors_.push_back(name_ + ": no texts for neutral English (" + hex_language(kNeutralEnglish) + ")");
    std::set<unsigned> languages;
    for (const auto& [key, entry] : texts_) languages.insert(key.first);
    for (unsigned language : languages) {
      for (const auto& [id, reference] : english) {
        if (!texts_.count({language, id})) {
          errors_.push_back(name_ + ": language " + hex_language(language) + " has no text for string " + std::to_string(id));
        }
      }
    }
    for (const auto& [key, entry] : texts_) {
      auto reference = english.find(key.second);
      if (reference == english.end()) {
        if (!english.empty()) fail(entry.line, "string " + std::to_string(key.second) + " is not one of neutral English's");
        continue;
      }
      std::vector<std::u32string> expected, found;
      placeholders(reference->second->text, expected);
      placeholders(entry.text, found);
      std::sort(expected.begin(), expected.end());
      std::sort(found.begin(), found.end());
      if (expected != found) {
        fail(entry.line, "the placeholders differ from those of the English text \"" + utf8(reference->second->text) + "\"");
      }
    }
    Parsed parsed;
    parsed.errors = std::move(errors_);
    std::sort(parsed.errors.begin(), parsed.errors.end());
    if (parsed.errors.empty()) {
      for (auto& [key, entry] : texts_) parsed.texts.push_back({key.first, key.second, std::move(entry.text)});
    }
    return parsed;
  }

 private:
  struct Entry {
    std::u32string text;
    int line;
  };

  void fail(int line, const std::string& what) { errors_.push_back(name_ + ":" + std::to_string(line) + ": " + what); }

  std::string name_;
  std::map<std::pair<unsigned, int>, Entry> texts_;
  std::vector<std::string> errors_;
};

}  // namespace

Parsed ParseUiTexts(std::string_view contents, const std::string& name) {
  Parser parser(name);
  int number = 0;
  for (std::size_t from = 0; from < contents.size();) {
    std::size_t end = contents.find('\n', from);
    if (end == std::string_view::npos) end = contents.size();
    parser.line(contents.substr(from, end - from), ++number);
    from = end + 1;
  }
  return parser.finish();
}

}  // namespace uitexts
