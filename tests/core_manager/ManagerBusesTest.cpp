// Buses and devices: plug and unplug, receivers and their buses, the retry of a receiver bus that
// cannot enumerate, power changes and secondary buses.
#include <chrono>
#include <string>
#include <vector>

#include "ManagerFixture.h"
#include "dovod/MakerValues.h"

namespace dovod::testing {
namespace {

using DM = IDeviceManager;
const maker::ReceiverRow& kR1 = maker::kReceivers[0];

TEST_F(ManagerTest, PlugAndUnplugAreMatchedByPath) {
  configure(DM::usb_active, true);
  listen();
  bus->SimulatePlug("hid#keyboard", kKeyboard);
  bus->SimulatePlug("hid#keyboard", kKeyboard);
  host.pump();
  ASSERT_EQ(arrivals.arrived.size(), 1u) << "a second plug of the same path adds nothing";
  const auto device = arrivals.arrived[0];
  EXPECT_EQ(device->name(), "hid#keyboard");
  EXPECT_EQ(device->pid(), kKeyboard);
  EXPECT_EQ(CDovod::instance().devices().size(), 1u);

  bus->SimulateUnplug("hid#keyboard");
  host.pump();
  ASSERT_EQ(arrivals.removed.size(), 1u);
  EXPECT_EQ(arrivals.removed[0], device) << "the fresh unplug object finds the device by its path";
  EXPECT_TRUE(CDovod::instance().devices().empty());
}

TEST_F(ManagerTest, DevicesThatCannotBeOpenedOrAreUnknownAreIgnored) {
  configure(DM::usb_active, true);
  listen();
  auto locked = bus->Make("locked", kKeyboard);
  locked->open_fails = true;
  bus->SimulatePlug(locked);
  bus->SimulateUnplug("never-seen");
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty());
  EXPECT_TRUE(arrivals.removed.empty());
  EXPECT_EQ(locked->opens.load(), 1);
}

// Core reaches the protocol layer's devices only through the factory that layer registered.
TEST_F(ManagerTest, PlainDevicesComeFromTheRegisteredFactoryAndNoneWithoutOne) {
  struct RestoreProtocolFactory {
    ~RestoreProtocolFactory() {
      set_plain_device_factory([](const std::shared_ptr<IDeviceManager>& manager,
                                  const std::shared_ptr<IHardwareDevice>& hwdev) -> std::shared_ptr<IDevice> {
        return std::make_shared<Device>(manager, hwdev);
      });
    }
  } restore;
  ASSERT_TRUE(std::dynamic_pointer_cast<Device>(make_plain_device(manager(), bus->Make("probe", kKeyboard))))
      << "the protocol layer registered its factory before main";

  configure(DM::usb_active, true);
  listen();
  set_plain_device_factory(nullptr);
  bus->SimulatePlug("hid#unserved", kKeyboard);
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty()) << "without a factory the hardware device is not served";

  int made = 0;
  set_plain_device_factory([&made](const std::shared_ptr<IDeviceManager>& manager,
                                   const std::shared_ptr<IHardwareDevice>& hwdev) -> std::shared_ptr<IDevice> {
    ++made;
    return std::make_shared<Device>(manager, hwdev);
  });
  bus->SimulatePlug("hid#served", kKeyboard);
  host.pump();
  EXPECT_EQ(made, 1);
  ASSERT_EQ(arrivals.arrived.size(), 1u);
  EXPECT_EQ(arrivals.arrived[0]->name(), "hid#served");
}

TEST_F(ManagerTest, AReceiverBecomesABusWhosePairedDevicesArriveAndLeaveWithIt) {
  configure(DM::tandem_active, true);
  prepare_receiver = [](FakeReceiver& receiver) { receiver.AddPresent("slot1", kKeyboard, 1); };
  listen();
  bus->SimulatePlug("receiver", kR1.pid);
  host.pump();

  ASSERT_EQ(receivers.size(), 1u);
  const auto receiver = receivers[0];
  EXPECT_EQ(receiver->row.type_code, kR1.type_code);
  EXPECT_EQ(receiver->row.slots, kR1.slots);
  ASSERT_EQ(arrivals.arrived.size(), 2u);
  EXPECT_EQ(arrivals.arrived[0], receiver);
  const auto paired = CDovod::instance().devices_on_bus(receiver);
  ASSERT_EQ(paired.size(), 1u);
  EXPECT_EQ(paired[0]->name(), "slot1");
  EXPECT_TRUE(CDovod::instance().devices_on_bus(paired[0]).empty()) << "a plain device is no bus";

  receiver->SimulatePlug("slot2", kKeyboard, 1);
  host.pump();
  EXPECT_EQ(CDovod::instance().devices_on_bus(receiver).size(), 2u);

  bus->SimulateUnplug("receiver");
  host.pump();
  EXPECT_EQ(arrivals.removed.size(), 3u);
  EXPECT_EQ(receiver->uninits, 1);
  EXPECT_TRUE(CDovod::instance().devices().empty());
  receiver->SimulatePlug("slot3", kKeyboard, 1);
  host.pump();
  EXPECT_TRUE(CDovod::instance().devices().empty()) << "a removed receiver plugs nothing any more";
}

TEST_F(ManagerTest, AReceiverIsAPlainDeviceWithoutTandemOrWhenForced) {
  configure(DM::usb_active, true);
  bus->AddPresent("receiver", kR1.pid);
  ASSERT_EQ(CDovod::instance().devices().size(), 1u);
  EXPECT_TRUE(receivers.empty());

  configure(DM::tandem_active, true);
  auto hwdev = std::make_shared<FakeHardwareDevice>("forced", kR1.pid, FakeHardwareDevice::Answering::Inline, 0, bus);
  const auto plain = CDovod::instance().makeDevice(hwdev, 1, static_cast<int>(kR1.pid));
  ASSERT_TRUE(plain);
  EXPECT_FALSE(std::dynamic_pointer_cast<IHardwareBus>(plain));
  EXPECT_EQ(plain->hardware_device(), hwdev);
}

class ReceiverRetry : public ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    impl()->set_addbus_retry_base_ms(0);
    configure(DM::tandem_active, true);
    ASSERT_TRUE(errors.subscribe(manager(), RunLoop));
    listen();
  }
  void plug_receiver(int failures) {
    prepare_receiver = [failures](FakeReceiver& receiver) {
      receiver.AddPresent("slot1", kKeyboard, 1);
      receiver.FailEnumeration(failures);
    };
    bus->SimulatePlug("receiver", kR1.pid);
  }
  ErrorLog errors;
};

TEST_F(ReceiverRetry, AReceiverBusThatRecoversIsAddedByALaterRetry) {
  plug_receiver(3);
  EXPECT_TRUE(host.pump_until([&] { return arrivals.arrived.size() == 2; }));
  EXPECT_EQ(arrivals.arrived[1]->name(), "slot1");
  EXPECT_EQ(receivers[0]->enumerations.load(), 4);
  EXPECT_TRUE(errors.errors.empty());
}

TEST_F(ReceiverRetry, TheTenthFailedPassReportsCode77Twice) {
  plug_receiver(-1);
  EXPECT_TRUE(host.pump_until([&] { return errors.errors.size() == 2; }));
  EXPECT_EQ(receivers[0]->enumerations.load(), 10) << "the first attempt and nine retries";
  ASSERT_EQ(errors.errors.size(), 2u);
  EXPECT_EQ(errors.errors[0].where, "TandemBus");
  EXPECT_EQ(errors.errors[1].where, "DeviceManager::addBus retry failed all attempts");
  for (const auto& e : errors.errors) {
    EXPECT_EQ(e.code, ErrorCode::ReceiverRetriesExhausted);
    EXPECT_EQ(e.message, "Tandem device enumeration failed after max retry attempts");
  }

  // Given up: plugging the receiver again starts a fresh series of retries.
  bus->SimulateUnplug("receiver");
  plug_receiver(1);
  EXPECT_TRUE(host.pump_until([&] { return receivers.size() == 2 && receivers[1]->enumerations == 2; }));
  EXPECT_TRUE(host.pump_until([&] { return CDovod::instance().devices_on_bus(receivers[1]).size() == 1; }));
  EXPECT_EQ(errors.errors.size(), 2u);
}

TEST_F(ReceiverRetry, RetriesBackOffExponentiallyFromTheBase) {
  // With a 5 ms base the passes wait 5, 20, 40 and 80 ms; a countdown never ends before its two
  // halves (ms / 2 each) have passed, so four failures take at least 4 + 20 + 40 + 80 ms. A linear
  // back-off would take about a third of that.
  impl()->set_addbus_retry_base_ms(5);
  const auto start = std::chrono::steady_clock::now();
  plug_receiver(4);
  EXPECT_TRUE(host.pump_until([&] { return arrivals.arrived.size() == 2; }));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(receivers[0]->enumerations.load(), 5);
  EXPECT_GE(waited, std::chrono::milliseconds(144));
}

TEST_F(ReceiverRetry, AReceiverUnpluggedWhileWaitingIsNotRetried) {
  impl()->set_addbus_retry_base_ms(60'000);
  plug_receiver(-1);
  host.pump();
  bus->SimulateUnplug("receiver");
  host.pump();
  impl()->onTimerEvent(DeviceManager::kAddbusRetryTimerId);
  EXPECT_EQ(receivers[0]->enumerations.load(), 1);
}

TEST_F(ManagerTest, ResumeFromStandbyRecheckesReceiversAndConfirmsDevices) {
  configure(DM::tandem_active, true);
  listen();
  bus->SimulatePlug("receiver", kR1.pid);
  host.pump();
  ASSERT_EQ(receivers.size(), 1u);
  const int bus_enumerations = bus->enumerations;
  const int receiver_enumerations = receivers[0]->enumerations;

  bus->SimulatePowerChange(true);
  host.pump();
  EXPECT_EQ(receivers[0]->confirmations, 0);

  bus->SimulatePowerChange(false);
  host.pump();
  EXPECT_EQ(receivers[0]->confirmations, 1);
  EXPECT_EQ(receivers[0]->enumerations.load(), receiver_enumerations + 1);
  EXPECT_EQ(bus->enumerations.load(), bus_enumerations) << "only receiver buses are asked again";
}

TEST_F(ManagerTest, SecondaryBusesAreAddedBesideTheTopBus) {
  configure(DM::usb_active, true);
  auto secondary = FakeHardwareBus::create();
  secondary->AddPresent("gatt", kKeyboard, 4);
  bus->AddSecondary(secondary);
  bus->AddPresent("usb", kKeyboard);
  EXPECT_EQ(CDovod::instance().devices().size(), 2u);
  EXPECT_EQ(secondary->refreshes.load(), 1);
  EXPECT_EQ(bus->refreshes.load(), 1);
}

TEST_F(ManagerTest, BusesThatCannotStartRefuseArrivalSubscriptions) {
  bus->FailEnumeration(-1);
  EXPECT_FALSE(arrivals.subscribe(manager(), RunLoop));
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent);
  EXPECT_TRUE(CDovod::instance().devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent) << "devices failed, it did not find nothing";
}

}  // namespace
}  // namespace dovod::testing
