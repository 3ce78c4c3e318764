#include "core/CacheFile.h"

#include <rapidxml.hpp>
#include <rapidxml_print.hpp>

#include <iterator>
#include <vector>

#include "platform/PrivateFile.h"

namespace dovod {
namespace {

// Our documents are two levels deep; the parser recurses once per level, so deeper input is
// refused before it could use up the stack.
constexpr int kMaxDepth = 8;

std::string to_hex(const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (Byte b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<Bytes> from_hex(std::string_view text) {
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<Byte>(high << 4 | low));
  }
  return bytes;
}

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool name_char(char c) { return c && !space(c) && c != '/' && c != '>' && c != '?'; }
bool attribute_name_char(char c) {
  return name_char(c) && c != '<' && c != '=' && c != '!';
}

// Walks the text as the parser tokenises it (rapidxml, default flags), so that quotes, '<' and
// the like count where the parser counts them: element names may hold quotes and '<', attribute
// names quotes, values anything up to their closing quote. The parser recurses once per open
// element; deeper documents are refused before it runs. Declarations ("<!": comments, CDATA,
// DOCTYPE) never appear in our files and are refused wherever the parser would meet one. Where
// the parser would fail, the walk stops and leaves the verdict to it: nothing beyond that point
// is parsed. `p` points into a zero-terminated buffer, as the parser's does.
bool shallow_enough(const char* p) {
  if (p[0] == '\xEF' && p[1] == '\xBB' && p[2] == '\xBF') p += 3;
  int depth = 0;
  for (;;) {
    while (space(*p)) ++p;
    if (depth > 0 && *p && *p != '<') {
      while (*p && *p != '<') ++p;  // character data
      continue;
    }
    if (*p != '<') return true;  // the end of the text, or an error in the parser
    ++p;
    if (depth > 0 && *p == '/') {
      ++p;
      while (name_char(*p)) ++p;
      while (space(*p)) ++p;
      if (*p != '>') return true;
      ++p;
      --depth;
      continue;
    }
    if (*p == '!') return false;
    if (*p == '?') {
      ++p;
      while (*p && !(p[0] == '?' && p[1] == '>')) ++p;
      if (!*p) return true;
      p += 2;
      continue;
    }
    const char* name = p;
    while (name_char(*p)) ++p;
    if (p == name) return true;
    while (space(*p)) ++p;
    while (attribute_name_char(*p)) {
      while (attribute_name_char(*p)) ++p;
      while (space(*p)) ++p;
      if (*p != '=') return true;
      ++p;
      while (space(*p)) ++p;
      char quote = *p;
      if (quote != '"' && quote != '\'') return true;
      ++p;
      while (*p && *p != quote) ++p;
      if (!*p) return true;
      ++p;
      while (space(*p)) ++p;
    }
    if (*p == '/') {
      if (p[1] != '>') return true;
      p += 2;
    } else if (*p == '>') {
      ++p;
      if (++depth > kMaxDepth) return false;
    } else {
      return true;
    }
  }
}

std::string_view value_of(const rapidxml::xml_attribute<>* attribute) {
  return attribute ? std::string_view(attribute->value(), attribute->value_size()) : std::string_view();
}

}  // namespace

std::optional<CacheContents> CacheFile::parse(std::string_view text) {
  if (text.size() > kMaxSize) return std::nullopt;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  if (!shallow_enough(buffer.data())) return std::nullopt;
  rapidxml::xml_document<> document;
  try {
    document.parse<rapidxml::parse_default>(buffer.data());
  } catch (const rapidxml::parse_error&) {
    return std::nullopt;
  }
  const auto* root = document.first_node("cache");
  if (!root) return std::nullopt;
  CacheContents contents;
  contents.fw = std::string(value_of(root->first_attribute("fw")));
  contents.path = std::string(value_of(root->first_attribute("path")));
  for (const auto* node = root->first_node("command"); node; node = node->next_sibling("command")) {
    auto request = from_hex(value_of(node->first_attribute("cmd")));
    auto reply = from_hex(value_of(node->first_attribute("rsp")));
    if (!request || !reply) return std::nullopt;
    contents.commands.emplace(std::move(*request), std::move(*reply));
  }
  return contents;
}

std::string CacheFile::format(const CacheContents& contents) {
  rapidxml::xml_document<> document;
  auto* declaration = document.allocate_node(rapidxml::node_declaration);
  declaration->append_attribute(document.allocate_attribute("version", "1.0"));
  declaration->append_attribute(document.allocate_attribute("encoding", "utf-8"));
  document.append_node(declaration);
  auto* root = document.allocate_node(rapidxml::node_element, "cache");
  auto text = [&](const std::string& value) { return document.allocate_string(value.c_str(), value.size() + 1); };
  root->append_attribute(document.allocate_attribute("fw", text(contents.fw)));
  root->append_attribute(document.allocate_attribute("path", text(contents.path)));
  for (const auto& [request, reply] : contents.commands) {
    auto* node = document.allocate_node(rapidxml::node_element, "command");
    node->append_attribute(document.allocate_attribute("cmd", text(to_hex(request))));
    node->append_attribute(document.allocate_attribute("rsp", text(to_hex(reply))));
    root->append_node(node);
  }
  document.append_node(root);
  std::string out;
  rapidxml::print(std::back_inserter(out), document);
  return out;
}

std::optional<CacheContents> CacheFile::read(const std::string& file) {
  std::optional<std::string> text = platform::PrivateFile::read(file, kMaxSize);
  if (!text) return std::nullopt;
  return parse(*text);
}

bool CacheFile::write(const std::string& file, const CacheContents& contents) {
  return platform::PrivateFile::replace(file, format(contents));
}

}  // namespace dovod
