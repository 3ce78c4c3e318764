// The facade and the device manager's life: shutdown, reset, destruction with devices present, manual
// subscriptions and forwarded errors.
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ManagerFixture.h"
#include "dovod/MakerValues.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace dovod::testing {
namespace {

using DM = IDeviceManager;

TEST_F(ManagerTest, AfterShutdownNothingCreatesAManagerAndCallsFailWithCode72) {
  configure(DM::usb_active, true);
  bus->AddPresent("keyboard", kKeyboard);
  ASSERT_EQ(CDovod::instance().devices().size(), 1u);
  CDovod::instance().shutdown();

  clear_last_error();
  EXPECT_TRUE(CDovod::instance().devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::NotAvailable);
  EXPECT_EQ(CDovod::instance().swid(), 15);
  EXPECT_FALSE(CDovod::instance().is_active());
  bool value = true;
  EXPECT_FALSE(CDovod::instance().config_get(DM::usb_active, &value));
  EXPECT_FALSE(CDovod::instance().config_set(DM::usb_active, true));
  EXPECT_FALSE(CDovod::instance().makeDevice(bus->AddPresent("x", kKeyboard), 0, kKeyboard));
  EXPECT_FALSE(static_cast<std::shared_ptr<IDeviceManager>>(CDovod::instance()));
  EXPECT_FALSE(CDovod::instance().getimpl());
  // The non-creating operations have nothing to forward to.
  set_last_error(ErrorCode::NoResponse);
  CDovod::instance().report_unreported_error("nowhere");
  CDovod::instance().call_event_from_runloop();
  CDovod::instance().manual_unsubscribe(&arrivals);
  EXPECT_FALSE(CDovod::instance().getimpl());

  CDovod::instance().reset_for_testing();
  EXPECT_TRUE(CDovod::instance().getimpl());
}

TEST_F(ManagerTest, TheCleanUpGuardShutsTheLibraryDown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a child process, since the guard runs every routine of the process-wide list. _Exit keeps the
  // static destructors from deciding the exit code.
  EXPECT_EXIT(
      {
        ASSERT_TRUE(CDovod::instance().getimpl());
        { Vs2003SingletonThreadCleanup guard; }
        std::_Exit(CDovod::instance().getimpl() == nullptr && last_error().code == ErrorCode::NotAvailable ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(ManagerTest, ResetDiscardsQueuedEventsAndTheNextCallMakesAFreshManager) {
  configure(DM::usb_active, true);
  listen();
  const std::weak_ptr<DeviceManager> first = impl();
  bus->SimulatePlug("keyboard", kKeyboard);
  ASSERT_EQ(host.pending(), 1);

  CDovod::instance().reset();
  EXPECT_TRUE(first.expired()) << "nobody else held the manager";
  ASSERT_TRUE(host.attach());
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty());

  bool usb = true;
  EXPECT_TRUE(CDovod::instance().config_get(DM::usb_active, &usb));
  EXPECT_FALSE(usb) << "a fresh manager starts from the defaults";
}

TEST_F(ManagerTest, ResetWhileWorkerThreadsProduceIsSafe) {
  configure(DM::usb_active, true);
  listen();
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 2; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; !stop; ++i) {
        const std::string path = "dev" + std::to_string(t) + "-" + std::to_string(i % 8);
        bus->SimulatePlug(path, kKeyboard);
        bus->SimulateUnplug(path);
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(host.attach());
    CDovod::instance().devices();
    host.pump(100);
    CDovod::instance().reset();
  }
  stop = true;
  for (auto& w : workers) w.join();
}

class CountingDevice : public Device {
 public:
  using Device::Device;
  void shutdown() override { ++shutdowns; }
  void uninitDevice() override { ++uninits; }
  static inline std::atomic<int> shutdowns{0};
  static inline std::atomic<int> uninits{0};
};

TEST_F(ManagerTest, DestroyingTheManagerShutsDevicesDownWithoutAnnouncingRemovals) {
  configure(DM::tandem_active, true);
  prepare_receiver = [](FakeReceiver& receiver) { receiver.AddPresent("slot1", kKeyboard, 1); };
  bus->AddPresent("receiver", maker::kReceivers[0].pid);
  listen();
  ASSERT_EQ(CDovod::instance().devices().size(), 2u);
  const std::weak_ptr<FakeReceiver> receiver = receivers[0];
  receivers.clear();

  CDovod::instance().reset();
  EXPECT_TRUE(receiver.expired());
  ASSERT_TRUE(host.attach());
  host.pump();
  EXPECT_TRUE(arrivals.removed.empty());

  bus->SimulatePlug("after", kKeyboard);
  host.pump();
  EXPECT_TRUE(arrivals.arrived.empty()) << "the destroyed manager no longer listens to the bus";
}

TEST_F(ManagerTest, DestructionCallsShutdownOnEveryDevice) {
  configure(DM::tandem_active, true);
  prepare_receiver = [](FakeReceiver& receiver) { receiver.AddPresent("slot1", kKeyboard, 1); };
  bus->AddPresent("receiver", maker::kReceivers[0].pid);
  ASSERT_EQ(CDovod::instance().devices().size(), 2u);
  const auto receiver = receivers[0];
  CDovod::instance().reset();
  EXPECT_EQ(receiver->shutdowns, 1);
  EXPECT_EQ(receiver->uninits, 1) << "its bus was removed, so it was unplugged";
}

TEST_F(ManagerTest, ManualSubscriptionsNeedAManualUnsubscribe) {
  configure(DM::usb_active, true);
  ArrivalLog manual;
  ASSERT_TRUE(CDovod::instance().manual_subscribe(&manual, RunLoop));
  bus->SimulatePlug("one", kKeyboard);
  host.pump();
  EXPECT_EQ(manual.arrived.size(), 1u);

  CDovod::instance().manual_unsubscribe(&manual);
  bus->SimulatePlug("two", kKeyboard);
  host.pump();
  EXPECT_EQ(manual.arrived.size(), 1u);
}

TEST_F(ManagerTest, UnreportedErrorsCarryTheThreadsLastErrorAndACopyOfWhere) {
  ErrorLog log;
  ASSERT_TRUE(log.subscribe(manager(), RunLoop));
  clear_last_error();
  CDovod::instance().report_unreported_error("no error, no event");

  set_last_error(ErrorCode::WriteFailed, 0x1F, "write failed");
  {
    std::string where = "built at run time";
    CDovod::instance().report_unreported_error(where.c_str());
    where.assign(where.size(), 'x');
  }
  EXPECT_EQ(last_error().code, ErrorCode::WriteFailed) << "the record is not cleared";
  host.pump();
  ASSERT_EQ(log.errors.size(), 1u);
  EXPECT_EQ(log.errors[0].where, "built at run time");
  EXPECT_EQ(log.errors[0].code, ErrorCode::WriteFailed);
  EXPECT_EQ(log.errors[0].message, "write failed");
}

}  // namespace
}  // namespace dovod::testing
