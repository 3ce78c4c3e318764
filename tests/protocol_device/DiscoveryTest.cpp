#include "DeviceFixture.h"
#include "dovod/IFeature0020ConfigChange.h"

namespace dovod::testing {
namespace {

using DiscoveryTest = DeviceTest;

TEST_F(DiscoveryTest, DeviceThatIsNotVexa20IsRememberedUntilARetry) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard);
  keyboard->protocol_error = 1;
  auto device = make(hw);
  EXPECT_FALSE(device->feature_by_id(0x0020));
  EXPECT_EQ(last_error().code, ErrorCode::NotVxp20);
  const std::size_t writes = hw->written().size();
  EXPECT_EQ(writes, 1u);

  EXPECT_FALSE(device->feature_by_id(0x0003));
  EXPECT_EQ(last_error().code, ErrorCode::NotVxp20);
  EXPECT_EQ(hw->written().size(), writes) << "the second answer comes without traffic";

  keyboard->protocol_error = -1;
  EXPECT_TRUE(device->retry_load_feature_root());
  EXPECT_TRUE(device->feature_by_id(0x0020));
}

TEST_F(DiscoveryTest, FeaturesAreFoundByIdOrEnumeratedOnce) {
  auto hw = carrying(std::make_shared<KeyboardFirmware>(std::vector<int>{0x0000, 0x0001, 0x0003, 0x0020, 0x00D0}));
  auto device = make(hw);
  auto feature = device->feature_by_id(0x0020);
  ASSERT_TRUE(feature);
  EXPECT_EQ(feature->feature_id(), 0x0020);
  EXPECT_EQ(feature->feature_index(), 3);
  EXPECT_TRUE(std::dynamic_pointer_cast<IFeature0020ConfigChange>(feature));
  EXPECT_EQ(device->feature_by_id(0x0020), feature) << "a found feature is kept";

  EXPECT_FALSE(device->feature_by_id(0x1234));
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent);

  ASSERT_TRUE(device->load_features());
  std::vector<int> ids;
  for (const auto& f : device->features()) ids.push_back(f->feature_id());
  EXPECT_EQ(ids, (std::vector<int>{0x0000, 0x0001, 0x0003, 0x0020, 0x00D0}));
  EXPECT_EQ(device->feature_by_id(0x0020), feature);

  const std::size_t writes = hw->written().size();
  EXPECT_FALSE(device->feature_by_id(0x1234));
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent);
  EXPECT_EQ(hw->written().size(), writes) << "all features known: no lookup";
}

TEST_F(DiscoveryTest, FirmwareChangeFoundBeforeACommandFailsItOnceAndForgetsFeatures) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard);
  auto device = make(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  ASSERT_TRUE(device->feature_by_id(0x0020));
  const std::string before = device->fwinfo();
  EXPECT_NE(before.find("QRX"), std::string::npos);

  std::atomic<int> commands{0};
  keyboard->set_hook([&](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    if (r[2] == 4 && commands++ == 0) {
      keyboard->fw_version = 0x0600;  // the device restarted into new firmware and lost the request
      return std::vector<Bytes>{};
    }
    return std::nullopt;
  });
  Bytes reply;
  EXPECT_FALSE(device->sendSynchronousCommand(request(4, 1), reply, 0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::FwVersionChanged);
  EXPECT_TRUE(device->fwinfo().empty());
  EXPECT_EQ(device->features().size(), 1u) << "only the root stays";
  EXPECT_TRUE(host.pump_until([&] { return log.firmware_changes == 1; }));

  ASSERT_TRUE(device->feature_by_id(0x0020));
  EXPECT_NE(device->fwinfo(), before);
  EXPECT_TRUE(device->sendSynchronousCommand(request(4, 1), reply, 0, {}));
  host.pump();
  EXPECT_EQ(log.firmware_changes, 1);
}

}  // namespace
}  // namespace dovod::testing
