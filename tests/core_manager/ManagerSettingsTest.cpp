// The device manager's switches: acceptance filter, configuration items, software id, active state and
// persistent data directory.
#include <string>
#include <vector>

#include "ManagerFixture.h"
#include "dovod/MakerValues.h"

namespace dovod::testing {
namespace {

using DM = IDeviceManager;

struct FilterCase {
  const char* name;
  int bus_type;
  unsigned pid;
  std::vector<unsigned> enabled;  // configuration items switched on
  bool accepted;
};

TEST_F(ManagerTest, AcceptanceFilterFollowsBusTypeAndConfiguration) {
  const unsigned keyboard = maker::kKeyboardPid;
  const unsigned receiver = maker::kReceivers[0].pid;
  const unsigned unlisted_receiver = maker::kReceiverPidLast;
  const std::vector<FilterCase> cases = {
      {"usb device, defaults", 0, keyboard, {}, false},
      {"usb device, usb_active", 0, keyboard, {DM::usb_active}, true},
      {"usb device, tandem_active only", 0, keyboard, {DM::tandem_active}, false},
      {"receiver, tandem_active", 0, receiver, {DM::tandem_active}, true},
      {"receiver outside the table, tandem_active", 0, unlisted_receiver, {DM::tandem_active}, true},
      {"receiver, usb_active only", 0, receiver, {DM::usb_active}, true},
      {"receiver, defaults", 0, receiver, {}, false},
      {"paired, tandem_active", 1, keyboard, {DM::tandem_active}, true},
      {"paired, usb_active only", 1, keyboard, {DM::usb_active}, false},
      {"bluetooth, bluetooth_active", 2, keyboard, {DM::bluetooth_active}, true},
      {"bluetooth, everything else", 2, keyboard, {DM::usb_active, DM::tandem_active, DM::ble_active}, false},
      {"ble, ble_active", 3, keyboard, {DM::ble_active}, true},
      {"ble, defaults", 3, keyboard, {}, false},
      {"gatt, defaults", 4, keyboard, {}, true},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
    bus = FakeHardwareBus::create();
    auto hwdev = bus->AddPresent("\\\\?\\hid#" + std::string(c.name), c.pid, c.bus_type);
    for (unsigned item : c.enabled) configure(item, true);

    const auto found = CDovod::instance().devices();
    EXPECT_EQ(found.size(), c.accepted ? 1u : 0u);
    EXPECT_EQ(hwdev->opens.load(), 1) << "every device is opened before it is filtered";
  }
}

TEST_F(ManagerTest, WithTheDefaultsEveryDeviceIsSuppressedAndLastErrorIsCleared) {
  bus->AddPresent("a", maker::kKeyboardPid);
  bus->AddPresent("b", maker::kReceivers[0].pid);
  set_last_error(ErrorCode::NoResponse, 3, "stale");
  EXPECT_TRUE(CDovod::instance().devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::None);
  EXPECT_EQ(last_error().system_error, 0u);
  EXPECT_EQ(last_error().message, nullptr);
}

TEST_F(ManagerTest, ConfigurationItemsHaveTheirDefaultsAndRejectItemsAbove8) {
  const bool defaults[] = {false, false, true, false, false, false, false, true, false};
  for (unsigned item = 0; item < 9; ++item) {
    SCOPED_TRACE(item);
    bool by_default = !defaults[item], current = !defaults[item];
    EXPECT_TRUE(CDovod::instance().config_default(item, &by_default));
    EXPECT_TRUE(CDovod::instance().config_get(item, &current));
    EXPECT_EQ(by_default, defaults[item]);
    EXPECT_EQ(current, defaults[item]);
  }
  EXPECT_TRUE(CDovod::instance().config_get(0, nullptr));

  for (unsigned item : {9u, 100u}) {
    bool out = true;
    clear_last_error();
    EXPECT_FALSE(CDovod::instance().config_default(item, &out));
    EXPECT_EQ(last_error().code, ErrorCode::InvalidConfigItem);
    clear_last_error();
    EXPECT_FALSE(CDovod::instance().config_get(item, &out));
    EXPECT_EQ(last_error().code, ErrorCode::InvalidConfigItem);
    clear_last_error();
    EXPECT_FALSE(CDovod::instance().config_set(item, true));
    EXPECT_EQ(last_error().code, ErrorCode::InvalidConfigItem);
    EXPECT_TRUE(out) << "nothing written for an invalid item";
  }
}

TEST_F(ManagerTest, ItemSixIsSharedByEveryManagerOfTheProcess) {
  configure(DM::gatt_process_wide, true);
  configure(DM::usb_active, true);
  CDovod::instance().reset_for_testing();
  bool gatt = false, usb = true;
  EXPECT_TRUE(CDovod::instance().config_get(DM::gatt_process_wide, &gatt));
  EXPECT_TRUE(CDovod::instance().config_get(DM::usb_active, &usb));
  EXPECT_TRUE(gatt);
  EXPECT_FALSE(usb) << "the other items belong to one manager";
  configure(DM::gatt_process_wide, false);
}

TEST_F(ManagerTest, ChangingAnItemWhileConnectedRebuildsTheBusesAndKeepingItTouchesNothing) {
  configure(DM::usb_active, true);
  bus->AddPresent("keyboard", maker::kKeyboardPid);
  listen();
  ASSERT_EQ(CDovod::instance().devices().size(), 1u);
  const int enumerations = bus->enumerations;

  configure(DM::usb_active, true);
  EXPECT_EQ(buses_made, 1);
  EXPECT_EQ(bus->enumerations.load(), enumerations);

  auto old_bus = bus;
  bus = FakeHardwareBus::create();
  bus->AddPresent("keyboard", maker::kKeyboardPid);
  configure(DM::tandem_active, true);
  EXPECT_EQ(buses_made, 2);
  host.pump();
  ASSERT_EQ(arrivals.removed.size(), 1u);
  ASSERT_EQ(arrivals.arrived.size(), 1u);
  EXPECT_NE(arrivals.removed[0], arrivals.arrived[0]);

  old_bus->SimulatePlug("late", maker::kKeyboardPid);
  host.pump();
  EXPECT_EQ(CDovod::instance().devices().size(), 1u) << "a removed bus plugs nothing any more";
}

TEST_F(ManagerTest, SoftwareIdIsChosenOnceFrom10To14UntilSet) {
  const int chosen = CDovod::instance().swid();
  EXPECT_GE(chosen, 10);
  EXPECT_LE(chosen, 14);
  EXPECT_EQ(CDovod::instance().swid(), chosen);
  EXPECT_EQ(CDovod::instance().swid(0x1B), 11);
  EXPECT_EQ(CDovod::instance().swid(), 11);
}

class ActiveLog : public Subscriber<IDeviceManager::ActiveChanged> {
 public:
  void onActiveChanged(bool active) override { seen.push_back(active); }
  std::vector<bool> seen;
};

TEST_F(ManagerTest, SetActiveAnnouncesChangesAndEveryTrue) {
  ActiveLog log;
  ASSERT_TRUE(log.subscribe(manager(), RunLoop));
  EXPECT_TRUE(CDovod::instance().is_active());
  for (bool value : {true, true, false, false}) CDovod::instance().set_active(value);
  host.pump();
  EXPECT_EQ(log.seen, (std::vector<bool>{true, true, false}));
  EXPECT_FALSE(CDovod::instance().is_active());
}

TEST_F(ManagerTest, GoingActiveAsksEveryBusForItsDevicesAgain) {
  listen();
  const int enumerations = bus->enumerations;
  CDovod::instance().set_active(false);
  host.pump();
  EXPECT_EQ(bus->enumerations.load(), enumerations);
  CDovod::instance().set_active(true);
  host.pump();
  EXPECT_EQ(bus->enumerations.load(), enumerations + 1);
}

TEST_F(ManagerTest, PersistentDirectoryGetsOneTrailingSeparatorAndReachesDevicesAndBuses) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\data", "C:\\data/"}, {"C:\\data\\", "C:\\data\\"}, {"/var/lib/x", "/var/lib/x/"},
      {"/var/lib/x/", "/var/lib/x/"}, {"", ""}};
  for (const auto& [given, stored] : cases) {
    CDovod::instance().persistent_data_directory(given);
    EXPECT_EQ(impl()->persistent_dir(), stored) << given;
  }

  configure(DM::usb_active, true);
  bus->AddPresent("early", maker::kKeyboardPid);
  listen();
  CDovod::instance().persistent_data_directory("/data");
  EXPECT_EQ(bus->last_persistent_dir(), "/data/");
  bus->SimulatePlug("late", maker::kKeyboardPid);
  host.pump();
  const auto found = CDovod::instance().devices();
  ASSERT_EQ(found.size(), 2u);
  for (const auto& device : found) {
    EXPECT_EQ(std::dynamic_pointer_cast<Device>(device)->persistent_dir(), "/data/") << device->name();
  }
}

}  // namespace
}  // namespace dovod::testing
