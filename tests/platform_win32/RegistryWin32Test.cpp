#include <windows.h>

#include "../platform/PlatformFixture.h"
#include "platform/WideText_win32.h"

namespace dovod::testing {
namespace {

using platform::Registry;
using RegistryWin32 = PlatformTest;

// Stores a value exactly as given, as another program could.
void set_raw(const std::string& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, platform::to_wide(key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(RegistryWin32, WrongTypesAndSizesReadAsAbsent) {
  DWORD one = 1;
  ULONGLONG wide = 1;
  set_raw(key_, L"short", REG_DWORD, &one, 2);
  set_raw(key_, L"binary", REG_BINARY, &one, 4);
  set_raw(key_, L"qword", REG_QWORD, &wide, 8);
  set_raw(key_, L"expand", REG_EXPAND_SZ, L"%TEMP%", 14);
  set_raw(key_, L"odd", REG_SZ, "abc", 3);
  set_raw(key_, L"unterminated", REG_SZ, L"abc", 6);
  set_raw(key_, L"right", REG_DWORD, &one, 4);
  for (const char* name : {"short", "binary", "qword"}) EXPECT_FALSE(Registry::read_dword(key_, name)) << name;
  EXPECT_FALSE(Registry::read_string(key_, "expand", 100));
  EXPECT_FALSE(Registry::read_string(key_, "odd", 100));
  EXPECT_EQ(Registry::read_string(key_, "unterminated", 100), "abc");
  EXPECT_EQ(Registry::read_dword(key_, "right"), 1u);
}

TEST_F(RegistryWin32, StringsAreStoredAsUtf16) {
  ASSERT_TRUE(Registry::write_string(key_, "HubcastPath", "C:\\\xC3\xA9t\xC3\xA9\\Hubcast.exe"));
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, platform::to_wide(key_).c_str(), L"HubcastPath", RRF_RT_ANY, &type, buffer,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(buffer), L"C:\\\u00e9t\u00e9\\Hubcast.exe");
}

}  // namespace
}  // namespace dovod::testing
