// The receiver's registers as the bus keeps them: notification and software-present bits put back
// after another program wrote register 0, per-slot configuration complete, and the pairing lock.
#include "ReceiverFixture.h"
#include "Source/VXP10Command.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

TEST_F(ReceiverTest, RegisterZeroOverwrittenByAnotherProgramIsRestored) {
  struct Case {
    const char* name;
    bool configured;
    Byte expected;
  };
  const Case cases[] = {
      {"no device configured: notifications only", false, 0x01},
      {"a device configured: software present too", true, 0x09},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh_receiver();
    firmware->Pair(0, kKeyboard);
    make_bus();
    listen();
    const auto found = bus->devices();
    ASSERT_EQ(found.size(), 1u);
    if (c.configured) {
      ASSERT_TRUE(std::dynamic_pointer_cast<IReceiverLink>(found[0])->set_software_present());
    }
    EXPECT_EQ(firmware->register_value(0x00)[1], c.expected);
    host.pump();

    hw->SimulateRead(firmware->register_zero_written(0x00, 0x00, 0x20));
    hw->wait_idle();
    ASSERT_TRUE(host.pump_until([&] { return firmware->register_value(0x00)[1] == c.expected; }));
    EXPECT_EQ(firmware->register_value(0x00)[2], 0x20) << "other bits left alone";
  }
}

TEST_F(ReceiverTest, BitOperationWritesOnlyWhatChanges) {
  make_bus();
  firmware->set_register(0x00, {0x10, 0x03, 0x00});
  const int writes = count_requests(0x80, 0x00);
  EXPECT_TRUE(bus->short_register_bit_operation(0x00, 0, 0x01, 0, 0, 0, 0));
  EXPECT_EQ(count_requests(0x80, 0x00), writes) << "bit already set";
  EXPECT_TRUE(bus->short_register_bit_operation(0x00, 0x01, 0x08, 0, 0x10, 0x02, 0));
  EXPECT_EQ(count_requests(0x80, 0x00), writes + 1);
  EXPECT_EQ(firmware->register_value(0x00), (std::array<Byte, 3>{0x01, 0x09, 0x00}));
}

TEST_F(ReceiverTest, PairedDeviceMarksItsSlotConfiguredAndShutdownClearsSoftwarePresent) {
  firmware->Pair(0, kKeyboard);
  firmware->Pair(2, kMouse);
  firmware->set_register(0x03, {0x01, 0x44, 0x55});
  make_bus();
  listen();
  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 2u);
  auto link = std::dynamic_pointer_cast<IReceiverLink>(found[1]);
  ASSERT_TRUE(link->set_software_present());
  ASSERT_TRUE(link->set_configuration_complete());
  EXPECT_EQ(firmware->register_value(0x03), (std::array<Byte, 3>{0x05, 0x44, 0x55}));
  EXPECT_EQ(firmware->register_value(0x00)[1], 0x09);

  const int writes = count_requests(0x80, 0x00);
  link->release_receiver();
  EXPECT_EQ(firmware->register_value(0x00)[1], 0x01);
  std::dynamic_pointer_cast<IReceiverLink>(found[0])->release_receiver();
  EXPECT_EQ(count_requests(0x80, 0x00), writes + 1) << "cleared once";
}

TEST_F(ReceiverTest, PairingCommandsAndTheLockingNotification) {
  make_bus();
  listen();
  struct Case {
    const char* name;
    std::function<bool()> call;
    Bytes request;
  };
  const Case cases[] = {
      {"open lock", [&] { return bus->open_lock(); }, {0x10, 0xFF, 0x80, 0xB2, 0x01, 0, 0}},
      {"close lock", [&] { return bus->close_lock(); }, {0x10, 0xFF, 0x80, 0xB2, 0x02, 0, 0}},
      {"unpair", [&] { return bus->unpair(3); }, {0x10, 0xFF, 0x80, 0xB2, 0x03, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.call());
    EXPECT_EQ(hw->written().back(), c.request);
    firmware->set_hook([](const Bytes& r) -> std::optional<std::vector<Bytes>> { return std::vector<Bytes>{vxp10_error(r, 4)}; });
    clear_last_error();
    EXPECT_FALSE(c.call());
    EXPECT_EQ(to_int(last_error().code), 8 + 4);
    firmware->set_hook(nullptr);
  }

  struct LockLog : Subscriber<IReceiver::LockingChange> {
    void onLockingChange(std::shared_ptr<IDevice> receiver, IReceiver::State state, IReceiver::ErrorType error) override {
      seen.push_back({receiver, state, error});
    }
    struct Seen {
      std::shared_ptr<IDevice> receiver;
      Byte state;
      Byte error;
    };
    std::vector<Seen> seen;
  } locks;
  ASSERT_TRUE(locks.subscribe(bus, RunLoop));
  hw->SimulateRead({0x10, 0xFF, 0x4A, 0x01, 0x02, 0, 0});
  hw->wait_idle();
  ASSERT_TRUE(host.pump_until([&] { return !locks.seen.empty(); }));
  EXPECT_EQ(locks.seen[0].receiver, std::static_pointer_cast<IDevice>(bus));
  EXPECT_EQ(locks.seen[0].state, 0x01);
  EXPECT_EQ(locks.seen[0].error, 0x02);
}

TEST_F(ReceiverTest, SlotValuesGoToTheDevicesAsFarAsTheSlotsReach) {
  firmware->slot_values = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  for (int slots : {1, 6}) {
    SCOPED_TRACE(slots);
    firmware->Pair(0, kKeyboard);
    make_bus(slots);
    listen();
    const auto found = bus->devices();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->slot_value(), 0);
    ASSERT_TRUE(bus->read_slot_values());
    EXPECT_EQ(found[0]->slot_value(), 0x11);
    const std::vector<Byte> expected(firmware->slot_values.begin(), firmware->slot_values.begin() + slots);
    EXPECT_EQ(bus->slot_values(), expected);
  }
}

TEST_F(ReceiverTest, ReceiverCommandsRefuseAMissingDeviceOrAShortAnswer) {
  unsigned count = 0;
  unsigned second = 0;
  std::string name;
  struct Case {
    const char* name;
    std::function<bool()> call;
    const char* message;
  };
  const Case cases[] = {
      {"announce", [] { return VXP10Command::set_receiver_connection_state(nullptr); },
       "null device pointer passed to set_receiver_connection_state!"},
      {"count", [&] { return VXP10Command::read_receiver_connection_state(nullptr, count, second); },
       "null device pointer passed to read_receiver_connection_state!"},
      {"name", [&] { return VXP10Command::read_receiver_paired_device_name(nullptr, 0, name); },
       "null device pointer passed to read_receiver_paired_device_name!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_last_error();
    EXPECT_FALSE(c.call());
    EXPECT_EQ(to_int(last_error().code), 19);
    EXPECT_STREQ(last_error().message, c.message);
  }

  make_bus();
  ASSERT_TRUE(VXP10Command::read_receiver_connection_state(bus.get(), count, second));
  EXPECT_EQ(second, 0x27u) << "passed on unchanged";
  // A short report answers the long name register: it completes the request but carries no name.
  firmware->set_hook([](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    return std::vector<Bytes>{{0x10, 0xFF, r[2], r[3], r[4], 5, 'V'}};
  });
  clear_last_error();
  EXPECT_FALSE(VXP10Command::read_receiver_paired_device_name(bus.get(), 0, name));
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  // A length byte beyond the answer gives what the answer holds.
  firmware->set_hook([](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    Bytes reply(20, 'k');
    reply[0] = 0x11, reply[1] = 0xFF, reply[2] = r[2], reply[3] = r[3], reply[4] = r[4], reply[5] = 200;
    return std::vector<Bytes>{reply};
  });
  ASSERT_TRUE(VXP10Command::read_receiver_paired_device_name(bus.get(), 0, name));
  EXPECT_EQ(name, std::string(14, 'k'));
}

}  // namespace
}  // namespace dovod::testing
