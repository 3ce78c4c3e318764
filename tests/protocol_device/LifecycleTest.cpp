#include "DeviceFixture.h"
#include "dovod/IFeature0020ConfigChange.h"
#include "protocol/Feature.h"

namespace dovod::testing {
namespace {

using LifecycleTest = DeviceTest;

// A loaded device whose settings this library configured through feature 0x0020.
struct Configured {
  std::shared_ptr<KeyboardFirmware> keyboard;
  std::shared_ptr<FakeHardwareDevice> hw;
  std::shared_ptr<Device> device;
  std::shared_ptr<IFeature> feature;
};

class ConfiguredTest : public DeviceTest {
 protected:
  Configured configure() {
    auto keyboard = std::make_shared<KeyboardFirmware>();
    auto hw = carrying(keyboard);
    auto device = make_loaded(hw);
    auto feature = device->feature_by_id(0x0020);
    EXPECT_TRUE(feature);
    EXPECT_TRUE(connect_log.subscribe(device, RunLoop));
    EXPECT_TRUE(config_log.subscribe(device, RunLoop));
    EXPECT_TRUE(std::dynamic_pointer_cast<Feature>(feature)->set_configured());
    EXPECT_TRUE(device->configured());
    EXPECT_NE(keyboard->cookie, 0);
    host.pump();
    config_log.changes = 0;
    return {keyboard, hw, device, feature};
  }
  ConnectLog connect_log;
  ConfigLog config_log;
};

TEST_F(LifecycleTest, HardwareConnectionIsAnnouncedAfterTheFirmwareCheck) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  EXPECT_TRUE(device->connected());

  hw->SimulateDisconnect();
  EXPECT_TRUE(host.pump_until([&] { return log.disconnects == 1; }));
  EXPECT_FALSE(device->connected());
  const int fw_reads = count_writes(*hw, 2, 1);
  hw->SimulateConnect();
  EXPECT_TRUE(host.pump_until([&] { return log.connects.size() == 1; }));
  EXPECT_EQ(log.connects[0], false) << "nothing was configured";
  EXPECT_GT(count_writes(*hw, 2, 1), fw_reads) << "the firmware identity was read again";
  EXPECT_TRUE(device->connected());
}

TEST_F(LifecycleTest, ConnectSoonAfterTheLastReportIsDeferredThroughTheFirmwareCheckTimer) {
  auto hw = carrying();
  DeviceTuning tuning = device_tuning();
  tuning.reconnect_window_ms = 300;
  tuning.fw_check_delay_ms = 350;
  set_device_tuning(tuning);
  auto device = make_loaded(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  const auto start = std::chrono::steady_clock::now();
  hw->SimulateConnect();  // a connect of an already connected device, right after traffic
  host.pump();
  EXPECT_TRUE(log.connects.empty());
  EXPECT_TRUE(host.pump_until([&] { return log.connects.size() == 1; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(device_tuning().fw_check_delay_ms));
}

TEST_F(LifecycleTest, InactiveLibraryIgnoresTheConnectOfAnUnconfiguredDevice) {
  auto hw = carrying();
  auto device = make(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  manager->set_active(false);
  host.pump();
  hw->SimulateDisconnect();
  hw->SimulateConnect();
  host.pump();
  EXPECT_TRUE(log.connects.empty());
  EXPECT_TRUE(hw->written().empty());
}

TEST_F(ConfiguredTest, ReconnectTellsWhetherTheDeviceKeptOurSettings) {
  struct Case {
    const char* name;
    std::function<void(Configured&)> meanwhile;
    bool retained;
  };
  const Case cases[] = {
      {"cookie unchanged", [](Configured&) {}, true},
      {"another program wrote its cookie", [](Configured& c) { c.keyboard->cookie = 0x4242; }, false},
      {"the device was reset", [](Configured& c) { c.keyboard->cookie = 0; }, false},
      {"a failed command cleared our cookie",
       [](Configured& c) {
         c.keyboard->set_hook([](const Bytes& r) -> std::optional<std::vector<Bytes>> {
           if (r[2] == 4) return std::vector<Bytes>{vxp20_error(r, 2)};
           return std::nullopt;
         });
         Bytes reply;
         EXPECT_FALSE(c.device->sendSynchronousCommand(DeviceTest::request(4, 1), reply, 0, {}));
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connect_log.reset();
    Configured configured = configure();
    c.meanwhile(configured);
    configured.hw->SimulateDisconnect();
    configured.hw->SimulateConnect();
    EXPECT_TRUE(host.pump_until([&] { return connect_log.connects.size() == 1; }));
    EXPECT_EQ(connect_log.connects[0], c.retained);
    if (c.retained) {
      EXPECT_EQ(config_log.changes, 0);
      EXPECT_TRUE(configured.feature->configured());
    } else {
      EXPECT_TRUE(host.pump_until([&] { return config_log.changes == 1; }));
      EXPECT_FALSE(configured.device->configured());
      EXPECT_FALSE(configured.feature->configured()) << "the feature was told about the lost configuration";
    }
    config_log.changes = 0;
  }
}

TEST_F(ConfiguredTest, GoingInactiveDisconnectsAndLaterReleasesTheCookieUnlessItChanged) {
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "cookie changed meanwhile" : "cookie still ours");
    connect_log.reset();
    Configured c = configure();
    if (changed) c.keyboard->cookie = 0x4242;
    const int cookie_reads = count_writes(*c.hw, 3, 0);
    manager->set_active(false);
    EXPECT_TRUE(host.pump_until([&] { return connect_log.disconnects >= 1; }));
    EXPECT_TRUE(host.pump_until([&] { return count_writes(*c.hw, 3, 0) > cookie_reads; }));
    host.pump_until([&] { return config_log.changes > 0; }, std::chrono::milliseconds(200));
    if (changed) {
      EXPECT_EQ(c.keyboard->cookie, 0x4242);
      EXPECT_EQ(config_log.changes, 0);
    } else {
      EXPECT_EQ(c.keyboard->cookie, 0);
      EXPECT_EQ(config_log.changes, 1);
      EXPECT_FALSE(c.device->configured());
    }
    manager->set_active(true);
    host.pump();
    config_log.changes = 0;
  }
}

TEST_F(LifecycleTest, NewCookieSkipsTheForeignCookieFoundOnTheDevice) {
  struct Case {
    int rand;
    std::uint16_t expected;
  };
  // random(1, 0xFFFE) = 1 + rand mod 0xFFFE; values from the foreign cookie up are raised by one.
  for (const Case& c : {Case{0x1231, 0x1232}, Case{0x1232, 0x1233}, Case{0x1233, 0x1235}, Case{0x1240, 0x1242}}) {
    SCOPED_TRACE(c.rand);
    set_device_rand([r = c.rand] { return r; });
    auto keyboard = std::make_shared<KeyboardFirmware>();
    auto hw = carrying(keyboard);
    keyboard->cookie = 0x1234;
    auto device = make_loaded(hw);
    auto feature = device->feature_by_id(0x0020);
    ASSERT_TRUE(feature);
    ASSERT_TRUE(device->set_configured(feature));
    EXPECT_EQ(keyboard->cookie, c.expected);
    // A write sent again after a reply came late (a loaded machine) is the same write.
    std::vector<std::uint16_t> written;
    for (const Bytes& w : hw->written()) {
      if (w[2] != 3 || (w[3] >> 4) != 1) continue;
      const auto value = static_cast<std::uint16_t>(w[4] << 8 | w[5]);
      if (written.empty() || written.back() != value) written.push_back(value);
    }
    EXPECT_EQ(written, (std::vector<std::uint16_t>{0, c.expected})) << "reset to 0 first";
  }
}

TEST_F(ConfiguredTest, ShutdownReleasesTheCookie) {
  Configured c = configure();
  c.device->shutdown();
  EXPECT_EQ(c.keyboard->cookie, 0);
}

}  // namespace
}  // namespace dovod::testing

namespace dovod::testing {
namespace {

TEST_F(LifecycleTest, WirelessStatusAskingForConfigurationChecksTheCookie) {
  struct Case {
    const char* name;
    Byte config_needed;
    bool cookie_changed;
    bool reported;
  };
  for (const Case& c : {Case{"no configuration needed", 0, true, false}, Case{"cookie still ours", 1, false, false},
                        Case{"cookie lost", 1, true, true}}) {
    SCOPED_TRACE(c.name);
    auto keyboard = std::make_shared<KeyboardFirmware>(std::vector<int>{0x0000, 0x0001, 0x0003, 0x0020, 0x1D4B});
    auto hw = carrying(keyboard, 1);
    auto device = make_loaded(hw);
    ConnectLog log;
    ASSERT_TRUE(log.subscribe(device, RunLoop));
    auto feature = std::dynamic_pointer_cast<Feature>(device->feature_by_id(0x0020));
    ASSERT_TRUE(feature);
    ASSERT_TRUE(feature->set_configured());
    hw->SimulateDisconnect();
    hw->SimulateConnect();
    ASSERT_TRUE(host.pump_until([&] { return log.connects.size() == 1; }));
    ASSERT_EQ(log.connects[0], true);
    if (c.cookie_changed) keyboard->cookie = 0x4242;

    const int cookie_reads = count_writes(*hw, 3, 0);
    const int disconnects = log.disconnects;
    hw->SimulateRead({0x11, 0xFF, 0x04, 0x00, 1, c.config_needed, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    hw->wait_idle();
    host.pump_until([&] { return log.connects.size() == 2; }, std::chrono::milliseconds(100));
    EXPECT_EQ(count_writes(*hw, 3, 0) > cookie_reads, c.config_needed == 1);
    if (c.reported) {
      EXPECT_EQ(log.disconnects, disconnects + 1);
      ASSERT_EQ(log.connects.size(), 2u);
      EXPECT_FALSE(log.connects[1]) << "settings lost";
    } else {
      EXPECT_EQ(log.connects.size(), 1u);
    }
  }
}

}  // namespace
}  // namespace dovod::testing

namespace dovod::testing {
namespace {

// A feature with a change to write at reconnection; records whether the device marked it meanwhile.
class PendingFeature : public Feature {
 public:
  PendingFeature(std::weak_ptr<IDevice> device, bool succeeds) : Feature(0x4521, 4, std::move(device)), succeeds(succeeds) {}
  bool process_pending_changes(bool) override {
    ++calls;
    marked_while_writing = processing_pending();
    return succeeds;
  }
  const bool succeeds;
  int calls = 0;
  bool marked_while_writing = false;
};

TEST_F(ConfiguredTest, PendingChangesAreWrittenAtReconnectionBeforeTheCookie) {
  for (const bool succeeds : {true, false}) {
    SCOPED_TRACE(succeeds ? "change written" : "change failed");
    connect_log.reset();
    Configured c = configure();
    auto pending = std::make_shared<PendingFeature>(c.device, succeeds);
    ASSERT_TRUE(pending->set_pending());
    EXPECT_TRUE(c.device->has_pending_changes());
    const int cookie_writes = count_writes(*c.hw, 3, 1);
    c.hw->SimulateDisconnect();
    c.hw->SimulateConnect();
    ASSERT_TRUE(host.pump_until([&] { return connect_log.connects.size() == 1; }));
    EXPECT_EQ(pending->calls, 1);
    EXPECT_TRUE(pending->marked_while_writing);
    EXPECT_FALSE(c.device->has_pending_changes());
    EXPECT_EQ(pending->pending(), !succeeds);
    EXPECT_EQ(count_writes(*c.hw, 3, 1) > cookie_writes, succeeds) << "the cookie marks the configuration complete";
    EXPECT_EQ(connect_log.connects[0], succeeds);
  }
}

}  // namespace
}  // namespace dovod::testing
