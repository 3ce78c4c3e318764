#include "app/Settings.h"

#include "app/WideText.h"
#include "platform/Registry.h"

namespace vorn {

using dovod::platform::Registry;

bool Settings::StoreHostPath(const std::wstring& path) const {
  if (path.empty()) return true;
  return Registry::write_string(key_, kHostPathValue, Utf8FromWide(path));
}

std::optional<std::wstring> Settings::ReadHostPath() const {
  // A UTF-16 unit takes at most three UTF-8 bytes, so this reads every path that fits the room.
  std::optional<std::string> text = Registry::read_string(key_, kHostPathValue, kHostPathRoom * 3);
  if (!text) return std::nullopt;
  std::wstring path = WideFromUtf8(*text);
  if (Utf16FromWide(path).size() + 1 > kHostPathRoom) return std::nullopt;
  return path;
}

void Settings::CountRun() const {
  std::uint32_t count = Registry::read_dword(key_, kRunCountValue).value_or(0);
  Registry::write_dword(key_, kRunCountValue, count + 1);
}

}  // namespace vorn
