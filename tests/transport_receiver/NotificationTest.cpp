// The receiver's notifications after enumeration: devices arriving, leaving, changing product id or
// losing their link, and notifications the bus must ignore.
#include <thread>

#include "ReceiverFixture.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

Bytes connection(int index, int type, unsigned pid, bool link_up = true) {
  return ReceiverFirmware::connection(index, type, pid, link_up);
}

TEST_F(ReceiverTest, NotificationsPlugUnplugOrAreIgnored) {
  struct Case {
    const char* name;
    Bytes report;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"new slot", connection(2, kReceiverType, kMouse), {"+receiver-1:1/4082"}},
      {"same product id again", connection(1, kReceiverType, kKeyboard), {}},
      {"product id changed in a slot", connection(1, kReceiverType, kMouse),
       {"-receiver-1:0/0000", "+receiver-1:0/4082"}},
      {"unpaired", {0x10, 0x01, 0x40, 0x02, 0, 0, 0}, {"-receiver-1:0/0000"}},
      {"foreign receiver type", connection(2, 10, kMouse), {}},
      {"device index 0", connection(0, kReceiverType, kMouse), {}},
      {"device index above the slot count", connection(7, kReceiverType, kMouse), {}},
      {"receiver's own index", connection(0xFF, kReceiverType, kMouse), {}},
      {"disconnection of another kind", {0x10, 0x01, 0x40, 0x03, 0, 0, 0}, {}},
      {"disconnection above the slot count", {0x10, 0x07, 0x40, 0x02, 0, 0, 0}, {}},
      {"connection cut short", {0x10, 0x02, 0x41, kReceiverType, 0, 0x82}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh_receiver();
    firmware->Pair(0, kKeyboard);
    make_bus();
    listen();
    ASSERT_EQ(bus->devices().size(), 1u);
    hw->SimulateRead(c.report);
    hw->wait_idle();
    EXPECT_EQ(plugs->summary(), c.events);
  }
}

TEST_F(ReceiverTest, OneSlotReceiverIgnoresDeviceIndexesTwoToSix) {
  make_bus(1);
  listen();
  for (int index = 2; index <= 6; ++index) hw->SimulateRead(connection(index, kReceiverType, kMouse));
  hw->SimulateRead(connection(1, kReceiverType, kMouse));
  hw->wait_idle();
  EXPECT_EQ(plugs->summary(), std::vector<std::string>{"+receiver-1:0/4082"});
}

TEST_F(ReceiverTest, UnplugEventCarriesAFreshObjectWithThePathOfTheDeparted) {
  firmware->Pair(0, kKeyboard);
  make_bus();
  listen();
  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 1u);
  hw->SimulateRead({0x10, 0x01, 0x40, 0x02, 0, 0, 0});
  hw->wait_idle();
  const auto events = plugs->events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].device, found[0]);
  EXPECT_EQ(events[0].device->path(), found[0]->path());
  EXPECT_FALSE(events[0].device->connected());
  EXPECT_EQ(bus->device_in_slot(0), nullptr);
}

// Follows one paired device's connection and reads.
class DeviceWatch : public Subscriber<IHardwareDevice::Connect>, public Subscriber<IHardwareDevice::Read> {
 public:
  void onConnect(std::shared_ptr<IHardwareDevice>) override { ++connects; }
  void onDisconnect(std::shared_ptr<IHardwareDevice>) override { ++disconnects; }
  void onRead(Bytes report, bool relayed, unsigned, unsigned) override {
    std::lock_guard<std::mutex> lock(mutex);
    reads.push_back(report);
    all_relayed = all_relayed && relayed;
  }
  std::atomic<int> connects{0};
  std::atomic<int> disconnects{0};
  std::mutex mutex;
  std::vector<Bytes> reads;
  bool all_relayed = true;
};

TEST_F(ReceiverTest, DeviceWithItsLinkDownRefusesWritesUntilItConnectsOrSpeaks) {
  struct Case {
    const char* name;
    Bytes report;
    bool connects;
  };
  const Case cases[] = {
      {"connection with the link up", connection(1, kReceiverType, kKeyboard), true},
      {"any report of its own", {0x11, 0x01, 0x04, 0x1A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
      {"error answer", {0x10, 0x01, 0x8F, 0x00, 0x1A, 0x09, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh_receiver();
    firmware->Pair(0, kKeyboard, /*link_up=*/false);
    make_bus();
    listen();
    const auto found = bus->devices();
    ASSERT_EQ(found.size(), 1u);
    auto device = found[0];
    DeviceWatch watch;
    ASSERT_TRUE(static_cast<Subscriber<IHardwareDevice::Connect>&>(watch).subscribe(device, Direct));
    ASSERT_TRUE(static_cast<Subscriber<IHardwareDevice::Read>&>(watch).subscribe(device, Direct));
    const std::size_t writes = hw->written().size();

    clear_last_error();
    EXPECT_FALSE(device->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, true));
    EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
    EXPECT_EQ(hw->written().size(), writes) << "nothing sent";

    hw->SimulateRead(c.report);
    hw->wait_idle();
    EXPECT_EQ(device->connected(), c.connects);
    EXPECT_EQ(watch.connects.load(), c.connects ? 1 : 0);
    EXPECT_EQ(device->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, true), c.connects);
    // The answer to that write is relayed to the watch on the receiver's thread; it must have
    // arrived before the watch goes.
    hw->wait_idle();
  }
}

TEST_F(ReceiverTest, ReportsAndWriteOutcomesReachOnlyTheSlotTheyAddress) {
  firmware->Pair(0, kKeyboard);
  firmware->Pair(1, kMouse);
  make_bus();
  listen();
  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 2u);
  DeviceWatch first;
  DeviceWatch second;
  ASSERT_TRUE(static_cast<Subscriber<IHardwareDevice::Read>&>(first).subscribe(found[0], Direct));
  ASSERT_TRUE(static_cast<Subscriber<IHardwareDevice::Read>&>(second).subscribe(found[1], Direct));

  struct WriteLog : Subscriber<IHardwareDevice::Write> {
    void onWrite(Bytes report, ErrorCode, unsigned) override { reports.push_back(report); }
    std::vector<Bytes> reports;
  } written;
  ASSERT_TRUE(written.subscribe(found[1], Direct));

  const Bytes for_first{0x10, 0x01, 0x04, 0x1A, 0x05, 0, 0};
  const Bytes for_second{0x11, 0x02, 0x05, 0x00, 0x01, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  hw->SimulateRead(for_first);
  hw->SimulateRead(for_second);
  hw->SimulateRead({0x10, 0xFF, 0x81, 0x00, 0, 1, 0});
  hw->wait_idle();
  EXPECT_EQ(first.reads, std::vector<Bytes>{for_first});
  EXPECT_EQ(second.reads, std::vector<Bytes>{for_second});
  EXPECT_TRUE(first.all_relayed && second.all_relayed);

  ASSERT_TRUE(found[1]->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, false));
  ASSERT_TRUE(found[0]->write({0x10, 0xFF, 0x00, 0x1A, 0, 0, 0}, false));
  ASSERT_EQ(written.reports.size(), 1u) << "only the second slot's write outcome";
  EXPECT_EQ(written.reports[0][1], 0x02);
  const auto sent = hw->written();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2][1], 0x02) << "byte 1 carries the device index";
  EXPECT_EQ(sent.back()[1], 0x01);
  // Answers to those writes are relayed on the receiver's thread; the watches outlive them.
  hw->wait_idle();
}

}  // namespace
}  // namespace dovod::testing
