// The simulated receiver on the wire, seen from the host's end of its collection: its registers,
// its notifications, the keyboard behind it, and its scripted faults.

#include <gtest/gtest.h>

#include <string>

#include "BootloaderHelpers.h"
#include "dovod/MakerValues.h"
#include "sim/SimHardwareDevice.h"

namespace simtest {
namespace {

using sim::SimReceiver;

constexpr Byte kKeyboardPidLow = dovod::maker::kKeyboardPid & 0xFF;
constexpr Byte kKeyboardPidHigh = dovod::maker::kKeyboardPid >> 8;
constexpr auto kNothing = 100ms;

sim::Scenario behind_receiver(sim::ReceiverSetup setup = {}) {
  sim::Scenario s = sim::find_scenario("normal")->scaled(0.01);
  s.receiver = std::move(setup);
  return s;
}

Bytes reg(Byte sub_id, Byte address, Byte p4 = 0, Byte p5 = 0, Byte p6 = 0) {
  return {sim::kShortReportId, sim::kDirectDeviceIndex, sub_id, address, p4, p5, p6};
}

// `req` addressed to the device at `index` behind the receiver.
Bytes to_index(Bytes req, int index) {
  req[1] = static_cast<Byte>(index);
  return req;
}

// The next report whose bytes 1 to 3 are these.
std::optional<Bytes> next(KeyboardLink& link, Byte index, Byte sub_id, Byte third,
                          std::chrono::milliseconds limit = kGuard) {
  return link.take([&](const Bytes& r) { return r[1] == index && r[2] == sub_id && r[3] == third; }, limit);
}

std::optional<Bytes> next_connection(KeyboardLink& link, std::chrono::milliseconds limit = kGuard) {
  return link.take([](const Bytes& r) { return r[2] == SimReceiver::kConnection; }, limit);
}

// Register 0 with wireless notifications on, its answer taken.
void enable_notifications(KeyboardLink& link) {
  ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0x00, 0, 0x01, 0)));
  ASSERT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0x00));
}

TEST(Receiver, EveryRowEnumeratesTheKeyboardInItsSlotWithItsTypeCode) {
  for (std::size_t row = 0; row < dovod::maker::kReceivers.size(); ++row) {
    const auto& expected = dovod::maker::kReceivers[row];
    sim::ReceiverSetup setup;
    setup.row = row;
    setup.keyboard_slot = expected.slots - 1;
    KeyboardLink link(behind_receiver(setup));
    SCOPED_TRACE("row " + std::to_string(row));
    EXPECT_EQ(link.device()->pid(), expected.pid);
    EXPECT_EQ(link.device()->path(), SimReceiver::kPath);

    enable_notifications(link);
    const Bytes count = link.call(reg(SimReceiver::kGetShort, 0x02));
    ASSERT_EQ(count.size(), 7u);
    EXPECT_EQ(count[5], 1);

    ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0x02, 0x02)));
    const auto arrival = link.take([](const Bytes&) { return true; });
    ASSERT_TRUE(arrival);
    EXPECT_EQ(*arrival, (Bytes{0x10, static_cast<Byte>(expected.slots), 0x41, static_cast<Byte>(expected.type_code),
                               0x00, kKeyboardPidLow, kKeyboardPidHigh}))
        << "the arrival comes before the answer";
    EXPECT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0x02));
  }
}

TEST(Receiver, ShortRegistersKeepWhatIsWrittenAndSettingRegisterZeroIsSeenByEveryone) {
  KeyboardLink link(behind_receiver());
  for (const Byte address : {Byte{0x00}, Byte{0x03}}) {
    const Bytes answer = link.call(reg(SimReceiver::kSetShort, address, 0x04, 0x09, 0x20));
    EXPECT_EQ(answer, (Bytes{0x10, 0xFF, 0x80, address, 0, 0, 0}));
    EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, address)), (Bytes{0x10, 0xFF, 0x81, address, 0x04, 0x09, 0x20}));
  }
  // Another program clears the notification bits: its answer reaches us as well.
  link.receiver().foreign_register_write(0x00, {0, 0, 0});
  EXPECT_EQ(next(link, 0xFF, 0x80, 0x00), (Bytes{0x10, 0xFF, 0x80, 0x00, 0, 0, 0}));
  EXPECT_EQ(link.receiver().register_value(0x00), (SimReceiver::ShortRegister{0, 0, 0}));
}

TEST(Receiver, LongRegistersGiveSlotValuesAndNames) {
  sim::ReceiverSetup setup;
  setup.keyboard_slot = 1;
  setup.keyboard_slot_value = 0x5A;
  setup.others.push_back({3, 0x4077, true, 0x33});
  KeyboardLink link(behind_receiver(setup));

  const Bytes values = link.call(reg(SimReceiver::kGetLong, 0xB3));
  ASSERT_EQ(values.size(), 20u);
  EXPECT_EQ(values[0], sim::kLongReportId);
  EXPECT_EQ(Bytes(values.begin() + 4, values.begin() + 10), (Bytes{0, 0x5A, 0, 0x33, 0, 0}));

  const Bytes name = link.call(reg(SimReceiver::kGetLong, 0xB5, 0x41));
  ASSERT_EQ(name.size(), 20u);
  EXPECT_EQ(name[4], 0x41);
  ASSERT_EQ(name[5], 14) << "as much of the name as a long report holds";
  EXPECT_EQ(std::string(name.begin() + 6, name.end()), std::string(sim::kProductName).substr(0, 14));
}

TEST(Receiver, RefusedRequestsGetTheErrorAnswer) {
  KeyboardLink link(behind_receiver());
  const struct {
    const char* label;
    Bytes request;
    Byte error;
  } cases[] = {
      {"unknown short register", reg(SimReceiver::kGetShort, 0x07), SimReceiver::kErrInvalidAddress},
      {"unknown sub id", reg(0x82, 0x00), SimReceiver::kErrUnknownSubId},
      {"short register read long", reg(SimReceiver::kGetLong, 0x00), SimReceiver::kErrInvalidAddress},
      {"name of a free slot", reg(SimReceiver::kGetLong, 0xB5, 0x42), SimReceiver::kErrInvalidValue},
      {"unpair a free slot", reg(SimReceiver::kSetShort, 0xB2, 0x03, 0x03), SimReceiver::kErrInvalidValue},
      {"connection state set other than arrivals", reg(SimReceiver::kSetShort, 0x02, 0x01),
       SimReceiver::kErrInvalidValue},
      {"a free slot's device", to_index(request(0, 1), 2), SimReceiver::kErrUnknownDevice},
      {"a slot beyond the receiver's", to_index(request(0, 1), 7), SimReceiver::kErrUnknownDevice},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(link.write(c.request)) << c.label;
    const auto error = next(link, c.request[1], SimReceiver::kErrorAnswer, c.request[2]);
    ASSERT_TRUE(error) << c.label;
    EXPECT_EQ(*error, (Bytes{0x10, c.request[1], 0x8F, c.request[2], c.request[3], c.error, 0})) << c.label;
  }
  EXPECT_TRUE(link.drain().empty()) << "one answer per request";
}

TEST(Receiver, TheKeyboardAnswersWithItsIndexAndItsRestartsShowAsConnectionNotifications) {
  sim::ReceiverSetup setup;
  setup.keyboard_slot = 2;
  KeyboardLink link(behind_receiver(setup));
  enable_notifications(link);

  const Bytes pong = link.call(to_index(request(0, 1, {0, 0, 0x5C}), 3));
  ASSERT_EQ(pong.size(), 20u);
  EXPECT_EQ(pong[1], 3);
  EXPECT_EQ(pong[6], 0x5C);

  const int type = link.receiver().row().type_code;
  const Bytes lost = SimReceiver::connection_notification(3, type, dovod::maker::kKeyboardPid, false);
  const Bytes back = SimReceiver::connection_notification(3, type, dovod::maker::kKeyboardPid, true);
  link.keyboard().power_loss_for(20ms);
  EXPECT_EQ(next_connection(link), lost);
  EXPECT_EQ(next_connection(link), back);
  // The application's own wireless-status notification travels with the index as well.
  EXPECT_TRUE(link.take([](const Bytes& r) { return r[0] == sim::kLongReportId && r[1] == 3; }));

  ASSERT_TRUE(link.write(to_index(enter_dfu_request(), 3)));
  EXPECT_EQ(next_connection(link), lost);
  EXPECT_EQ(next_connection(link), back);
  EXPECT_TRUE(link.keyboard().in_bootloader());
  EXPECT_EQ(link.call(to_index(request(0, 1, {0, 0, 0x5D}), 3))[1], 3);
}

TEST(Receiver, NotificationsStayQuietWhileRegisterZeroHasThemOff) {
  KeyboardLink link(behind_receiver());
  ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0x02, 0x02)));
  EXPECT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0x02));
  link.keyboard().disconnect_for(10ms);
  ASSERT_TRUE(link.call(reg(SimReceiver::kSetShort, 0xB2, 0x01)).size() == 7u);
  EXPECT_FALSE(link.take([](const Bytes& r) { return r[2] == 0x41 || r[2] == 0x4A; }, kNothing));

  enable_notifications(link);
  link.receiver().foreign_register_write(0x00, {0, 0, 0});
  ASSERT_TRUE(next(link, 0xFF, 0x80, 0x00));
  link.keyboard().disconnect_for(10ms);
  EXPECT_FALSE(next_connection(link, kNothing)) << "another program turned them off";
}

TEST(Receiver, WhileTheKeyboardIsAwayItsRequestsGetTheErrorAnswer) {
  KeyboardLink link(behind_receiver());
  link.keyboard().disconnect_for(10s);
  const Bytes ping = to_index(request(0, 1), 1);
  ASSERT_TRUE(link.write(ping));
  EXPECT_EQ(next(link, 1, SimReceiver::kErrorAnswer, ping[2]),
            (Bytes{0x10, 1, 0x8F, ping[2], ping[3], SimReceiver::kErrUnknownDevice, 0}));
}

TEST(ReceiverFaults, PairingLockOpensAnnouncesAndClosesWithAPairing) {
  KeyboardLink link(behind_receiver());
  enable_notifications(link);
  EXPECT_FALSE(link.receiver().pair(1, 0x4078)) << "the lock is closed";

  ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0xB2, 0x01)));
  EXPECT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0xB2));
  EXPECT_EQ(next(link, 0xFF, 0x4A, 0x01), (Bytes{0x10, 0xFF, 0x4A, 0x01, 0x00, 0, 0}));
  EXPECT_TRUE(link.receiver().lock_open());

  ASSERT_TRUE(link.receiver().pair(1, 0x4078));
  EXPECT_EQ(next_connection(link), SimReceiver::connection_notification(2, link.receiver().row().type_code, 0x4078, true));
  EXPECT_TRUE(next(link, 0xFF, 0x4A, 0x00));
  EXPECT_FALSE(link.receiver().lock_open());
  EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, 0x02))[5], 2);

  link.receiver().pairing_lock_changed(0x00, 0x01);
  EXPECT_EQ(next(link, 0xFF, 0x4A, 0x00), (Bytes{0x10, 0xFF, 0x4A, 0x00, 0x01, 0, 0}));
}

TEST(ReceiverFaults, UnpairingEmptiesTheSlotWithADisconnectionNotification) {
  KeyboardLink link(behind_receiver());
  enable_notifications(link);
  ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0xB2, 0x03, 0x01)));
  EXPECT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0xB2));
  EXPECT_EQ(next(link, 1, 0x40, 0x02), (Bytes{0x10, 0x01, 0x40, 0x02, 0, 0, 0}));
  EXPECT_EQ(link.receiver().slot_pid(0), 0u);
  EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, 0x02))[5], 0);
  ASSERT_TRUE(link.write(to_index(request(0, 1), 1)));
  EXPECT_TRUE(next(link, 1, SimReceiver::kErrorAnswer, 0x00)) << "nobody is there any more";
}

TEST(ReceiverFaults, PromisedDevicesThatNeverArriveAndAnotherProductInTheSlot) {
  sim::ReceiverSetup setup;
  setup.row = 0;  // six slots
  setup.others.push_back({4, 0x4080, false, 0});
  setup.phantom_devices = 1;
  KeyboardLink link(behind_receiver(setup));
  enable_notifications(link);
  EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, 0x02))[5], 3);
  ASSERT_TRUE(link.write(reg(SimReceiver::kSetShort, 0x02, 0x02)));
  const auto first = next_connection(link);
  const auto second = next_connection(link);
  ASSERT_TRUE(first && second);
  EXPECT_EQ((*first)[1], 1);
  EXPECT_EQ((*second)[1], 5);
  EXPECT_EQ((*second)[4], SimReceiver::kLinkNotEstablished) << "the other device's link is down";
  EXPECT_TRUE(next(link, 0xFF, SimReceiver::kSetShort, 0x02));
  EXPECT_FALSE(next_connection(link, kNothing)) << "the promised third never comes";

  link.receiver().replace_device(0, 0x4099);
  const auto replaced = next_connection(link);
  ASSERT_TRUE(replaced);
  EXPECT_EQ((*replaced)[5] | (*replaced)[6] << 8, 0x4099);
  // The new product answers its root feature; the keyboard no longer hears requests for slot 0.
  const Bytes pong = link.call(to_index(request(0, 1, {0, 0, 0x42}), 1));
  EXPECT_EQ(payload(pong), (Bytes{4, 2, 0x42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ReceiverFaults, UnpluggingTakesTheReceiverOffTheBusAndItsRegistersWithIt) {
  KeyboardLink link(behind_receiver());
  enable_notifications(link);
  const auto old = link.device();
  link.bus().unplug();
  EXPECT_TRUE(old->removed());
  EXPECT_FALSE(link.bus().receiver_device());
  link.bus().plug();
  ASSERT_TRUE(link.bus().receiver_device());
  EXPECT_EQ(link.bus().receiver_device()->path(), SimReceiver::kPath);
  link.listen();
  EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, 0x00)), (Bytes{0x10, 0xFF, 0x81, 0x00, 0, 0, 0}));
  EXPECT_EQ(link.call(reg(SimReceiver::kGetShort, 0x02))[5], 1) << "pairings outlive the power";
  EXPECT_EQ(link.call(to_index(request(0, 1, {0, 0, 7}), 1))[6], 7);
}

}  // namespace
}  // namespace simtest
