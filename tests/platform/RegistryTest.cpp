#include "PlatformFixture.h"

namespace dovod::testing {
namespace {

using platform::Registry;
using RegistryTest = PlatformTest;

TEST_F(RegistryTest, NumbersAndStringsRoundTrip) {
  EXPECT_FALSE(Registry::read_dword(key_, "NumRetries"));
  EXPECT_FALSE(Registry::read_string(key_, "HubcastPath", 260));

  ASSERT_TRUE(Registry::write_dword(key_, "NumRetries", 0xFFFFFFFFu));
  ASSERT_TRUE(Registry::write_string(key_, "HubcastPath", "C:\\Program Files\\Hub=cast\\h%20.exe \xC3\xA9"));
  EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 0xFFFFFFFFu);
  EXPECT_EQ(Registry::read_string(key_, "HubcastPath", 260), "C:\\Program Files\\Hub=cast\\h%20.exe \xC3\xA9");

  // Overwriting keeps one value; names of keys and values ignore case.
  ASSERT_TRUE(Registry::write_dword(key_, "numretries", 7));
  std::string upper = key_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Registry::read_dword(upper, "NUMRETRIES"), 7u);

  ASSERT_TRUE(Registry::write_string(key_, "Empty", ""));
  EXPECT_EQ(Registry::read_string(key_, "Empty", 1), "");
}

TEST_F(RegistryTest, ValuesOfAnotherTypeOrTooLongReadAsAbsent) {
  ASSERT_TRUE(Registry::write_string(key_, "logging", "1"));
  ASSERT_TRUE(Registry::write_dword(key_, "LogTags", 1));
  ASSERT_TRUE(Registry::write_string(key_, "Long", std::string(1024, 'x')));
  EXPECT_FALSE(Registry::read_dword(key_, "logging"));
  EXPECT_FALSE(Registry::read_string(key_, "LogTags", 1024));
  EXPECT_FALSE(Registry::read_string(key_, "Long", 1024));  // needs 1 025 bytes with its zero
  EXPECT_EQ(Registry::read_string(key_, "Long", 1025), std::string(1024, 'x'));
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsValuesAndSubkeys) {
  ASSERT_TRUE(Registry::write_dword(key_, "a", 1));
  ASSERT_TRUE(Registry::write_dword(key_ + "\\Sub", "b", 2));
  EXPECT_TRUE(Registry::delete_key(key_));
  EXPECT_FALSE(Registry::read_dword(key_, "a"));
  EXPECT_FALSE(Registry::read_dword(key_ + "\\Sub", "b"));
  EXPECT_TRUE(Registry::delete_key(key_));  // already gone
}

}  // namespace
}  // namespace dovod::testing
