#include <windows.h>

#include "AppTestFixture.h"
#include "app/Settings.h"

namespace vorn::testing {
namespace {

using dovod::platform::Registry;
using SettingsWin32Test = AppTest;

// Values that another program left in a shape the typed layer cannot write: a count of the wrong
// size or type, and a path that is not a string.
TEST_F(SettingsWin32Test, RawValuesOfTheWrongSizeOrTypeReadAsAbsent) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(key_).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const BYTE two[2] = {41, 0};
  const BYTE four[4] = {41, 0, 0, 0};
  const wchar_t path[] = L"C:\\Hubcast.exe";
  struct Raw {
    const wchar_t* name;
    DWORD type;
    const BYTE* data;
    DWORD size;
  } values[] = {{L"NumRetries", REG_DWORD, two, 2}, {L"HubcastPath", REG_BINARY, reinterpret_cast<const BYTE*>(path), sizeof path}};
  for (const Raw& v : values) ASSERT_EQ(RegSetValueExW(key, v.name, 0, v.type, v.data, v.size), ERROR_SUCCESS);

  Settings settings(key_);
  settings.CountRun();
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 1u);
  EXPECT_FALSE(settings.ReadHostPath());

  ASSERT_EQ(RegSetValueExW(key, L"NumRetries", 0, REG_BINARY, four, 4), ERROR_SUCCESS);
  settings.CountRun();
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 1u);
  RegCloseKey(key);
}

}  // namespace
}  // namespace vorn::testing
