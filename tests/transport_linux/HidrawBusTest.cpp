#include <signal.h>

#include <ostream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "HidDescriptors.h"
#include "HidrawFakes.h"
#include "ScriptedDeviceSource.h"
#include "Source/Linux/HidrawBus.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

using namespace test;
using namespace test_descriptors;

struct PlugEntry {
  bool plugged;
  std::shared_ptr<IHardwareDevice> device;
};

class PlugLog : public Recorder<PlugEntry>, public Subscriber<IHardwareBus::PlugUnplug> {
 public:
  void onPlug(std::shared_ptr<IHardwareDevice> device) override { add({true, std::move(device)}); }
  void onUnplug(std::shared_ptr<IHardwareDevice> device) override { add({false, std::move(device)}); }

  // "+path" for an arrival, "-path" for a removal, in the order produced.
  std::vector<std::string> story() {
    std::vector<std::string> out;
    for (const PlugEntry& e : entries()) out.push_back((e.plugged ? "+" : "-") + e.device->path());
    return out;
  }
};

constexpr const char* kReceiver = "/dev/hidraw1";
constexpr std::uint16_t kMaker = maker::kVendorId;

// A node whose HID device udev reports as the maker's first receiver.
HidrawNode receiver_node(std::string path, std::string parent = {}) {
  return {std::move(path), std::move(parent), kMaker, 0xC510};
}

class HidrawBusTest : public ::testing::Test {
 protected:
  // The monitor thread holds the bus while it delivers, so the bus may outlive this reference for
  // a moment; the subscribers below must not go before it.
  ~HidrawBusTest() override {
    std::weak_ptr<HidrawBus> watch = bus;
    bus.reset();
    EXPECT_TRUE(gone(watch));
  }

  void SetUp() override {
    ::signal(SIGPIPE, SIG_IGN);  // the fake's socket pairs stand in for nodes that never raise it
    system->descriptor = maker_receiver_descriptor();
    source->present = {receiver_node(kReceiver, "/sys/devices/usb1/1-1")};
  }

  // Every event the monitor thread produces comes in order; an arrival queued after the events
  // under test shows, once it is announced, that nothing else is still on its way.
  void fence(std::size_t events_before) {
    source->plug(receiver_node("/dev/hidraw99"));
    ASSERT_TRUE(plugs.wait_for(events_before + 1));
    ASSERT_EQ(plugs.story().back(), "+/dev/hidraw99");
  }

  std::shared_ptr<ScriptedDeviceSource> source = std::make_shared<ScriptedDeviceSource>();
  std::shared_ptr<FakeHidrawSystem> system = std::make_shared<FakeHidrawSystem>();
  PlugLog plugs;
  PlugLog other_plugs;
  std::shared_ptr<HidrawBus> bus = std::make_shared<HidrawBus>(source, system, std::chrono::milliseconds(50));
};

TEST_F(HidrawBusTest, DevicesListsTheMakersNodesOnlyAndClosesThemAgain) {
  const std::uint16_t keyboard = maker::kKeyboardPid;
  source->present = {{"/dev/hidraw0", {}, 0x1234, 0x0001}, receiver_node(kReceiver), {"/dev/hidraw2", {}, kMaker, keyboard}};
  system->nodes["/dev/hidraw0"] = {{3, 0x1234, 0x0001}, boot_mouse()};
  system->nodes["/dev/hidraw2"] = {{3, kMaker, keyboard}, boot_mouse()};  // not the maker's protocol
  set_last_error(ErrorCode::DeviceRemoved);

  const auto found = bus->devices();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->path(), kReceiver);
  EXPECT_EQ(found[0]->pid(), 0xC510u);
  EXPECT_EQ(found[0]->bus(), bus);
  EXPECT_EQ(last_error().code, ErrorCode::None);

  const int opens = system->opens;
  ASSERT_TRUE(found[0]->open());  // it was closed after the check, so this opens the node again
  EXPECT_EQ(system->opens, opens + 1);
}

struct ForeignNode {
  const char* name;
  std::uint16_t vendor_id;  // as udev reports the node's HID device
  std::uint16_t product_id;
};

void PrintTo(const ForeignNode& n, std::ostream* os) { *os << n.name; }

class HidrawBusForeignNode : public HidrawBusTest, public ::testing::WithParamInterface<ForeignNode> {};

// Opening a node read-write already reaches its device (a security key, a keyboard), so the ids
// udev reports must turn a foreign node away before any open, even one whose kernel answers would
// pass for the maker's receiver.
TEST_P(HidrawBusForeignNode, IsNeitherListedNorAnnouncedNorEverOpened) {
  const ForeignNode& foreign = GetParam();
  const HidrawNode node{"/dev/hidraw5", {}, foreign.vendor_id, foreign.product_id};
  source->present = {node};
  EXPECT_TRUE(bus->devices().empty());

  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  source->plug({"/dev/hidraw6", {}, foreign.vendor_id, foreign.product_id});
  fence(0);
  EXPECT_EQ(plugs.story(), (std::vector<std::string>{"+/dev/hidraw99"}));
  EXPECT_EQ(system->opened, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Ids, HidrawBusForeignNode,
    ::testing::Values(ForeignNode{"OtherVendor", 0x1234, 0x0001},
                      ForeignNode{"OtherVendorWithTheKeyboardsProductId", 0x1234, maker::kKeyboardPid},
                      ForeignNode{"MakerProductUnknownToTheLibrary", kMaker, 0xB3F9},
                      ForeignNode{"ReceiverRangeButNotInTheTable", kMaker, maker::kReceiverPidLast},
                      ForeignNode{"IdsUdevDidNotReport", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidrawBusTest, EveryProductTheLibraryKnowsIsOpenedForItsCheck) {
  std::vector<unsigned> products{maker::kKeyboardPid, maker::kLongReportOnlyPid};
  for (const auto& receiver : maker::kReceivers) products.push_back(receiver.pid);
  std::vector<std::string> paths;
  source->present.clear();
  for (unsigned pid : products) {
    paths.push_back("/dev/hidraw" + std::to_string(paths.size() + 10));
    source->present.push_back({paths.back(), {}, kMaker, static_cast<std::uint16_t>(pid)});
  }
  bus->devices();
  EXPECT_EQ(system->opened, paths);
}

TEST_F(HidrawBusTest, NoNodesIsNotAFailureButAnUnlistableBusIs) {
  source->present.clear();
  set_last_error(ErrorCode::DeviceRemoved);
  EXPECT_TRUE(bus->devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::None);

  source->enumerate_errno = EACCES;
  EXPECT_TRUE(bus->devices().empty());
  EXPECT_EQ(to_int(last_error().code), 42);
  EXPECT_EQ(last_error().system_error, static_cast<unsigned long>(EACCES));
}

TEST_F(HidrawBusTest, TheMonitorStartsOnceAndAnnouncesArrivalsAndOneRemovalEach) {
  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  ASSERT_TRUE(other_plugs.subscribe(bus, Direct));
  bus->devices();
  EXPECT_EQ(source->monitors_started, 1);

  source->plug(receiver_node("/dev/hidraw4"));
  ASSERT_TRUE(plugs.wait_for(1));
  source->unplug("/dev/hidraw4");
  source->unplug("/dev/hidraw4");
  source->unplug("/dev/hidraw7");  // never announced
  fence(2);
  EXPECT_EQ(plugs.story(), (std::vector<std::string>{"+/dev/hidraw4", "-/dev/hidraw4", "+/dev/hidraw99"}));

  // An arrival is announced unopened; a removal carries a fresh object naming the path.
  const auto entries = plugs.entries();
  EXPECT_NE(entries[0].device, entries[1].device);
  EXPECT_EQ(system->opens, 1);  // the one check of /dev/hidraw1 by devices()
}

class HidrawBusRemoval : public HidrawBusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HidrawBusRemoval, IsAnnouncedOnceWhetherTheReadThreadOrUdevFindsItFirst) {
  const bool read_thread_first = GetParam();
  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  ReadLog reads;
  auto device = bus->devices().at(0);
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  if (read_thread_first) {
    system->unplug();
    ASSERT_TRUE(plugs.wait_for(1));
    source->unplug(kReceiver);
    fence(1);
  } else {
    source->unplug(kReceiver);
    ASSERT_TRUE(plugs.wait_for(1));
    system->unplug();
    ASSERT_TRUE(reads.wait_for(1));  // produced after the device told the bus
    fence(1);
  }
  EXPECT_EQ(plugs.story(), (std::vector<std::string>{std::string("-") + kReceiver, "+/dev/hidraw99"}));
}

INSTANTIATE_TEST_SUITE_P(Order, HidrawBusRemoval, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ReadThreadFirst" : "UdevFirst"; });

TEST_F(HidrawBusTest, ALateRemovalFromAReusedPathLeavesTheNewDeviceAlone) {
  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  ReadLog reads;
  auto old_device = bus->devices().at(0);
  ASSERT_TRUE(reads.subscribe(old_device, Direct));
  ASSERT_TRUE(old_device->open());

  // udev reports the removal and a new device at the same node before the old read thread notices.
  source->unplug(kReceiver);
  source->plug(receiver_node(kReceiver));
  ASSERT_TRUE(plugs.wait_for(2));
  system->unplug();  // the old device's node: its read thread now finds it gone
  ASSERT_TRUE(reads.wait_for(1));
  fence(2);
  source->unplug(kReceiver);  // the new device's own removal is still announced
  ASSERT_TRUE(plugs.wait_for(4));
  const std::string receiver = kReceiver;
  EXPECT_EQ(plugs.story(),
            (std::vector<std::string>{"-" + receiver, "+" + receiver, "+/dev/hidraw99", "-" + receiver}));
}

TEST_F(HidrawBusTest, VerifyDeviceExistsAnnouncesAVanishedNodeOnce) {
  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  auto device = bus->devices().at(0);
  EXPECT_TRUE(device->verify_connection_following_timeout());
  EXPECT_TRUE(plugs.entries().empty());

  source->vanish(kReceiver);
  EXPECT_FALSE(device->verify_connection_following_timeout());
  EXPECT_FALSE(bus->verify_device_exists(kReceiver));
  EXPECT_EQ(plugs.story(), (std::vector<std::string>{std::string("-") + kReceiver}));

  // A listing that fails proves nothing, so the device is kept.
  source->enumerate_errno = EIO;
  EXPECT_TRUE(bus->verify_device_exists("/dev/hidraw5"));
}

TEST_F(HidrawBusTest, DestroyingTheBusWithAnEventQueuedStopsTheMonitor) {
  ASSERT_TRUE(plugs.subscribe(bus, Direct));
  for (int i = 0; i < 20; ++i) source->plug(receiver_node("/dev/hidraw" + std::to_string(10 + i)));
  std::weak_ptr<HidrawBus> watch = bus;
  bus.reset();
  EXPECT_TRUE(gone(watch));
  EXPECT_LE(plugs.entries().size(), 20u);
}

}  // namespace
}  // namespace dovod
