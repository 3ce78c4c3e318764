#include <signal.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "HidDescriptors.h"
#include "HidrawFakes.h"
#include "Source/Linux/HidrawDevice.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

using namespace test;
using namespace test_descriptors;
using std::chrono::milliseconds;

constexpr const char* kPath = "/dev/hidraw3";
constexpr milliseconds kScaledLimit{50};

class HidrawDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A socket whose peer has gone raises SIGPIPE on write; a hidraw node never does.
    ::signal(SIGPIPE, SIG_IGN);
    system->descriptor = maker_receiver_descriptor();
  }

  std::shared_ptr<HidrawDevice> make(milliseconds limit = HidrawDevice::kWriteLimit,
                                     std::string path = kPath, std::string parent = {}) {
    return std::make_shared<HidrawDevice>(bus, system, std::move(path), std::move(parent), limit);
  }

  std::shared_ptr<FakeHidrawSystem> system = std::make_shared<FakeHidrawSystem>();
  std::shared_ptr<FakeBusLink> bus = std::make_shared<FakeBusLink>();
};

// --- first open -------------------------------------------------------------------------------

struct RefusedOpen {
  const char* name;
  std::function<void(FakeHidrawSystem&)> script;
  const char* path;
  int code;
  unsigned long system_error;
};

class HidrawDeviceRefusedOpen : public HidrawDeviceTest,
                                public ::testing::WithParamInterface<RefusedOpen> {};

TEST_P(HidrawDeviceRefusedOpen, FailsWithCodeAndProducesNothing) {
  const RefusedOpen& c = GetParam();
  c.script(*system);
  ReadLog reads;
  WriteLog writes;
  auto device = make(HidrawDevice::kWriteLimit, c.path);
  ASSERT_TRUE(reads.subscribe(device, Direct));

  clear_last_error();
  EXPECT_FALSE(device->open());
  EXPECT_EQ(to_int(last_error().code), c.code);
  EXPECT_EQ(last_error().system_error, c.system_error);

  // A refused node stays closed: a write opens again, fails the same way and says so once.
  ASSERT_TRUE(writes.subscribe(device, Direct));
  EXPECT_FALSE(device->write({0x10, 0xFF, 0x00}, false));
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(to_int(writes.entries()[0].code), c.code);
  EXPECT_TRUE(writes.entries()[0].report.empty());
  EXPECT_TRUE(reads.entries().empty());
  EXPECT_EQ(bus->unplug_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HidrawDeviceRefusedOpen,
    ::testing::Values(
        RefusedOpen{"EmptyPath", [](FakeHidrawSystem&) {}, "", 32, 0},
        RefusedOpen{"OpenDenied", [](FakeHidrawSystem& s) { s.open_errno = EACCES; }, kPath, 33, EACCES},
        RefusedOpen{"InfoFails", [](FakeHidrawSystem& s) { s.info_errno = EIO; }, kPath, 34, EIO},
        RefusedOpen{"OtherVendor", [](FakeHidrawSystem& s) { s.info.vendor_id = 0x1234; }, kPath, 70, 0xC510},
        RefusedOpen{"DescriptorFails", [](FakeHidrawSystem& s) { s.descriptor_errno = EINVAL; }, kPath, 35,
                    EINVAL},
        RefusedOpen{"HostileDescriptor",
                    [](FakeHidrawSystem& s) { s.descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1}; }, kPath,
                    36, 0},
        RefusedOpen{"MouseOfTheMaker", [](FakeHidrawSystem& s) { s.descriptor = boot_mouse(); }, kPath, 37, 0},
        RefusedOpen{"Usage3", [](FakeHidrawSystem& s) { s.descriptor = collection(0xFF00, 3, 0x10, 6); },
                    kPath, 38, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidrawDeviceTest, FirstOpenTakesIdentityAndLayout) {
  auto device = make();
  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->vendor_id(), maker::kVendorId);
  EXPECT_EQ(device->pid(), 0xC510u);
  EXPECT_EQ(device->product_name(), "Maker Receiver");
  EXPECT_EQ(device->report_length(), 20);
  EXPECT_EQ(device->piece_bits(), 3);
  EXPECT_EQ(device->expected_pieces(), 3);
  EXPECT_EQ(device->combine_key(), kPath);
  EXPECT_TRUE(device->open());  // already open: no second node
  EXPECT_EQ(system->opens, 1);
}

TEST_F(HidrawDeviceTest, LaterOpensSkipTheChecksAndANameFailureIsNotFatal) {
  system->name_errno = EINVAL;
  auto device = make();
  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->product_name(), "");
  device->close();
  system->descriptor = boot_mouse();
  ASSERT_TRUE(device->open());
  EXPECT_EQ(system->info_queries, 1);
  EXPECT_EQ(system->opens, 2);
}

TEST_F(HidrawDeviceTest, APieceIsGroupedByItsParent) {
  system->descriptor = collection(0xFF43, 0x0602, 0x11, 19);
  auto device = make(HidrawDevice::kWriteLimit, kPath, "/sys/devices/usb1/1-2");
  ASSERT_TRUE(device->open());
  EXPECT_EQ(device->piece_bits(), 2);
  EXPECT_EQ(device->expected_pieces(), 6);
  EXPECT_EQ(device->combine_key(), "/sys/devices/usb1/1-2");
}

// --- writes -----------------------------------------------------------------------------------

struct WriteCase {
  const char* name;
  Bytes given;
  Bytes on_wire;  // empty when nothing may be sent
  ErrorCode code;
};

class HidrawDeviceWrite : public HidrawDeviceTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(HidrawDeviceWrite, SendsOneWholeReportWithIdAndPadding) {
  const WriteCase& c = GetParam();
  WriteLog writes;
  auto device = make();
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());

  EXPECT_EQ(device->write(c.given, false), c.code == ErrorCode::None);
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, c.code);
  EXPECT_EQ(writes.entries()[0].report, c.on_wire);
  if (c.code != ErrorCode::None) {
    EXPECT_EQ(last_error().code, c.code);
  }

  Byte buffer[64];
  const ssize_t got = ::recv(system->peer(), buffer, sizeof(buffer), MSG_DONTWAIT);
  if (c.on_wire.empty()) {
    EXPECT_LT(got, 0);
  } else {
    EXPECT_EQ(Bytes(buffer, buffer + std::max<ssize_t>(got, 0)), c.on_wire);
  }
}

Bytes long_report(Byte id, std::initializer_list<Byte> head) {
  Bytes report(20, 0);
  report[0] = id;
  std::copy(head.begin(), head.end(), report.begin() + 1);
  return report;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HidrawDeviceWrite,
    ::testing::Values(
        WriteCase{"ShortAsIs", {0x00, 0xFF, 1, 2, 3, 4, 5}, {0x10, 0xFF, 1, 2, 3, 4, 5}, ErrorCode::None},
        WriteCase{"ShortPadded", {0x00, 0xFF, 1}, {0x10, 0xFF, 1, 0, 0, 0, 0}, ErrorCode::None},
        WriteCase{"EightBytesGoLong", {0x10, 0xFF, 1, 2, 3, 4, 5, 6}, long_report(0x11, {0xFF, 1, 2, 3, 4, 5, 6}),
                  ErrorCode::None},
        WriteCase{"LongAsIs", long_report(0x11, {0xFF, 9}), long_report(0x11, {0xFF, 9}), ErrorCode::None},
        WriteCase{"TooLong", Bytes(21, 0x11), {}, ErrorCode::WriteExceedsCollectionSize},
        WriteCase{"Empty", {}, {}, ErrorCode::WriteTooShort}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidrawDeviceTest, BlockingWritesNeedTheReadThreadAndMayNotRunOnIt) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(device->open());
  EXPECT_FALSE(device->write({0x10, 0xFF, 0x00}, true));
  EXPECT_EQ(to_int(last_error().code), 27);

  // From the read thread: a blocking write is refused, a plain one goes out.
  std::promise<std::pair<int, bool>> on_read_thread;
  reads.handler = [&](const Bytes&) {
    const bool blocking_ok = device->write({0x10, 0xFF, 0x01}, true);
    const int code = to_int(last_error().code);
    on_read_thread.set_value({code, !blocking_ok && device->write({0x10, 0xFF, 0x02}, false)});
  };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, 0x00, 0, 0, 0, 0}));
  auto result = on_read_thread.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [code, plain_ok] = result.get();
  EXPECT_EQ(code, 26);
  EXPECT_TRUE(plain_ok);
  EXPECT_EQ(receive(system->peer()), (Bytes{0x10, 0xFF, 0x02, 0, 0, 0, 0}));

  // From another thread, with the read thread running, a blocking write is what a command uses.
  EXPECT_TRUE(device->write({0x10, 0xFF, 0x03}, true));
  EXPECT_EQ(receive(system->peer()), (Bytes{0x10, 0xFF, 0x03, 0, 0, 0, 0}));
}

TEST_F(HidrawDeviceTest, AWriteTheFirmwareNeverTakesIsAbandonedAfterTheLimit) {
  WriteLog writes;
  auto device = make(kScaledLimit);
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  system->fill_device_queue();

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device->write({0x10, 0xFF, 0x00}, false));
  EXPECT_GE(std::chrono::steady_clock::now() - start, kScaledLimit);
  EXPECT_EQ(last_error().code, ErrorCode::WriteTimedOut);
  EXPECT_EQ(last_error().system_error, 0u);
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, ErrorCode::WriteTimedOut);

  // The device is not spoilt: once the firmware reads again, writes go through.
  system->drain();
  EXPECT_TRUE(device->write({0x10, 0xFF, 0x01}, false));
  EXPECT_EQ(bus->unplug_count(), 0u);
}

TEST_F(HidrawDeviceTest, CloseCutsAWaitingWriteShort) {
  auto device = make();  // the full ten seconds: only close can end this write early
  ASSERT_TRUE(device->open());
  system->fill_device_queue();
  auto writer = std::async(std::launch::async, [&] {
    const bool ok = device->write({0x10, 0xFF, 0x00}, false);
    return std::make_pair(ok, last_error());
  });
  std::this_thread::sleep_for(milliseconds(20));  // lets the write reach its wait, most times
  device->close();
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [ok, failed] = writer.get();
  if (!ok) {
    // Cancelled while waiting, or too late to find a descriptor at all.
    EXPECT_TRUE((failed.code == ErrorCode::WriteFailed && failed.system_error == ECANCELED) ||
                failed.code == ErrorCode::InvalidDeviceHandle)
        << to_int(failed.code);
  }
}

// --- reads ------------------------------------------------------------------------------------

class HidrawDeviceReads : public HidrawDeviceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HidrawDeviceReads, DeliversProtocolReportsInOrderWhicheverOfOpenAndSubscribeComesSecond) {
  system->descriptor = composite_keyboard();
  ReadLog reads;
  auto device = make();
  const bool subscribe_first = GetParam();
  if (subscribe_first) {
    ASSERT_TRUE(reads.subscribe(device, Direct));
  }
  ASSERT_TRUE(device->open());
  if (!subscribe_first) {
    ASSERT_TRUE(reads.subscribe(device, Direct));
  }

  const Bytes keys{0x01, 0, 0, 0x04, 0, 0, 0, 0, 0};
  const Bytes reply{0x10, 0xFF, 0x81, 0x02, 0, 0, 0};
  const Bytes notification = long_report(0x11, {0x01, 0x41, 0x04});
  for (const Bytes& r : {keys, reply, notification}) ASSERT_TRUE(send_report(system->peer(), r));

  ASSERT_TRUE(reads.wait_for(2));
  const auto got = reads.entries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].report, reply);
  EXPECT_EQ(got[1].report, notification);
  for (const ReadEntry& e : got) {
    EXPECT_EQ(e.error, 0u);
    EXPECT_EQ(e.length, 20u);
  }
}

INSTANTIATE_TEST_SUITE_P(Order, HidrawDeviceReads, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "SubscribeFirst" : "OpenFirst"; });

TEST_F(HidrawDeviceTest, CloseFromADirectReadHandlerDoesNotDeadlockAndTheDeviceReopens) {
  ReadLog reads;
  auto device = make();
  reads.handler = [&](const Bytes&) { device->close(); };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(reads.wait_for(1));

  reads.handler = nullptr;
  ASSERT_TRUE(device->open());
  ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, 1, 0, 0, 0, 0}));
  ASSERT_TRUE(reads.wait_for(2));
  EXPECT_EQ(reads.entries()[1].report, (Bytes{0x10, 0xFF, 1, 0, 0, 0, 0}));
}

// --- removal ----------------------------------------------------------------------------------

TEST_F(HidrawDeviceTest, RemovalWhileReadingIsReportedOnceAndTheDeviceStaysGone) {
  ReadLog reads;
  WriteLog writes;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(writes.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  const Bytes last{0x10, 0xFF, 0x41, 0, 0, 0, 0};
  ASSERT_TRUE(send_report(system->peer(), last));
  system->unplug();

  ASSERT_TRUE(reads.wait_for(2));
  const auto got = reads.entries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].report, last);  // what the device sent before it left still arrives
  EXPECT_TRUE(got[1].report.empty());
  EXPECT_EQ(got[1].error, static_cast<unsigned>(ENODEV));
  EXPECT_EQ(bus->unplug_count(), 1u);
  EXPECT_EQ(bus->unplugged.front(), kPath);
  EXPECT_TRUE(device->removed());

  EXPECT_FALSE(device->open());
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_FALSE(device->write({0x10, 0xFF, 0x00}, false));
  ASSERT_EQ(writes.entries().size(), 1u);
  EXPECT_EQ(writes.entries()[0].code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(bus->unplug_count(), 1u);
}

TEST_F(HidrawDeviceTest, RemovalWhileWritingEndsTheWriteAndIsReportedOnce) {
  ReadLog reads;
  auto device = make();  // the full limit: the write must end because the device went, not by time
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  system->fill_device_queue();
  auto writer = std::async(std::launch::async, [&] {
    device->write({0x10, 0xFF, 0x00}, false);
    return last_error();
  });
  std::this_thread::sleep_for(milliseconds(20));  // lets the write reach its wait, most times
  system->unplug();

  ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const LastError failed = writer.get();
  // Gone under the waiting write, or found gone by the read thread before the write began.
  if (failed.code == ErrorCode::WriteDeviceGone) {
    EXPECT_TRUE(failed.system_error == ECONNRESET || failed.system_error == EPIPE) << failed.system_error;
  } else {
    EXPECT_EQ(failed.code, ErrorCode::DeviceRemoved);
  }
  ASSERT_TRUE(reads.wait_for(1));  // the read thread found the removal too
  device->close();
  EXPECT_EQ(bus->unplug_count(), 1u);
  EXPECT_TRUE(device->removed());
}

TEST_F(HidrawDeviceTest, RemovalWithoutReadThreadIsFoundByTheWrite) {
  auto device = make();
  ASSERT_TRUE(device->open());
  system->unplug();
  EXPECT_FALSE(device->write({0x10, 0xFF, 0x00}, false));
  EXPECT_EQ(last_error().code, ErrorCode::WriteDeviceGone);
  EXPECT_EQ(bus->unplug_count(), 1u);
}

// --- teardown ---------------------------------------------------------------------------------

TEST_F(HidrawDeviceTest, DestroyingWithReportsPendingJoinsTheReadThread) {
  ReadLog reads;
  auto device = make();
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, Byte(i), 0, 0, 0, 0}));
  std::weak_ptr<HidrawDevice> watch = device;
  device.reset();
  ASSERT_TRUE(gone(watch));
  const auto got = reads.entries();
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].report[2], i);
  EXPECT_EQ(bus->unplug_count(), 0u);
}

TEST_F(HidrawDeviceTest, TheLastReferenceMayBeDroppedWhileItsReadHandlerRuns) {
  ReadLog reads;
  auto device = make();
  std::promise<void> handler_entered;
  std::promise<void> owner_let_go;
  auto let_go = owner_let_go.get_future();
  reads.handler = [&](const Bytes&) {
    handler_entered.set_value();
    let_go.wait();
  };
  ASSERT_TRUE(reads.subscribe(device, Direct));
  ASSERT_TRUE(device->open());
  ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(send_report(system->peer(), {0x10, 0xFF, 1, 0, 0, 0, 0}));
  handler_entered.get_future().wait();

  // The read thread now holds the only reference and destroys the device on its way out.
  std::weak_ptr<HidrawDevice> watch = device;
  device.reset();
  owner_let_go.set_value();
  ASSERT_TRUE(gone(watch));
  EXPECT_EQ(reads.entries().size(), 1u);
}

// --- questions to the bus ---------------------------------------------------------------------

TEST_F(HidrawDeviceTest, VerifyAfterTimeoutAsksTheBus) {
  auto device = make();
  EXPECT_TRUE(device->verify_connection_following_timeout());
  bus->exists = false;
  EXPECT_FALSE(device->verify_connection_following_timeout());
  bus.reset();  // no bus left to ask: keep the device
  EXPECT_TRUE(device->verify_connection_following_timeout());
}

}  // namespace
}  // namespace dovod
