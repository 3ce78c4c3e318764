// The combined device: where its writes go, how the reads and write outcomes of its pieces reach
// its listeners, and its teardown while a piece is still reading.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHardwareBus.h"
#include "Source/CombinerDevice.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"

namespace dovod::testing {
namespace {

class ReadLog : public Subscriber<IHardwareDevice::Read> {
 public:
  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override {
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(report);
    errors.push_back(error);
  }
  std::vector<Bytes> seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return reports;
  }
  std::mutex mutex;
  std::vector<Bytes> reports;
  std::vector<unsigned> errors;
};

class WriteLog : public Subscriber<IHardwareDevice::Write> {
 public:
  void onWrite(Bytes report, ErrorCode error, unsigned) override {
    reports.push_back(report);
    codes.push_back(error);
  }
  std::vector<Bytes> reports;
  std::vector<ErrorCode> codes;
};

template <class E>
std::size_t listeners(const std::shared_ptr<FakeHardwareDevice>& piece) {
  return static_cast<Producer<E>&>(*piece).subscriber_count();
}

class CombinerDeviceTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHardwareDevice> piece(const std::string& path, int bits, int length) {
    return bus->MakePiece(path, maker::kKeyboardPid, {"usb#kbd", bits, 3, length});
  }

  std::shared_ptr<FakeHardwareBus> bus = FakeHardwareBus::create();
  std::shared_ptr<FakeHardwareDevice> short_one = piece("hid#col01", 1, 7);
  std::shared_ptr<FakeHardwareDevice> long_one = piece("hid#col02", 2, 20);
};

TEST_F(CombinerDeviceTest, WhollyPresentOnlyWithEveryExpectedPiece) {
  auto device = std::make_shared<CombinerDevice>(bus, long_one);
  EXPECT_EQ(device->path(), "usb#kbd");
  EXPECT_FALSE(device->whole());
  EXPECT_TRUE(device->add_piece(short_one));
  EXPECT_TRUE(device->whole());
  EXPECT_FALSE(device->remove_piece(long_one->fresh_copy()));
  EXPECT_FALSE(device->whole());
  EXPECT_EQ(long_one->closes.load(), 1);
  EXPECT_TRUE(device->remove_piece(short_one->fresh_copy())) << "no piece left";
  EXPECT_FALSE(device->whole());
}

TEST_F(CombinerDeviceTest, WritesGoToTheFirstPieceWhoseReportsHoldThem) {
  struct Case {
    const char* name;
    std::size_t size;
    bool short_fails;
    const char* target;  // "short", "long" or "" for none
    bool ok;
    ErrorCode code;
  };
  const Case cases[] = {
      {"short request", 7, false, "short", true, ErrorCode::None},
      {"one byte", 1, false, "short", true, ErrorCode::None},
      {"long request", 20, false, "long", true, ErrorCode::None},
      {"too long for every piece", 21, false, "", false, ErrorCode::WriteExceedsCollectionSize},
      {"the chosen piece fails", 7, true, "short", false, ErrorCode::WriteFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = piece("hid#col01", 1, 7);
    auto l = piece("hid#col02", 2, 20);
    s->write_fails = c.short_fails;
    // The long piece comes first: the order of the piece bits decides, not the order of arrival.
    auto device = std::make_shared<CombinerDevice>(bus, l);
    ASSERT_TRUE(device->add_piece(s));
    WriteLog outcomes;
    ASSERT_TRUE(outcomes.subscribe(device, Direct));

    const Bytes report(c.size, 0x5A);
    EXPECT_EQ(device->write(report, false), c.ok);
    if (!c.ok) {
      EXPECT_EQ(last_error().code, c.code);
    }
    const std::string target = c.target;
    EXPECT_EQ(s->written(), target == "short" ? std::vector<Bytes>{report} : std::vector<Bytes>{});
    EXPECT_EQ(l->written(), target == "long" ? std::vector<Bytes>{report} : std::vector<Bytes>{});
    ASSERT_EQ(outcomes.codes.size(), 1u) << "one outcome for every write";
    EXPECT_EQ(outcomes.codes[0], c.code);
  }
}

TEST_F(CombinerDeviceTest, ABlockingWriteOpensEveryPieceFirst) {
  auto device = std::make_shared<CombinerDevice>(bus, short_one);
  ASSERT_TRUE(device->add_piece(long_one));
  EXPECT_TRUE(device->write(Bytes(20, 1), true));
  EXPECT_EQ(short_one->opens.load(), 1);
  EXPECT_EQ(long_one->opens.load(), 1);

  short_one->open_fails = true;
  WriteLog outcomes;
  ASSERT_TRUE(outcomes.subscribe(device, Direct));
  EXPECT_FALSE(device->write(Bytes(20, 2), true));
  EXPECT_EQ(long_one->written().size(), 1u) << "nothing written when a piece cannot be opened";
  EXPECT_EQ(outcomes.codes.size(), 1u);
  EXPECT_EQ(long_one->opens.load(), 1) << "the pieces open in order and stop at the first failure";
}

TEST_F(CombinerDeviceTest, PiecesAreListenedToExactlyWhileTheDeviceHasListeners) {
  auto device = std::make_shared<CombinerDevice>(bus, short_one);
  ReadLog first;
  ReadLog second;
  WriteLog outcomes;
  ASSERT_TRUE(first.subscribe(device, Direct));
  ASSERT_TRUE(second.subscribe(device, Direct));
  ASSERT_TRUE(outcomes.subscribe(device, Direct));
  ASSERT_TRUE(device->add_piece(long_one)) << "a piece arriving later is listened to as well";
  EXPECT_EQ(listeners<IHardwareDevice::Read>(short_one), 1u);
  EXPECT_EQ(listeners<IHardwareDevice::Read>(long_one), 1u);
  EXPECT_EQ(listeners<IHardwareDevice::Write>(long_one), 1u);

  const Bytes reply_short{0x10, 0xFF, 0x00, 0x01, 0x02, 0x03, 0x04};
  const Bytes reply_long(20, 0x11);
  short_one->SimulateRead(reply_short);
  long_one->SimulateRead(reply_long);
  long_one->SimulateRead({}, 5);
  EXPECT_EQ(first.seen(), (std::vector<Bytes>{reply_short, reply_long, {}}));
  EXPECT_EQ(second.seen(), first.seen());
  EXPECT_EQ(first.errors, (std::vector<unsigned>{0, 0, 5})) << "a failed read is relayed unchanged";

  ASSERT_TRUE(device->write(Bytes(7, 0x10), false));
  EXPECT_EQ(outcomes.reports, std::vector<Bytes>{Bytes(7, 0x10)});

  first.unsubscribe(device);
  EXPECT_EQ(listeners<IHardwareDevice::Read>(short_one), 1u) << "one listener is left";
  second.unsubscribe(device);
  outcomes.unsubscribe(device);
  EXPECT_EQ(listeners<IHardwareDevice::Read>(short_one), 0u);
  EXPECT_EQ(listeners<IHardwareDevice::Read>(long_one), 0u);
  EXPECT_EQ(listeners<IHardwareDevice::Write>(long_one), 0u);
  short_one->SimulateRead(reply_short);
  EXPECT_EQ(second.seen().size(), 3u);

  ASSERT_TRUE(first.subscribe(device, Direct));
  long_one->SimulateRead(reply_long);
  EXPECT_EQ(first.seen().size(), 4u) << "listening again resumes the relay";

  device->remove_piece(long_one->fresh_copy());
  long_one->SimulateRead(reply_long);
  EXPECT_EQ(first.seen().size(), 4u) << "a departed piece is no longer relayed";
}

TEST_F(CombinerDeviceTest, APieceRefusingItsListenerRefusesTheDevicesListenerWhole) {
  auto device = std::make_shared<CombinerDevice>(bus, short_one);
  ASSERT_TRUE(device->add_piece(long_one));
  long_one->refuse_subscriptions = true;
  ReadLog reader;
  WriteLog outcomes;
  EXPECT_FALSE(reader.subscribe(device, Direct));
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent);
  EXPECT_FALSE(outcomes.subscribe(device, Direct));
  EXPECT_EQ(listeners<IHardwareDevice::Read>(short_one), 0u) << "no half subscription is left behind";
  EXPECT_EQ(listeners<IHardwareDevice::Write>(short_one), 0u);

  long_one->refuse_subscriptions = false;
  ASSERT_TRUE(reader.subscribe(device, Direct));
  auto third = piece("hid#col03", 4, 20);
  third->refuse_subscriptions = true;
  EXPECT_FALSE(device->add_piece(third)) << "a new piece that refuses the relay is reported";
}

TEST_F(CombinerDeviceTest, AConnectionCheckAsksEveryPiece) {
  const bool answers[][2] = {{true, true}, {false, true}, {true, false}};
  for (const auto& a : answers) {
    auto s = piece("hid#col01", 1, 7);
    auto l = piece("hid#col02", 2, 20);
    s->verify_answer = a[0];
    l->verify_answer = a[1];
    auto device = std::make_shared<CombinerDevice>(bus, s);
    ASSERT_TRUE(device->add_piece(l));
    EXPECT_EQ(device->verify_connection_following_timeout(), a[0] && a[1]);
    EXPECT_EQ(s->verifications.load(), 1);
    EXPECT_EQ(l->verifications.load(), 1);
  }
}

TEST_F(CombinerDeviceTest, ARequestWaitsAsLongAsItsPiecesWireAllows) {
  short_one->timeout_ms = 60;
  long_one->timeout_ms = 60;
  auto device = std::make_shared<CombinerDevice>(bus, long_one);
  ASSERT_TRUE(device->add_piece(short_one));
  EXPECT_EQ(device->command_timeout_ms(), 60);
}

TEST_F(CombinerDeviceTest, ListenersComeAndGoWhileAPieceReadsOnItsOwnThread) {
  auto device = std::make_shared<CombinerDevice>(bus, short_one);
  ASSERT_TRUE(device->add_piece(long_one));
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) short_one->SimulateRead(Bytes(7, 0x10));
  });
  ReadLog log;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(log.subscribe(device, Direct));
    log.unsubscribe(device);
  }
  ASSERT_TRUE(log.subscribe(device, Direct));
  // The piece outlives the device: tearing the device down must wait out a relay in progress.
  device.reset();
  stop = true;
  reader.join();
  EXPECT_EQ(listeners<IHardwareDevice::Read>(short_one), 0u);
}

}  // namespace
}  // namespace dovod::testing
