// The simulated hardware device keeps the write rules of a HID collection and reports every write.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "KeyboardLink.h"
#include "dovod/LastError.h"

namespace simtest {
namespace {

struct WriteLog : dovod::Subscriber<dovod::IHardwareDevice::Write> {
  std::vector<std::pair<Bytes, dovod::ErrorCode>> writes;
  void onWrite(Bytes report, dovod::ErrorCode error, unsigned system_error) override {
    writes.emplace_back(std::move(report), error);
  }
};

TEST(SimHardwareDevice, WritesFollowTheCollectionRules) {
  KeyboardLink link(*sim::find_scenario("normal"));
  WriteLog log;
  ASSERT_TRUE(log.subscribe(link.device(), dovod::Direct));

  const struct {
    const char* label;
    Bytes report;
    bool ok;
    dovod::ErrorCode error;
    std::size_t written;
  } cases[] = {
      {"short report padded to 7", {0x10, 0xFF, 0x00, 0x11}, true, dovod::ErrorCode::None, 7},
      {"long report padded to 20", {0x11, 0xFF, 0x00, 0x11, 1, 2, 3, 4}, true, dovod::ErrorCode::None, 20},
      {"empty", {}, false, dovod::ErrorCode::WriteTooShort, 0},
      {"short id, 8 bytes", Bytes(8, 0x10), false, dovod::ErrorCode::WriteExceedsCollectionSize, 0},
      {"long id, 21 bytes", Bytes(21, 0x11), false, dovod::ErrorCode::WriteExceedsCollectionSize, 0},
  };
  for (const auto& c : cases) {
    log.writes.clear();
    dovod::clear_last_error();
    EXPECT_EQ(link.write(c.report), c.ok) << c.label;
    ASSERT_EQ(log.writes.size(), 1u) << c.label;
    EXPECT_EQ(log.writes[0].second, c.error) << c.label;
    EXPECT_EQ(log.writes[0].first.size(), c.written) << c.label;
    EXPECT_EQ(dovod::last_error().code, c.error) << c.label;
  }
}

TEST(SimHardwareDevice, ClosedDeviceRefusesWritesAndHearsNothing) {
  KeyboardLink link(*sim::find_scenario("normal"));
  link.device()->close();
  EXPECT_FALSE(link.write(request(0, 1)));
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::InvalidDeviceHandle);
  link.keyboard().send_report(request(0, 0));
  EXPECT_FALSE(link.take([](const Bytes&) { return true; }, 50ms)) << "reports reach open devices only";
  ASSERT_TRUE(link.device()->open());
  EXPECT_FALSE(link.call(request(0, 1)).empty());
}

TEST(SimHardwareDevice, ReportsArriveOnTheKeyboardsThreadNotTheWriters) {
  struct ThreadProbe : dovod::Subscriber<dovod::IHardwareDevice::Read> {
    std::mutex mutex;
    std::condition_variable seen;
    std::optional<std::thread::id> thread;
    void onRead(Bytes, bool, unsigned, unsigned length) override {
      std::lock_guard<std::mutex> lock(mutex);
      thread = std::this_thread::get_id();
      EXPECT_EQ(length, 20u);
      seen.notify_all();
    }
  } probe;
  KeyboardLink link(*sim::find_scenario("normal"));
  ASSERT_TRUE(probe.subscribe(link.device(), dovod::Direct));
  ASSERT_TRUE(link.write(request(0, 1)));
  std::unique_lock<std::mutex> lock(probe.mutex);
  ASSERT_TRUE(probe.seen.wait_for(lock, kGuard, [&] { return probe.thread.has_value(); }));
  EXPECT_TRUE(*probe.thread != std::this_thread::get_id());
  lock.unlock();
  probe.unsubscribe(link.device());
}

TEST(SimHardwareDevice, ABlockingWriteFromTheReadThreadIsRefusedAPlainOneGoesOut) {
  struct WriteFromRead : dovod::Subscriber<dovod::IHardwareDevice::Read> {
    std::shared_ptr<sim::SimHardwareDevice> device;
    std::mutex mutex;
    std::condition_variable done;
    std::optional<std::pair<bool, dovod::ErrorCode>> blocking;
    bool plain = false;
    void onRead(Bytes report, bool, unsigned, unsigned) override {
      if (report[6] != 0x77) return;
      const bool blocking_ok = device->write(request(0, 1, {0, 0, 0x78}), true);
      const dovod::ErrorCode code = dovod::last_error().code;
      const bool plain_ok = device->write(request(0, 1, {0, 0, 0x79}), false);
      std::lock_guard<std::mutex> lock(mutex);
      blocking = std::make_pair(blocking_ok, code);
      plain = plain_ok;
      done.notify_all();
    }
  } writer;
  KeyboardLink link(*sim::find_scenario("normal"));
  writer.device = link.device();
  ASSERT_TRUE(writer.subscribe(link.device(), dovod::Direct));
  ASSERT_TRUE(link.write(request(0, 1, {0, 0, 0x77})));
  {
    std::unique_lock<std::mutex> lock(writer.mutex);
    ASSERT_TRUE(writer.done.wait_for(lock, kGuard, [&] { return writer.blocking.has_value(); }));
    EXPECT_FALSE(writer.blocking->first);
    EXPECT_EQ(writer.blocking->second, dovod::ErrorCode::BlockingWriteOnReadThread);
    EXPECT_TRUE(writer.plain);
  }
  EXPECT_TRUE(link.take([](const Bytes& r) { return r[6] == 0x79; }));
  writer.unsubscribe(link.device());
}

}  // namespace
}  // namespace simtest
