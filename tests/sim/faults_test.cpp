// Each kind of scripted fault, and the latency model, seen from the host's end of the wire.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "BootloaderHelpers.h"
#include "dovod/LastError.h"
#include "sim/SimHardwareDevice.h"

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

// Pings the root feature with `value` as the byte to echo.
Bytes ping(Byte value) { return request(0, 1, {0, 0, value}); }

sim::Fault on_ping(sim::FaultKind kind, int occurrence) {
  sim::Fault f;
  f.kind = kind;
  f.when.feature_id = sim::kRoot;
  f.when.functions = 1u << 1;
  f.when.occurrence = occurrence;
  return f;
}

sim::Scenario with(std::vector<sim::Fault> faults) {
  sim::Scenario s = *sim::find_scenario("normal");
  s.faults = std::move(faults);
  return s.scaled(0.01);
}

// Restarts the keyboard into its bootloader first.
void enter_bootloader(KeyboardLink& link) {
  const std::size_t before = link.connect_events().size();
  ASSERT_TRUE(link.write(enter_dfu_request()));
  ASSERT_TRUE(restarted(link, before));
  ASSERT_TRUE(link.keyboard().in_bootloader());
}

constexpr auto kNoReply = 150ms;

TEST(ReplyFaults, LostReplyIsCarriedOutButNeverArrives) {
  sim::Fault lose_write;
  lose_write.kind = sim::FaultKind::LoseReply;
  lose_write.when.feature_id = sim::kConfigChange;
  lose_write.when.functions = 1u << 1;
  KeyboardLink link(with({on_ping(sim::FaultKind::LoseReply, 1), lose_write}));

  EXPECT_FALSE(link.call(ping(1)).empty());
  EXPECT_TRUE(link.call(ping(2), kNoReply).empty());
  EXPECT_EQ(link.call(ping(3))[6], 3) << "only the chosen occurrence is lost";

  EXPECT_TRUE(link.call(request(4, 1, {0x12, 0x34}), kNoReply).empty());
  EXPECT_EQ(link.keyboard().cookie(), 0x1234) << "the request itself took effect";
}

TEST(ReplyFaults, AFaultCoversItsWindowOfMatchingRequestsOnly) {
  const struct {
    int occurrence;
    int count;
    std::vector<bool> answered;  // for pings 0 to 5
  } cases[] = {
      {0, 1, {false, true, true, true, true, true}},
      {1, 2, {true, false, false, true, true, true}},
      {4, -1, {true, true, true, true, false, false}},
  };
  for (const auto& c : cases) {
    sim::Fault lose = on_ping(sim::FaultKind::LoseReply, c.occurrence);
    lose.when.count = c.count;
    KeyboardLink link(with({lose}));
    for (std::size_t i = 0; i < c.answered.size(); ++i) {
      // A request of another function neither suffers the fault nor counts for it.
      ASSERT_FALSE(link.call(request(0, 0, {0x00, 0x03})).empty());
      EXPECT_EQ(!link.call(ping(static_cast<Byte>(i)), c.answered[i] ? kGuard : kNoReply).empty(), c.answered[i])
          << "occurrence " << c.occurrence << ", count " << c.count << ", ping " << i;
    }
  }
}

TEST(ReplyFaults, LateReplyArrivesAfterItsDelayBehindLaterReplies) {
  sim::Fault late = on_ping(sim::FaultKind::DelayReply, 0);
  late.duration_ms = 10000;  // 100 ms once scaled
  KeyboardLink link(with({late}));

  const auto start = Clock::now();
  ASSERT_TRUE(link.write(ping(1)));
  ASSERT_TRUE(link.write(ping(2)));
  const auto first = link.take([](const Bytes&) { return true; });
  const auto second = link.take([](const Bytes&) { return true; });
  ASSERT_TRUE(first && second);
  EXPECT_EQ((*first)[6], 2);
  EXPECT_EQ((*second)[6], 1);
  EXPECT_GE(Clock::now() - start, 100ms);
}

TEST(ReplyFaults, DuplicatedReplyArrivesTwice) {
  KeyboardLink link(with({on_ping(sim::FaultKind::DuplicateReply, 0)}));
  const Bytes reply = link.call(ping(7));
  const auto copy = link.take([&](const Bytes& r) { return answers(r, ping(7)); });
  ASSERT_TRUE(copy);
  EXPECT_EQ(*copy, reply);
}

TEST(ReplyFaults, CorruptedReplyHasTheChosenByteFlipped) {
  sim::Fault corrupt = on_ping(sim::FaultKind::CorruptReply, 0);
  corrupt.byte_index = 6;
  corrupt.xor_mask = 0x0F;
  KeyboardLink link(with({corrupt}));
  EXPECT_EQ(link.call(ping(0x50))[6], 0x5F);
  EXPECT_EQ(link.call(ping(0x50))[6], 0x50);
}

TEST(ForeignTraffic, AnotherProgramsReplyArrivesFirstWithItsSoftwareId) {
  for (Byte swid : {Byte{3}, Byte{1}}) {
    sim::Fault other;
    other.kind = sim::FaultKind::ForeignRequest;
    other.when.feature_id = sim::kFirmwareInfo;
    other.when.functions = 1u << 1;
    other.foreign = {0x10, 0xFF, 0x02, static_cast<Byte>(0x10 | swid), 0x01};  // entity 1
    KeyboardLink link(with({other}));

    ASSERT_TRUE(link.write(request(2, 1, {0})));
    const auto foreign = link.take([](const Bytes&) { return true; });
    const auto ours = link.take([](const Bytes&) { return true; });
    ASSERT_TRUE(foreign && ours) << int(swid);
    EXPECT_EQ((*foreign)[3], 0x10 | swid);
    EXPECT_EQ(std::string(foreign->begin() + 5, foreign->begin() + 8), "BOT");
    EXPECT_EQ((*ours)[3], 0x11);
    EXPECT_EQ(std::string(ours->begin() + 5, ours->begin() + 8), "QRX");
  }
}

TEST(ForeignTraffic, CatalogueScenarioAnswersAnotherProgramBesideEveryFirmwareRead) {
  KeyboardLink link(sim::find_scenario("foreign-traffic")->scaled(0.01));
  for (int i = 0; i < 2; ++i) {
    ASSERT_FALSE(link.call(request(2, 1, {0})).empty());
    const auto foreign = link.take([](const Bytes& r) { return (r[3] & 0x0F) == 3; });
    EXPECT_TRUE(foreign) << i;
  }
}

TEST(ForeignTraffic, InjectedRequestTakesEffectAndItsReplyReachesOurReader) {
  KeyboardLink link(with({}));
  link.keyboard().inject_foreign_request({0x10, 0xFF, 0x04, 0x1C, 0xAB, 0xCD});
  const auto reply = link.take([](const Bytes&) { return true; });
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[3], 0x1C);
  EXPECT_EQ(link.keyboard().cookie(), 0xABCD);
}

TEST(Outages, LinkAndPowerOutagesReportTheReconnectionAndKeepOrLoseTheState) {
  const struct {
    const char* label;
    sim::FaultKind kind;
    Bytes wireless_status;  // reconnect, configuration needed, power switch
    std::uint16_t cookie_after;
  } cases[] = {
      {"link", sim::FaultKind::Disconnect, {1, 0, 0}, 0x0042},
      {"power", sim::FaultKind::PowerLoss, {1, 1, 1}, 0},
  };
  for (const auto& c : cases) {
    sim::Fault outage = on_ping(c.kind, 0);
    outage.duration_ms = 5000;  // 50 ms once scaled
    KeyboardLink link(with({outage}));
    ASSERT_FALSE(link.call(request(4, 1, {0x00, 0x42})).empty()) << c.label;

    EXPECT_TRUE(link.call(ping(1), kNoReply).empty()) << c.label << ": the request went down with the link";
    ASSERT_TRUE(restarted(link, 0)) << c.label;
    EXPECT_TRUE(link.device()->connected()) << c.label;
    const auto status = link.take([](const Bytes& r) { return r[2] == 6 && (r[3] & 0x0F) == 0; });
    ASSERT_TRUE(status) << c.label;
    EXPECT_EQ(Bytes(status->begin() + 4, status->begin() + 7), c.wireless_status) << c.label;
    EXPECT_EQ(link.keyboard().cookie(), c.cookie_after) << c.label;
    EXPECT_EQ(link.call(ping(2))[6], 2) << c.label;
  }
}

TEST(Outages, WritesFailWhileTheKeyboardIsAway) {
  KeyboardLink link(with({}));
  link.keyboard().disconnect_for(200ms);
  EXPECT_FALSE(link.device()->connected());
  EXPECT_FALSE(link.write(ping(1)));
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::WriteFailed);
  EXPECT_EQ(dovod::last_error().system_error, sim::SimHardwareDevice::kNotConnectedSystemError);
  EXPECT_FALSE(link.device()->verify_connection_following_timeout());
  ASSERT_TRUE(restarted(link, 0));
  EXPECT_TRUE(link.write(ping(1)));
}

TEST(Outages, PowerLossMidTransferComesBackInTheBootloaderWithoutThePartialImage) {
  KeyboardLink link(sim::find_scenario("power-loss")->scaled(0.01));
  enter_bootloader(link);
  const TransferOutcome cut = send_image(link, kBootDfu, first_packets(), 100ms);
  EXPECT_EQ(cut.last_status, sim::kDfuNotStarted) << "the bootloader lost the image it was taking";
  EXPECT_GE(cut.resends, 1);
  EXPECT_TRUE(link.keyboard().in_bootloader());
  EXPECT_FALSE(link.keyboard().image_complete(0x02));
  EXPECT_EQ(link.keyboard().boots(), 3);
  EXPECT_EQ(send_image(link, kBootDfu, first_packets()).last_status, sim::kDfuFirstImageComplete);
}

// Polls until `done` holds; a guard against a hang only.
bool eventually(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + kGuard;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(Outages, PowerLossDuringARestartComesBackLaterInTheFirmwareThatRanBeforeIt) {
  // Restarts take 10 ms once scaled; the power is lost 5 ms into the chosen one for 50 ms.
  const struct {
    const char* label;
    bool receiver;
    bool leaves_bus;
    int restart;
    bool faults_spent;
    bool lost;
  } cases[] = {
      {"attached", false, false, 0, false, true},
      {"behind the receiver", true, false, 0, false, true},
      {"on a cable that leaves the bus", false, true, 0, false, true},
      {"another restart", false, false, 1, false, false},
      {"faults spent", false, false, 0, true, false},
  };
  for (const auto& c : cases) {
    sim::Scenario s = *sim::find_scenario("normal");
    if (c.receiver) s.receiver = sim::ReceiverSetup{};
    s.restart_leaves_bus = c.leaves_bus;
    s.restart_power_losses.push_back({c.restart, 500, 5000});
    KeyboardLink link(s.scaled(0.01));
    if (c.faults_spent) link.keyboard().end_faults();
    const Bytes enter = c.receiver ? [] {
      Bytes r = enter_dfu_request();
      r[1] = 1;
      return r;
    }() : enter_dfu_request();

    const auto start = Clock::now();
    ASSERT_TRUE(link.write(enter)) << c.label;
    ASSERT_TRUE(eventually([&] { return link.keyboard().boots() == 2 && link.keyboard().reachable(); })) << c.label;
    EXPECT_EQ(link.keyboard().in_bootloader(), !c.lost) << c.label;
    if (c.lost) {
      EXPECT_GE(Clock::now() - start, 55ms) << c.label << ": back only once the power is";
    }
  }
}

struct PlugLog : dovod::Subscriber<dovod::IHardwareBus::PlugUnplug> {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<bool, std::shared_ptr<dovod::IHardwareDevice>>> events;
  void onPlug(std::shared_ptr<dovod::IHardwareDevice> d) override { add(true, d); }
  void onUnplug(std::shared_ptr<dovod::IHardwareDevice> d) override { add(false, d); }
  void add(bool plugged, std::shared_ptr<dovod::IHardwareDevice> d) {
    std::lock_guard<std::mutex> lock(mutex);
    events.emplace_back(plugged, std::move(d));
    changed.notify_all();
  }
  bool wait(std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, kGuard, [&] { return events.size() >= n; });
  }
};

TEST(Outages, RemovedMidTransferLeavesTheBusAndReturnsOnANewDeviceInItsBootloader) {
  KeyboardLink link(sim::find_scenario("removed-mid-transfer")->scaled(0.01));
  PlugLog plugs;
  ASSERT_TRUE(plugs.subscribe(std::static_pointer_cast<dovod::IHardwareBus>(link.bus().shared_from_this()),
                              dovod::Direct));
  enter_bootloader(link);
  const auto old_device = link.device();

  const TransferOutcome cut = send_image(link, kBootDfu, first_packets(), 100ms);
  EXPECT_TRUE(cut.silent) << "the old device never answers again";
  ASSERT_TRUE(plugs.wait(2));
  {
    std::lock_guard<std::mutex> lock(plugs.mutex);
    ASSERT_EQ(plugs.events.size(), 2u);
    EXPECT_FALSE(plugs.events[0].first);
    EXPECT_EQ(plugs.events[0].second->path(), old_device->path());
    EXPECT_NE(plugs.events[0].second, old_device) << "an unplug carries a fresh object";
    EXPECT_TRUE(plugs.events[1].first);
    EXPECT_NE(plugs.events[1].second, old_device);
    EXPECT_EQ(plugs.events[1].second, link.bus().keyboard_device());
  }
  EXPECT_TRUE(old_device->removed());
  EXPECT_FALSE(old_device->write(ping(1), true));
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::DeviceRemoved);
  EXPECT_FALSE(old_device->open());

  link.listen();
  EXPECT_TRUE(link.keyboard().in_bootloader());
  EXPECT_EQ(send_image(link, kBootDfu, first_packets()).last_status, sim::kDfuFirstImageComplete);
  plugs.unsubscribe(std::static_pointer_cast<dovod::IHardwareBus>(link.bus().shared_from_this()));
}

TEST(BootloaderFaults, RejectedPacketEndsTheImageWithTheChosenStatusUntilItIsSentAgain) {
  KeyboardLink link(sim::find_scenario("bootloader-rejects")->scaled(0.01));
  enter_bootloader(link);
  const TransferOutcome refused = send_image(link, kBootDfu, first_packets());
  EXPECT_EQ(refused.last_status, sim::kDfuFlashError);
  EXPECT_EQ(refused.last_number, 101u);
  EXPECT_EQ(send_image(link, kBootDfu, first_packets()).last_status, sim::kDfuFirstImageComplete);
}

TEST(BootloaderFaults, LostRepliesScenarioStillDeliversBothImagesWhenPacketsAreSentAgain) {
  KeyboardLink link(sim::find_scenario("lost-replies")->scaled(0.01));
  enter_bootloader(link);
  const TransferOutcome first = send_image(link, kBootDfu, first_packets(), 200ms);
  EXPECT_EQ(first.last_status, sim::kDfuFirstImageComplete);
  EXPECT_GE(first.resends, 1);
  ASSERT_TRUE(restart_out_of_transfer(link));
  const TransferOutcome second = send_image(link, kBootDfu, second_packets(), 200ms);
  EXPECT_EQ(second.last_status, sim::kDfuTransferComplete);
  EXPECT_GE(second.resends, 1);
  ASSERT_TRUE(restart_out_of_transfer(link));
  EXPECT_EQ(link.keyboard().application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
}

TEST(Latency, EachReportTakesItsDirectionsDelayAndOrderIsKept) {
  sim::Scenario s = *sim::find_scenario("normal");
  s.timing = {20, 30, 40};
  KeyboardLink link(s);

  auto start = Clock::now();
  for (Byte i = 1; i <= 3; ++i) ASSERT_TRUE(link.write(ping(i)));
  for (Byte i = 1; i <= 3; ++i) {
    const auto reply = link.take([](const Bytes&) { return true; });
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[6], i);
  }
  EXPECT_GE(Clock::now() - start, 50ms);

  start = Clock::now();
  ASSERT_TRUE(link.write(enter_dfu_request()));
  ASSERT_TRUE(restarted(link, 0));
  EXPECT_GE(Clock::now() - start, 20ms + 30ms + 40ms) << "request, the drop after it, and the restart";
}

}  // namespace
}  // namespace simtest
