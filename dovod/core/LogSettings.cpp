#include "core/LogSettings.h"

#include "platform/Registry.h"

namespace dovod::log {
namespace {

std::string_view file_name(std::string_view path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string settings_key_for(std::string_view executable_path) {
  return "SOFTWARE\\Corvane\\xLog\\dovod\\" + std::string(file_name(executable_path));
}

LogSettings read_settings(std::string_view key) {
  using platform::Registry;
  LogSettings s;
  if (auto v = Registry::read_dword(key, "logging")) s.enabled = *v != 0;
  if (auto v = Registry::read_dword(key, "loggingoutput")) s.output = *v;
  if (auto v = Registry::read_dword(key, "logginglevel")) s.console_level = *v;
  if (auto v = Registry::read_dword(key, "logTagLevel")) s.tag_level = *v;
  s.tags = Registry::read_string(key, "LogTags", kMaxTagsBytes);
  return s;
}

std::string process_name_for(std::string_view executable_path) {
  std::string_view name = file_name(executable_path);
  name = name.substr(0, name.find('.'));
  std::string out;
  for (char c : name) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) continue;
    out += c;
    if (out.size() == 19) break;
  }
  return out;
}

}  // namespace dovod::log
