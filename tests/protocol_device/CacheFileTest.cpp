#include <filesystem>
#include <fstream>
#include <sstream>

#include "DeviceFixture.h"
#include "core/CacheFileName.h"

namespace dovod::testing {
namespace {

namespace fs = std::filesystem;

class DeviceCacheTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    dir = fs::temp_directory_path() / ("dovod_device_cache_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                       "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    directory = dir.generic_string() + "/";
  }
  void TearDown() override {
    DeviceTest::TearDown();
    fs::remove_all(dir);
  }

  std::string device_file(const std::string& path) { return device_cache_file_name(directory, 0xB3F1, path); }

  static std::string read(const std::string& file) {
    std::ifstream in(fs::u8path(file), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // A device that looked up 0x0020 and wrote its cache file.
  void write_cache(const std::string& path) {
    auto hw = carrying(std::make_shared<KeyboardFirmware>(), 0, path);
    auto device = make(hw);
    device->persistent_data_directory(directory);
    ASSERT_TRUE(device->feature_by_id(0x0020));
    ASSERT_TRUE(host.pump_until([&] { return fs::exists(fs::u8path(device_file(path))); }));
  }

  fs::path dir;
  std::string directory;
};

TEST_F(DeviceCacheTest, NextDeviceAnswersConstantQueriesFromTheFile) {
  write_cache("keyboard-a");
  const std::string text = read(device_file("keyboard-a"));
  EXPECT_NE(text.find("path=\"keyboard-a\""), std::string::npos);
  EXPECT_NE(text.find("QRX"), std::string::npos);

  auto hw = carrying(std::make_shared<KeyboardFirmware>(), 0, "keyboard-a");
  auto device = make(hw);
  device->persistent_data_directory(directory);
  ASSERT_TRUE(device->feature_by_id(0x0020));
  EXPECT_EQ(count_writes(*hw, 0, 0), 0) << "feature indexes came from the file";
  EXPECT_GT(count_writes(*hw, 2, 1), 0) << "the firmware identity is still checked on the device";
}

TEST_F(DeviceCacheTest, FileOfOtherFirmwareIsDroppedAndRewritten) {
  write_cache("keyboard-a");
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard, 0, "keyboard-a");
  keyboard->fw_version = 0x0600;
  auto device = make(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  device->persistent_data_directory(directory);
  EXPECT_FALSE(device->feature_by_id(0x0020)) << "the file's identity was trusted, then disproved";
  EXPECT_EQ(last_error().code, ErrorCode::FwVersionChanged);
  EXPECT_TRUE(host.pump_until([&] { return log.firmware_changes == 1; }));

  ASSERT_TRUE(device->feature_by_id(0x0020));
  EXPECT_GT(count_writes(*hw, 0, 0), 0) << "looked up on the device";
  EXPECT_TRUE(host.pump_until([&] { return read(device_file("keyboard-a")).find("0600") != std::string::npos; }));

  // A device that knows its identity ignores a file written for another one.
  auto other = carrying(std::make_shared<KeyboardFirmware>(), 0, "keyboard-a");
  auto known = make(other);
  ASSERT_TRUE(known->feature_by_id(0x0003));
  std::ofstream(fs::u8path(device_file("keyboard-a"))) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                                        << "<cache fw=\"other\" path=\"keyboard-a\">"
                                                        << "<command cmd=\"10FF00" "0A" "002000\" rsp=\"11FF000A030000\"/></cache>";
  known->persistent_data_directory(directory);
  const int lookups = count_writes(*other, 0, 0);
  ASSERT_TRUE(known->feature_by_id(0x0020));
  EXPECT_EQ(count_writes(*other, 0, 0), lookups + 1);
}

TEST_F(DeviceCacheTest, GenericFileIsSharedOnlyWhenEnabled) {
  for (const bool generic : {false, true}) {
    SCOPED_TRACE(generic ? "generic cache on" : "generic cache off");
    ASSERT_TRUE(manager->config_set(IDeviceManager::generic_cache, generic));
    const std::string first = generic ? "on-a" : "off-a";
    const std::string second = generic ? "on-b" : "off-b";
    const std::string generic_file = generic_cache_file_name(directory, 0xB3F1);
    write_cache(first);
    EXPECT_EQ(fs::exists(fs::u8path(generic_file)), generic);

    auto hw = carrying(std::make_shared<KeyboardFirmware>(), 0, second);
    auto device = make(hw);
    device->persistent_data_directory(directory);
    ASSERT_TRUE(device->feature_by_id(0x0020));
    EXPECT_EQ(count_writes(*hw, 0, 0) == 0, generic) << "the other device's lookups came from the generic file";
    if (generic) {
      devices.pop_back();
      device.reset();
      EXPECT_TRUE(fs::exists(fs::u8path(device_file(second)))) << "a device fed from the generic file writes its own when it goes";
    }
    fs::remove(fs::u8path(generic_file));
  }
}

}  // namespace
}  // namespace dovod::testing
