#include "platform/Registry.h"

#include <windows.h>

#include <vector>

#include "dovod/LastError.h"
#include "platform/WideText_win32.h"

namespace dovod::platform {
namespace {

// Closes the key on every path out of a function.
class OpenKey {
 public:
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool fail(LSTATUS status, const char* what) {
  set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(status), what);
  return false;
}

// Reads a value's type and raw bytes; the size is asked first so that any length fits.
bool query(std::string_view key, std::string_view name, DWORD& type, std::vector<BYTE>& data) {
  OpenKey k;
  LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, to_wide(key).c_str(), 0, KEY_READ, k.out());
  if (status != ERROR_SUCCESS) return fail(status, "RegOpenKeyEx failed");
  std::wstring wname = to_wide(name);
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    status = RegQueryValueExW(k.get(), wname.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return fail(status, "RegQueryValueEx failed");
    data.assign(size, 0);
    status = RegQueryValueExW(k.get(), wname.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      return true;
    }
    if (status != ERROR_MORE_DATA) break;  // the value grew between the two calls: ask again
  }
  return fail(status, "RegQueryValueEx failed");
}

bool set(std::string_view key, std::string_view name, DWORD type, const BYTE* data, DWORD size) {
  OpenKey k;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, to_wide(key).c_str(), 0, nullptr, 0,
                                   KEY_WRITE, nullptr, k.out(), nullptr);
  if (status != ERROR_SUCCESS) return fail(status, "RegCreateKeyEx failed");
  status = RegSetValueExW(k.get(), to_wide(name).c_str(), 0, type, data, size);
  if (status != ERROR_SUCCESS) return fail(status, "RegSetValueEx failed");
  return true;
}

}  // namespace

std::optional<std::uint32_t> Registry::read_dword(std::string_view key, std::string_view name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!query(key, name, type, data)) return std::nullopt;
  if (type != REG_DWORD || data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  memcpy(&value, data.data(), sizeof value);
  return value;
}

std::optional<std::string> Registry::read_string(std::string_view key, std::string_view name,
                                                 std::size_t max_bytes) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!query(key, name, type, data)) return std::nullopt;
  if (type != REG_SZ || data.size() % sizeof(wchar_t) != 0) return std::nullopt;
  std::wstring_view text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  // The stored zero (or several) is not part of the text; a value without one is still accepted.
  while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
  std::string utf8 = to_utf8(text);
  if (utf8.size() + 1 > max_bytes) return std::nullopt;
  return utf8;
}

bool Registry::write_dword(std::string_view key, std::string_view name, std::uint32_t value) {
  DWORD v = value;
  return set(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool Registry::write_string(std::string_view key, std::string_view name, std::string_view value) {
  std::wstring w = to_wide(value);
  return set(key, name, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
             static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

bool Registry::delete_key(std::string_view key) {
  LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, to_wide(key).c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    if (status == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CURRENT_USER, to_wide(key).c_str());
    return true;
  }
  return fail(status, "RegDeleteTree failed");
}

}  // namespace dovod::platform
