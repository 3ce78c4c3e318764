#include <atomic>
#include <thread>

#include "DeviceFixture.h"

namespace dovod::testing {
namespace {

constexpr Byte kIndex = 4;  // an index beyond the table's features: acknowledged with an empty reply

bool is_ping(const Bytes& w) { return w.size() == 7 && w[2] == 0 && (w[3] >> 4) == 1 && w[4] == 0 && w[5] == 0 && w[6] != 0; }
bool is_command(const Bytes& w) { return w.size() > 3 && w[2] == kIndex; }

using CommandEngineTest = DeviceTest;

TEST_F(CommandEngineTest, ReplyCompletesTheCommandSentUnderTheDeviceSwid) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  Bytes sent = request(kIndex, 2, {1, 2, 3});
  sent[3] = 0x20;  // no software id: the engine puts its own in
  Bytes reply;
  ASSERT_TRUE(device->sendSynchronousCommand(sent, reply, 0, {}));
  EXPECT_EQ(hw->written().back()[3], 0x2B);
  ASSERT_EQ(reply.size(), 20u);
  EXPECT_EQ(reply[2], kIndex);
  EXPECT_EQ(reply[3], 0x2B);
}

struct ErrorCase {
  const char* name;
  bool vxp10;
  Byte error_byte;
  int code;
  bool soft;
};

TEST_F(CommandEngineTest, ErrorRepliesMapToCodesAndOnlySoftOnesAreRetriedAfterAPing) {
  const ErrorCase cases[] = {
      {"Vexa 2.0 byte 2", false, 2, 46, false}, {"Vexa 2.0 byte 8", false, 8, 52, true},
      {"Vexa 2.0 byte 9", false, 9, 53, false}, {"Vexa 2.0 other", false, 0x0C, 54, false},
      {"Vexa 1.0 byte 1", true, 1, 9, false},   {"Vexa 1.0 byte 7", true, 7, 15, true},
      {"Vexa 1.0 byte 9", true, 9, 17, true},   {"Vexa 1.0 byte 12", true, 12, 20, false},
      {"Vexa 1.0 other", true, 0x20, 21, false},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto keyboard = std::make_shared<KeyboardFirmware>();
    auto hw = carrying(keyboard);
    auto device = make_loaded(hw);
    std::atomic<int> commands{0};
    keyboard->set_hook([&](const Bytes& r) -> std::optional<std::vector<Bytes>> {
      if (!is_command(r) || commands++ > 0) return std::nullopt;
      return std::vector<Bytes>{c.vxp10 ? vxp10_error(r, c.error_byte) : vxp20_error(r, c.error_byte)};
    });
    const std::size_t before = hw->written().size();
    Bytes reply{0xAA};
    const bool ok = device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {});
    const std::vector<Bytes> all = hw->written();
    const std::vector<Bytes> writes(all.begin() + static_cast<long>(before), all.end());
    if (c.soft) {
      EXPECT_TRUE(ok);
      ASSERT_EQ(writes.size(), 3u);
      EXPECT_TRUE(is_ping(writes[1]));
      EXPECT_TRUE(is_command(writes[2]));
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(to_int(last_error().code), c.code);
      EXPECT_EQ(last_error().system_error, c.error_byte);
      EXPECT_EQ(writes.size(), 1u);
      EXPECT_EQ(reply, Bytes{0xAA}) << "an error reply never fills the caller's buffer";
    }
  }
}

TEST_F(CommandEngineTest, LostReplyIsRetriedAfterAPingWhoseEchoMustMatch) {
  set_device_rand([] { return 100; });
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard);
  auto device = make_loaded(hw);
  std::atomic<int> commands{0};
  std::atomic<int> pings{0};
  keyboard->set_hook([&](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    if (is_command(r) && commands++ == 0) return std::vector<Bytes>{};
    if (is_ping(r) && pings++ == 0) {
      Bytes wrong = keyboard->answer(r);
      wrong[6] ^= 0x01;
      return std::vector<Bytes>{wrong};  // the ping must not complete on this one
    }
    return std::nullopt;
  });
  const std::size_t before = hw->written().size();
  Bytes reply;
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  const std::vector<Bytes> all = hw->written();
  const std::vector<Bytes> writes(all.begin() + static_cast<long>(before), all.end());
  ASSERT_GE(writes.size(), 4u);
  EXPECT_TRUE(is_command(writes.front()));
  EXPECT_TRUE(is_ping(writes[1]));
  EXPECT_EQ(writes[1][6], 16 + 100 % 240) << "ping byte is random(16, 255)";
  EXPECT_TRUE(is_ping(writes[2])) << "the first ping timed out";
  EXPECT_TRUE(is_command(writes.back()));
}

TEST_F(CommandEngineTest, SilentWiredDeviceRunsElevenAttemptsThenNoResponse) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard);
  auto device = make_loaded(hw);
  const int pings_before = count_writes(*hw, 0, 1);
  keyboard->set_hook([](const Bytes&) { return std::optional<std::vector<Bytes>>(std::vector<Bytes>{}); });
  Bytes reply;
  EXPECT_FALSE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
  EXPECT_EQ(count_writes(*hw, kIndex, 1), 1);
  EXPECT_EQ(count_writes(*hw, 0, 1) - pings_before, 10) << "attempts 1 to 10 each ping first";
}

TEST_F(CommandEngineTest, SilentWirelessDeviceIsQuarantinedUntilItReconnects) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard, 1);
  auto device = make_loaded(hw);
  ConnectLog log;
  ASSERT_TRUE(log.subscribe(device, RunLoop));
  std::atomic<bool> silent{true};
  keyboard->set_hook([&](const Bytes&) -> std::optional<std::vector<Bytes>> {
    if (silent) return std::vector<Bytes>{};
    return std::nullopt;
  });
  const int pings_before = count_writes(*hw, 0, 1);
  Bytes reply;
  EXPECT_FALSE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
  EXPECT_EQ(count_writes(*hw, 0, 1) - pings_before, 4) << "quarantined on the sixth attempt";
  EXPECT_TRUE(host.pump_until([&] { return log.disconnects == 1; }));

  const std::size_t writes = hw->written().size();
  EXPECT_FALSE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
  EXPECT_EQ(hw->written().size(), writes) << "a quarantined device sends nothing";

  silent = false;
  hw->SimulateConnect();
  EXPECT_TRUE(host.pump_until([&] { return log.connects.size() == 1; }));
  EXPECT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
}

TEST_F(CommandEngineTest, AbandonEndsAWaitingCommandAndEveryLaterOne) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard);
  auto device = make_loaded(hw);
  hw->timeout_ms = 2000;
  std::atomic<bool> written{false};
  keyboard->set_hook([&](const Bytes&) {
    written = true;
    return std::optional<std::vector<Bytes>>(std::vector<Bytes>{});
  });
  std::atomic<int> code{-1};
  std::thread caller([&] {
    Bytes reply;
    const bool ok = device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {});
    code = ok ? 0 : to_int(last_error().code);
  });
  while (!written) std::this_thread::yield();
  device->abandon();
  caller.join();
  EXPECT_EQ(code, to_int(ErrorCode::Abandoned));

  const std::size_t writes = hw->written().size();
  Bytes reply;
  EXPECT_FALSE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::Abandoned);
  EXPECT_FALSE(device->sendCommand(request(kIndex, 1), false));
  EXPECT_EQ(hw->written().size(), writes);
}

TEST_F(CommandEngineTest, ConstantRepliesComeFromTheCacheWithTheCurrentSwid) {
  struct Case {
    const char* name;
    int cache_mode;
    Byte index;
    int writes;
  };
  for (const Case& c : {Case{"cacheable", 1, kIndex, 1}, Case{"not cacheable", 0, kIndex, 2},
                        Case{"index from 0x80 up", 1, 0x80, 2}}) {
    SCOPED_TRACE(c.name);
    auto hw = carrying();
    auto device = make_loaded(hw);
    const std::size_t before = hw->written().size();
    Bytes first;
    Bytes second;
    ASSERT_TRUE(device->sendSynchronousCommand(request(c.index, 3, {7}), first, c.cache_mode, {}));
    ASSERT_TRUE(device->sendSynchronousCommand(request(c.index, 3, {7}), second, c.cache_mode, {}));
    EXPECT_EQ(static_cast<int>(hw->written().size() - before), c.writes);
    EXPECT_EQ(second, first);
    EXPECT_EQ(second[3] & 0x0F, device->swid());
  }
}

TEST_F(CommandEngineTest, AnotherProgramUsingOurSwidMovesUsToTheLeastRecentlySeenId) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  auto foreign = [&](int swid) {
    hw->SimulateRead(reply_to(Bytes{0x10, 0xFF, kIndex, static_cast<Byte>(0x20 | swid)}, {}));
    hw->wait_idle();
  };
  auto last_swids = [&] {
    const std::vector<Bytes> writes = hw->written();
    return std::make_pair(writes[writes.size() - 2][3] & 0x0F, writes.back()[3] & 0x0F);
  };
  Bytes reply;
  foreign(kSwid);
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_swids(), std::make_pair(0xF, 0xF)) << "ping and command under the highest unseen id";
  EXPECT_EQ(reply[3] & 0x0F, 0xF);

  foreign(0xD);  // seen, but not ours: no switch
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(hw->written().back()[3] & 0x0F, 0xF);

  foreign(0xF);
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_swids(), std::make_pair(0xE, 0xE));
  foreign(0xE);
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  EXPECT_EQ(last_swids(), std::make_pair(0xC, 0xC)) << "0xD was seen, so the next unseen id below it";
}

TEST_F(CommandEngineTest, AttemptWithASwitchStillDueFailsWithSwidCollision) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  WriteLog writes;
  ASSERT_TRUE(writes.subscribe(device, Direct));
  hw->SimulateRead(reply_to(Bytes{0x10, 0xFF, kIndex, 0x20 | kSwid}, {}));
  hw->wait_idle();
  Bytes reply;
  EXPECT_FALSE(device->sendSynchronousCommandWithoutRetry(request(kIndex, 1), reply, {}, true));
  EXPECT_EQ(last_error().code, ErrorCode::SwidCollision);
  const auto failures = writes.snapshot();
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures.back(), std::make_pair(ErrorCode::SwidCollision, static_cast<unsigned>(kSwid)));
}

TEST_F(CommandEngineTest, LateReplyToThePreviousCommandTurnsOnTheBrbWorkaround) {
  auto keyboard = std::make_shared<KeyboardFirmware>();
  auto hw = carrying(keyboard, 1);
  auto device = make_loaded(hw);
  std::atomic<int> step{0};
  Bytes lost;
  keyboard->set_hook([&](const Bytes& r) -> std::optional<std::vector<Bytes>> {
    if (step == 0 && is_command(r)) {
      lost = r;
      ++step;
      return std::vector<Bytes>{};
    }
    if (step == 1 && is_ping(r)) {
      ++step;
      return std::vector<Bytes>{keyboard->answer(lost)};  // the stale reply, and the ping goes unanswered
    }
    return std::nullopt;
  });
  Bytes reply;
  ASSERT_TRUE(device->sendSynchronousCommand(request(kIndex, 1), reply, 0, {}));
  const std::vector<Bytes> writes = hw->written();
  const Bytes flush{0, 0, 0, static_cast<Byte>(0x10 | kSwid), 0, 0, 0};
  EXPECT_NE(std::find(writes.begin(), writes.end(), flush), writes.end())
      << "the workaround sends a protocol request to flush the stale reply";
}

TEST_F(CommandEngineTest, SendCommandRefusesARemovedDevice) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  device->uninitDevice();
  EXPECT_TRUE(device->is_removed());
  const std::size_t writes = hw->written().size();
  EXPECT_FALSE(device->sendCommand(request(kIndex, 1), true));
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(hw->written().size(), writes);
}

}  // namespace
}  // namespace dovod::testing
