// Turns the one source of the dialog's texts into what each build links: a C++ table for Linux
// and a resource script with one STRINGTABLE per language for Windows. A source that fails its
// checks stops the build with every fault listed and leaves no output behind.
//
//   vorn_make_ui_texts <ui_texts.tsv> <output folder>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "ui_texts/UiTextSource.h"

namespace {

bool write_file(const std::string& path, const std::string& contents) {
  // Written beside and renamed, so an interrupted build never leaves a cut file behind.
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

std::string hex(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

// A wide string literal for C++: ASCII as itself, everything else as a universal character name.
std::string cpp_literal(const std::u32string& text) {
  std::string out = "L\"";
  for (char32_t c : text) {
    if (c == U'\n') out += "\\n";
    else if (c == U'"' || c == U'\\') (out += '\\') += static_cast<char>(c);
    else if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x10000) out += "\\u" + hex(c, 4);
    else out += "\\U" + hex(c, 8);
  }
  return out + "\"";
}

// A wide string literal for the resource compiler, kept ASCII so that no code page is involved:
// every other character as a UTF-16 code unit in hexadecimal.
std::string rc_literal(const std::u32string& text) {
  std::string out = "L\"";
  for (char32_t c : text) {
    if (c == U'\n') out += "\\n";
    else if (c >= 0x20 && c < 0x7F && c != U'"' && c != U'\\') out += static_cast<char>(c);
    else if (c < 0x10000) out += "\\x" + hex(c, 4);
    else out += "\\x" + hex(0xD800 + ((c - 0x10000) >> 10), 4) + "\\x" + hex(0xDC00 + ((c - 0x10000) & 0x3FF), 4);
  }
  return out + "\"";
}

std::string as_cpp(const uitexts::Parsed& parsed) {
  std::string out =
      "// Generated at build time by vorn_make_ui_texts from app/resources/ui_texts.tsv.\n\n"
      "#include \"app/platform/LinkedStrings.h\"\n\nnamespace vorn::platform {\nnamespace {\n\n"
      "const LinkedString strings[] = {\n";
  for (const uitexts::Text& t : parsed.texts) {
    out += "    {0x" + hex(t.language, 4) + ", " + std::to_string(t.id) + ", " + cpp_literal(t.text) + "},\n";
  }
  out += "};\n\n}  // namespace\n\nstd::span<const LinkedString> LinkedStrings() { return strings; }\n\n"
         "}  // namespace vorn::platform\n";
  return out;
}

std::string as_rc(const uitexts::Parsed& parsed) {
  std::string out = "// Generated at build time by vorn_make_ui_texts from app/resources/ui_texts.tsv.\n";
  unsigned language = 0;
  for (const uitexts::Text& t : parsed.texts) {
    if (t.language != language) {
      if (language != 0) out += "END\n";
      language = t.language;
      out += "\nLANGUAGE 0x" + hex(language & 0x3FF, 2) + ", 0x" + hex(language >> 10, 2) + "\nSTRINGTABLE\nBEGIN\n";
    }
    out += "  " + std::to_string(t.id) + ", " + rc_literal(t.text) + "\n";
  }
  if (language != 0) out += "END\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vorn_make_ui_texts <ui_texts.tsv> <output folder>\n";
    return 2;
  }
  const std::string source = argv[1];
  const std::string folder = argv[2];
  std::ifstream in(source, std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  if (!in) {
    std::cerr << source << ": cannot read the file\n";
    return 1;
  }
  uitexts::Parsed parsed = uitexts::ParseUiTexts(contents.str(), source);
  if (!parsed.errors.empty()) {
    for (const std::string& error : parsed.errors) std::cerr << error << "\n";
    std::cerr << source << ": the dialog's texts have " << parsed.errors.size() << " fault(s); nothing was generated\n";
    return 1;
  }
  for (const auto& [name, text] : {std::make_pair(std::string("ui_texts.cpp"), as_cpp(parsed)),
                                   std::make_pair(std::string("ui_texts.rc"), as_rc(parsed))}) {
    if (!write_file(folder + "/" + name, text)) {
      std::cerr << "cannot write " << folder << "/" << name << "\n";
      return 1;
    }
  }
  return 0;
}
