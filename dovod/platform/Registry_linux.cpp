// The registry of a Linux user: one file per key, "values", in a folder per key path under
// $XDG_CONFIG_HOME/dovod-registry (key names in lower case, since keys ignore case). Each line is
// "dword:<name>=<decimal>" or "sz:<name>=<text>"; '%', control characters and, in names, '=' are
// written as %XX. A file is replaced whole (temp file + rename) so a reader never sees half of one,
// and anything that does not parse reads as absent. The store's folders and files are the user's
// alone; a link, FIFO or another user's file in their place reads as absent and is not written.

#include "platform/Registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "dovod/LastError.h"
#include "platform/Folders.h"
#include "platform/PrivateFile.h"

namespace dovod::platform {
namespace {

constexpr std::size_t kMaxFileBytes = 1 << 20;

enum class Type { Dword, String };

struct Entry {
  Type type;
  std::string name;
  std::string data;  // decimal text for a dword, the text itself for a string
};

bool fail(int error, const char* what) {
  set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(error), what);
  return false;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string config_root() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::string(home) + "/.config";
  return {};
}

// The folder of a key, or empty when the path could escape the store ("..", empty parts).
std::string key_folder(std::string_view key) {
  std::string root = config_root();
  if (root.empty()) return {};
  std::string folder = root + "/dovod-registry";
  std::size_t start = 0;
  while (start <= key.size()) {
    std::size_t end = key.find('\\', start);
    if (end == std::string_view::npos) end = key.size();
    std::string_view part = key.substr(start, end - start);
    if (part.empty() || part == "." || part == ".." ||
        part.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
      return {};
    folder += '/';
    for (char c : part) folder += lower(c);
    start = end + 1;
  }
  return folder;
}

bool escaped(unsigned char c, bool in_name) {
  return c < 0x20 || c == 0x7F || c == '%' || (in_name && c == '=');
}

std::string escape(std::string_view text, bool in_name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (escaped(c, in_name)) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hex_digit(text[i + 1]), lo = hex_digit(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::optional<std::uint32_t> parse_dword(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<Entry> parse_line(std::string_view line) {
  Entry entry;
  if (line.rfind("dword:", 0) == 0) {
    entry.type = Type::Dword;
    line.remove_prefix(6);
  } else if (line.rfind("sz:", 0) == 0) {
    entry.type = Type::String;
    line.remove_prefix(3);
  } else {
    return std::nullopt;
  }
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  auto name = unescape(line.substr(0, eq));
  auto data = unescape(line.substr(eq + 1));
  if (!name || !data) return std::nullopt;
  entry.name = std::move(*name);
  entry.data = std::move(*data);
  return entry;
}

// Every well-formed line of the key's file; a missing, oversized, unreadable or foreign file has none.
std::vector<Entry> load(const std::string& folder) {
  std::vector<Entry> entries;
  std::optional<std::string> file = PrivateFile::read(folder + "/values", kMaxFileBytes);
  if (!file) return entries;
  const std::string& content = *file;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line = std::string_view(content).substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
    if (auto entry = parse_line(line)) {
      for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (same_name(it->name, entry->name)) {
          entries.erase(it);
          break;
        }
      }
      entries.push_back(std::move(*entry));
    }
    start = end + 1;
  }
  return entries;
}

const Entry* find(const std::vector<Entry>& entries, std::string_view name) {
  for (const Entry& e : entries)
    if (same_name(e.name, name)) return &e;
  return nullptr;
}

// The folders up to the configuration root are the user's; from the store's own folder down each
// must be private, since a folder that another user made first would let them swap the files.
bool make_folders(const std::string& folder, std::size_t root_size) {
  for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') continue;
    std::string part = folder.substr(0, pos);
    if (pos <= root_size) {
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return fail(errno, "mkdir failed");
    } else if (!Folders::create_private_directory(part)) {
      return false;
    }
  }
  return true;
}

bool store(std::string_view key, Entry entry) {
  std::string folder = key_folder(key);
  if (folder.empty()) return fail(EINVAL, "invalid registry key");
  if (!make_folders(folder, config_root().size())) return false;
  std::vector<Entry> entries = load(folder);
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (same_name(it->name, entry.name)) {
      entries.erase(it);
      break;
    }
  }
  entries.push_back(std::move(entry));
  std::string text;
  for (const Entry& e : entries) {
    text += e.type == Type::Dword ? "dword:" : "sz:";
    text += escape(e.name, true);
    text += '=';
    text += escape(e.data, false);
    text += '\n';
  }
  // A file past the reading limit would read as empty, losing every value of the key with it.
  if (text.size() > kMaxFileBytes) return fail(EFBIG, "registry key too large");
  return PrivateFile::replace(folder + "/values", text);
}

}  // namespace

std::optional<std::uint32_t> Registry::read_dword(std::string_view key, std::string_view name) {
  std::string folder = key_folder(key);
  if (folder.empty()) return std::nullopt;
  std::vector<Entry> entries = load(folder);
  const Entry* e = find(entries, name);
  if (!e || e->type != Type::Dword) return std::nullopt;
  return parse_dword(e->data);
}

std::optional<std::string> Registry::read_string(std::string_view key, std::string_view name,
                                                 std::size_t max_bytes) {
  std::string folder = key_folder(key);
  if (folder.empty()) return std::nullopt;
  std::vector<Entry> entries = load(folder);
  const Entry* e = find(entries, name);
  if (!e || e->type != Type::String) return std::nullopt;
  // An embedded zero ends the text, as it would for a C string read from the registry.
  std::string text = e->data.substr(0, e->data.find('\0'));
  if (text.size() + 1 > max_bytes) return std::nullopt;
  return text;
}

bool Registry::write_dword(std::string_view key, std::string_view name, std::uint32_t value) {
  return store(key, Entry{Type::Dword, std::string(name), std::to_string(value)});
}

bool Registry::write_string(std::string_view key, std::string_view name, std::string_view value) {
  return store(key, Entry{Type::String, std::string(name), std::string(value)});
}

bool Registry::delete_key(std::string_view key) {
  std::string folder = key_folder(key);
  if (folder.empty()) return fail(EINVAL, "invalid registry key");
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (error) return fail(error.value(), "removing registry key failed");
  return true;
}

}  // namespace dovod::platform
