// The receiver bus behind the real device manager: the manager makes it for a receiver of the
// table, adds it as a bus, and follows its paired devices as they arrive, change and leave.
#include <algorithm>

#include "FakeHardwareBus.h"
#include "ReceiverFixture.h"
#include "core/DeviceManager.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/IFeature.h"
#include "dovod/LastError.h"
#include "protocol/Feature.h"

namespace dovod::testing {
namespace {

class Arrivals : public Subscriber<IDeviceManager::ArrivalRemoval> {
 public:
  void onDeviceArrival(std::shared_ptr<IDevice> d) override { log.push_back("+" + d->name()); arrived.push_back(d); }
  void onDeviceRemoval(std::shared_ptr<IDevice> d) override { log.push_back("-" + d->name()); }
  std::vector<std::string> log;
  std::vector<std::shared_ptr<IDevice>> arrived;
};

class ManagerReceiverTest : public ReceiverTest {
 protected:
  void SetUp() override {
    ReceiverTest::SetUp();
    // The platform's bus as far as these tests need it: it holds the receiver's HID collection.
    host_bus = FakeHardwareBus::create();
    host_bus->AddPresent(hw);
    set_hardware_bus_factory([this](const std::shared_ptr<IDeviceManager>&) { return host_bus; });
    ASSERT_TRUE(CDovod::instance().config_set(IDeviceManager::tandem_active, true));
  }
  void TearDown() override {
    CDovod::instance().reset_for_testing();
    set_hardware_bus_factory(nullptr);
    ReceiverTest::TearDown();
  }

  void start() {
    // Devices found while the buses start arrive before the subscription; the host asks for them.
    ASSERT_TRUE(arrivals.subscribe(manager(), RunLoop));
    host.pump();
    for (const auto& device : CDovod::instance().devices()) arrivals.onDeviceArrival(device);
  }
  std::shared_ptr<IDevice> receiver() { return arrivals.arrived.at(0); }
  std::vector<std::shared_ptr<IDevice>> paired() { return CDovod::instance().devices_on_bus(receiver()); }

  std::shared_ptr<FakeHardwareBus> host_bus;
  Arrivals arrivals;
};

TEST_F(ManagerReceiverTest, ReceiverOfTheTableBecomesABusWithItsPairedDevices) {
  firmware->Pair(0, kKeyboard, true, "Vorn Keyboard");
  firmware->Pair(3, kMouse);
  start();
  EXPECT_EQ(arrivals.log, (std::vector<std::string>{"+receiver-1", "+receiver-1:0", "+receiver-1:3"}));
  auto as_receiver = std::dynamic_pointer_cast<IReceiver>(receiver());
  ASSERT_TRUE(as_receiver);
  EXPECT_TRUE(std::dynamic_pointer_cast<IHardwareBus>(receiver()));
  EXPECT_FALSE(as_receiver->two_slot_receiver());
  EXPECT_EQ(as_receiver->paired_devices(), paired());

  const auto keyboard = arrivals.arrived[1];
  EXPECT_EQ(keyboard->pid(), kKeyboard);
  EXPECT_EQ(keyboard->bus_type(), 1);
  EXPECT_EQ(keyboard->device_index(), 1);
  EXPECT_EQ(keyboard->product_name(), "Vorn Keyboard");
  EXPECT_EQ(arrivals.arrived[2]->device_index(), 4);
}

TEST_F(ManagerReceiverTest, PairedDevicesFollowTheReceiversNotificationsAndLeaveWithIt) {
  firmware->Pair(0, kKeyboard);
  start();
  hw->SimulateRead(ReceiverFirmware::connection(2, kReceiverType, kMouse, true));
  hw->SimulateRead(ReceiverFirmware::connection(1, kReceiverType, kMouse, true));
  hw->wait_idle();
  ASSERT_TRUE(host.pump_until([&] { return arrivals.log.size() == 5; }));
  EXPECT_EQ(arrivals.log, (std::vector<std::string>{"+receiver-1", "+receiver-1:0", "+receiver-1:1", "-receiver-1:0",
                                                    "+receiver-1:0"}));
  EXPECT_EQ(arrivals.arrived.back()->pid(), kMouse) << "the device of the new product id";

  host_bus->SimulateUnplug(hw->path());
  host.pump();
  EXPECT_EQ(std::count_if(arrivals.log.begin(), arrivals.log.end(), [](const std::string& s) { return s[0] == '-'; }), 4);
  EXPECT_TRUE(CDovod::instance().devices().empty());
}

TEST_F(ManagerReceiverTest, ReceiverThatCannotEnumerateIsAddedByTheManagersRetry) {
  firmware->Pair(0, kKeyboard);
  std::atomic<bool> mute{true};
  firmware->set_hook([&mute](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    if (mute && r[2] == 0x81 && r[3] == 0x02) return std::vector<Bytes>{vxp10_error(r, 9)};
    return std::nullopt;
  });
  CDovod::instance().getimpl()->set_addbus_retry_base_ms(1);
  start();
  EXPECT_EQ(arrivals.log, std::vector<std::string>{"+receiver-1"});
  mute = false;
  ASSERT_TRUE(host.pump_until([&] { return arrivals.log.size() == 2; }));
  EXPECT_EQ(arrivals.log.back(), "+receiver-1:0");
}

TEST_F(ManagerReceiverTest, ConfiguringAPairedDevicePreparesTheReceiverAndShutdownReleasesIt) {
  firmware->Pair(1, kKeyboard);
  start();
  auto keyboard = arrivals.arrived.at(1);
  auto feature = std::make_shared<Feature>(0x4521, 4, keyboard);

  ASSERT_TRUE(keyboard->set_configured(feature));
  EXPECT_EQ(firmware->register_value(0x00)[1], 0x09) << "notifications and software present";
  EXPECT_EQ(firmware->register_value(0x03)[0], 0x00);
  ASSERT_TRUE(keyboard->add_pending_change(feature));
  EXPECT_EQ(firmware->register_value(0x03)[0], 0x02) << "configuration complete for the second slot";
  const int writes = count_requests(0x80, 0x00);

  // Another program clears register 0; the bus puts back both bits.
  hw->SimulateRead(firmware->register_zero_written(0x00, 0x00, 0x00));
  hw->wait_idle();
  ASSERT_TRUE(host.pump_until([&] { return firmware->register_value(0x00)[1] == 0x09; }));

  keyboard.reset();
  feature.reset();
  arrivals.arrived.clear();
  CDovod::instance().reset_for_testing();
  EXPECT_EQ(firmware->register_value(0x00)[1], 0x01) << "software present withdrawn when the library ends";
  EXPECT_EQ(count_requests(0x80, 0x00), writes + 2);
}

TEST_F(ManagerReceiverTest, BecomingActiveAgainEnumeratesAndAnnouncesOnlyAChangedPairing) {
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "pairing changed meanwhile" : "pairing unchanged");
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
    ASSERT_TRUE(CDovod::instance().config_set(IDeviceManager::tandem_active, true));
    arrivals.log.clear();
    arrivals.arrived.clear();
    firmware->Pair(0, kKeyboard);
    start();
    ASSERT_EQ(arrivals.log.size(), 2u);
    auto bus = std::dynamic_pointer_cast<TandemBus>(receiver());
    const auto before = bus->device_in_slot(0);

    CDovod::instance().set_active(false);
    host.pump();
    if (changed) firmware->Pair(0, kMouse);
    const int announcements = count_requests(0x80, 0x02, 0x02);
    CDovod::instance().set_active(true);
    ASSERT_TRUE(host.pump_until([&] { return count_requests(0x80, 0x02, 0x02) > announcements; }));
    hw->wait_idle();
    host.pump();
    if (changed) {
      EXPECT_EQ(arrivals.log, (std::vector<std::string>{"+receiver-1", "+receiver-1:0", "-receiver-1:0", "+receiver-1:0"}));
      EXPECT_EQ(paired().at(0)->pid(), kMouse);
    } else {
      EXPECT_EQ(arrivals.log.size(), 2u);
      EXPECT_EQ(bus->device_in_slot(0), before) << "the device made before is kept";
    }
  }
}

}  // namespace
}  // namespace dovod::testing
