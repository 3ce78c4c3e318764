#include "AppTestFixture.h"
#include "app/Settings.h"

namespace vorn::testing {
namespace {

using dovod::platform::Registry;
using SettingsTest = AppTest;

TEST_F(SettingsTest, CountRunIncrementsFromZeroOrTheStoredValue) {
  Settings settings(key_);
  settings.CountRun();
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 1u);

  ASSERT_TRUE(Registry::write_dword(key_, "NumRetries", 41));
  settings.CountRun();
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 42u);

  // A value of the wrong type counts as absent and is replaced by a number.
  ASSERT_TRUE(Registry::write_string(key_, "NumRetries", "41"));
  settings.CountRun();
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 1u);
}

TEST_F(SettingsTest, HostPathIsStoredWhenKnownAndReadBackOnlyWhenSound) {
  Settings settings(key_);
  const std::wstring path = L"C:\\Program Files\\Hubcast\\Hubcast.exe";
  EXPECT_TRUE(settings.StoreHostPath(path));
  EXPECT_EQ(settings.ReadHostPath(), path);

  // No running host: the path of an earlier run stays.
  EXPECT_TRUE(settings.StoreHostPath(L""));
  EXPECT_EQ(settings.ReadHostPath(), path);

  // 259 characters and the terminating zero fill the room; one more does not fit.
  const std::wstring longest(259, L'\u00e9');
  ASSERT_TRUE(settings.StoreHostPath(longest));
  EXPECT_EQ(settings.ReadHostPath(), longest);
  ASSERT_TRUE(settings.StoreHostPath(longest + L"x"));
  EXPECT_FALSE(settings.ReadHostPath());

  ASSERT_TRUE(Registry::write_dword(key_, "HubcastPath", 5));
  EXPECT_FALSE(settings.ReadHostPath());
}

}  // namespace
}  // namespace vorn::testing
