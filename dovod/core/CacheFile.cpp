#include "core/CacheFile.h"

#include <rapidxml.hpp>
#include <rapidxml_print.hpp>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/Process.h"

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

// Nesting depth as the parser will see it. Declarations such as comments and doctypes never
// appear in our files and are refused outright, which keeps this scan simple and exact.
bool shallow_enough(std::string_view text) {
  int depth = 0;
  std::size_t i = 0;
  while ((i = text.find('<', i)) != std::string_view::npos) {
    if (i + 1 >= text.size()) return true;
    char next = text[i + 1];
    if (next == '!') return false;
    if (next == '?') {
      std::size_t end = text.find("?>", i + 2);
      if (end == std::string_view::npos) return true;
      i = end + 2;
      continue;
    }
    if (next == '/') {
      --depth;
      i += 2;
      continue;
    }
    // An opening tag: find its end outside quoted attribute values.
    char quote = 0;
    std::size_t j = i + 1;
    for (; j < text.size(); ++j) {
      char c = text[j];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (j >= text.size()) return true;
    if (text[j - 1] != '/' && ++depth > kMaxDepth) return false;
    i = j + 1;
  }
  return true;
}

std::string_view value_of(const rapidxml::xml_attribute<>* attribute) {
  return attribute ? std::string_view(attribute->value(), attribute->value_size()) : std::string_view();
}

std::filesystem::path path_of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

std::optional<CacheContents> CacheFile::parse(std::string_view text) {
  if (text.size() > kMaxSize || !shallow_enough(text)) return std::nullopt;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
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
  std::ifstream in(path_of(file), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxSize + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  std::size_t got = static_cast<std::size_t>(in.gcount());
  if (got > kMaxSize) return std::nullopt;
  text.resize(got);
  return parse(text);
}

bool CacheFile::write(const std::string& file, const CacheContents& contents) {
  // A name of its own per writer, so two writers never share a half-written file.
  static std::atomic<unsigned> serial{0};
  std::string temporary = file + "." + std::to_string(platform::Process::process_id()) + "." +
                          std::to_string(serial.fetch_add(1)) + ".tmp";
  std::string text = format(contents);
  {
    std::ofstream out(path_of(temporary), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(path_of(temporary), ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(path_of(temporary), path_of(file), error);
  if (error) {
    std::filesystem::remove(path_of(temporary), error);
    return false;
  }
  return true;
}

}  // namespace dovod
