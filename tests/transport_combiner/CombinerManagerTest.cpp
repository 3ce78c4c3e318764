// The device manager with a platform bus that wants a combiner: the combined device becomes one
// protocol device, and a configuration change takes every device of the stack away.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "CombinerFixture.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/IDevice.h"
#include "protocol/Device.h"

namespace dovod::testing {
namespace {

class ArrivalLog : public Subscriber<IDeviceManager::ArrivalRemoval> {
 public:
  void onDeviceArrival(std::shared_ptr<IDevice> device) override { arrived.push_back(device); }
  void onDeviceRemoval(std::shared_ptr<IDevice> device) override { removed.push_back(device); }
  std::vector<std::shared_ptr<IDevice>> arrived;
  std::vector<std::shared_ptr<IDevice>> removed;
};

class CombinerManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    fake->combiner_wanted = true;
    set_hardware_bus_factory([this](const std::shared_ptr<IDeviceManager>&) { return std::shared_ptr<IHardwareBus>(fake); });
    ASSERT_TRUE(host.attach());
    ASSERT_TRUE(CDovod::instance().config_set(IDeviceManager::usb_active, true));
  }

  void TearDown() override {
    CDovod::instance().reset_for_testing();
    set_hardware_bus_factory(nullptr);
  }

  std::shared_ptr<FakeHardwareDevice> make(const std::string& path, FakeHardwareDevice::Piece piece) {
    return fake->MakePiece(path, maker::kKeyboardPid, std::move(piece));
  }

  void listen() {
    ASSERT_TRUE(arrivals.subscribe(std::shared_ptr<IDeviceManager>(CDovod::instance()), RunLoop));
    host.pump();
  }

  std::shared_ptr<FakeHardwareBus> fake = FakeHardwareBus::create();
  RunLoopHost host;
  ArrivalLog arrivals;
};

TEST_F(CombinerManagerTest, TwoCollectionsBecomeOneProtocolDevice) {
  listen();
  fake->SimulatePlug(make("hid#kbd&col01", short_piece("usb#kbd")));
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty());
  fake->SimulatePlug(make("hid#kbd&col02", long_piece("usb#kbd")));
  host.pump();

  ASSERT_EQ(arrivals.arrived.size(), 1u);
  const auto device = arrivals.arrived[0];
  EXPECT_NE(std::dynamic_pointer_cast<Device>(device), nullptr);
  EXPECT_EQ(device->name(), "usb#kbd");
  EXPECT_EQ(device->pid(), maker::kKeyboardPid);
  EXPECT_EQ(CDovod::instance().devices().size(), 1u);

  fake->SimulateUnplug("hid#kbd&col02");
  host.pump();
  ASSERT_EQ(arrivals.removed.size(), 1u);
  EXPECT_EQ(arrivals.removed[0], device);
  fake->SimulateUnplug("hid#kbd&col01");
  host.pump();
  EXPECT_EQ(arrivals.removed.size(), 1u);
  EXPECT_TRUE(CDovod::instance().devices().empty());
}

TEST_F(CombinerManagerTest, DevicesPresentAtStartArriveOnceEach) {
  fake->AddPresent(make("hid#kbd&col01", short_piece("usb#kbd")));
  fake->AddPresent(make("hid#kbd&col02", long_piece("usb#kbd")));
  fake->AddPresent(make("hid#long-only", {}));
  listen();
  const auto present = CDovod::instance().devices();
  ASSERT_EQ(present.size(), 2u);
  EXPECT_EQ(present[1]->name(), "usb#kbd");
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty()) << "the combined device, both listed and announced, is made once";
  EXPECT_EQ(CDovod::instance().devices(), present);
}

TEST_F(CombinerManagerTest, AConfigurationChangeRemovesPassedThroughDevicesWithTheCombinedOnes) {
  fake->AddPresent(make("hid#kbd&col01", short_piece("usb#kbd")));
  fake->AddPresent(make("hid#kbd&col02", long_piece("usb#kbd")));
  fake->AddPresent(make("hid#long-only", {}));
  listen();
  ASSERT_EQ(CDovod::instance().devices().size(), 2u);

  ASSERT_TRUE(CDovod::instance().config_set(IDeviceManager::usb_active, false));
  host.pump();
  EXPECT_EQ(arrivals.removed.size(), 2u);
  EXPECT_TRUE(CDovod::instance().devices().empty());

  ASSERT_TRUE(CDovod::instance().config_set(IDeviceManager::usb_active, true));
  host.pump();
  EXPECT_EQ(arrivals.arrived.size(), 2u);
  EXPECT_EQ(CDovod::instance().devices().size(), 2u);
}

}  // namespace
}  // namespace dovod::testing
