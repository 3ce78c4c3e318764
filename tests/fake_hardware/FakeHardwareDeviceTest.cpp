// The fake hardware device that the other tests, the benchmarks and the fuzz targets stand on: in
// both answering modes, answers and simulated reads arrive in order, on the thread the mode
// promises, and a failed write is never answered.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "FakeHardwareDevice.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

using Answering = FakeHardwareDevice::Answering;

class ReadLog : public Subscriber<IHardwareDevice::Read> {
 public:
  void onRead(Bytes report, bool, unsigned error, unsigned length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(report);
    errors_.push_back(error);
    lengths_.push_back(length);
    threads_.push_back(std::this_thread::get_id());
  }
  std::vector<Bytes> reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  std::vector<unsigned> errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  std::vector<unsigned> lengths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lengths_;
  }
  std::vector<std::thread::id> threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::vector<Bytes> reports_;
  std::vector<unsigned> errors_;
  std::vector<unsigned> lengths_;
  std::vector<std::thread::id> threads_;
};

// Answers a report with itself and a copy whose first byte is incremented.
std::vector<Bytes> echo_twice(const Bytes& written) {
  Bytes second = written;
  ++second[0];
  return {written, second};
}

TEST(FakeHardwareDevice, AnswersAndSimulatedReadsArriveInOrderOnTheModesThread) {
  for (const Answering answering : {Answering::Inline, Answering::Threaded}) {
    SCOPED_TRACE(answering == Answering::Inline ? "inline" : "threaded");
    auto hw = std::make_shared<FakeHardwareDevice>("fake", 0x1234, answering);
    hw->set_answer(echo_twice);
    ReadLog log;
    ASSERT_TRUE(log.subscribe(hw, Direct));

    EXPECT_TRUE(hw->write({0x10, 1}, false));
    hw->SimulateRead({0x20, 2, 3}, 7);
    hw->ScriptNextAnswer({{0x30}});
    EXPECT_TRUE(hw->write({0x11, 4}, false));
    EXPECT_TRUE(hw->write({0x12, 5}, false));
    hw->wait_idle();

    EXPECT_EQ(log.reports(), (std::vector<Bytes>{{0x10, 1}, {0x11, 1}, {0x20, 2, 3}, {0x30}, {0x12, 5}, {0x13, 5}}))
        << "a scripted answer replaces the hook's once";
    EXPECT_EQ(log.errors(), (std::vector<unsigned>{0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(log.lengths(), (std::vector<unsigned>{2, 2, 3, 1, 2, 2}));
    EXPECT_EQ(hw->written(), (std::vector<Bytes>{{0x10, 1}, {0x11, 4}, {0x12, 5}}));
    for (const std::thread::id thread : log.threads()) {
      EXPECT_EQ(thread == std::this_thread::get_id(), answering == Answering::Inline);
    }
    log.unsubscribe(hw);
  }
}

class WriteLog : public Subscriber<IHardwareDevice::Write> {
 public:
  void onWrite(Bytes report, ErrorCode error, unsigned system_error) override {
    outcomes.emplace_back(error, system_error);
  }
  std::vector<std::pair<ErrorCode, unsigned>> outcomes;
};

TEST(FakeHardwareDevice, FailedWritesAreRecordedReportedAndNeverAnswered) {
  struct Case {
    const char* name;
    bool write_fails;
    bool disconnected;
  };
  for (const Case& c : {Case{"write fails", true, false}, Case{"disconnected", false, true}}) {
    SCOPED_TRACE(c.name);
    auto hw = std::make_shared<FakeHardwareDevice>("fake", 0x1234, Answering::Threaded);
    hw->set_answer(echo_twice);
    ReadLog reads;
    WriteLog writes;
    ASSERT_TRUE(reads.subscribe(hw, Direct));
    ASSERT_TRUE(writes.subscribe(hw, Direct));
    hw->write_fails = c.write_fails;
    if (c.disconnected) hw->SimulateDisconnect();

    clear_last_error();
    EXPECT_FALSE(hw->write({0x10, 1}, true));
    EXPECT_EQ(last_error().code, ErrorCode::WriteFailed);
    EXPECT_EQ(last_error().system_error, FakeHardwareDevice::kWriteFailure);
    hw->wait_idle();
    EXPECT_TRUE(reads.reports().empty());
    EXPECT_EQ(writes.outcomes,
              (std::vector<std::pair<ErrorCode, unsigned>>{{ErrorCode::WriteFailed, FakeHardwareDevice::kWriteFailure}}));
    EXPECT_EQ(hw->written().size(), 1u);

    hw->write_fails = false;
    hw->SimulateConnect();
    EXPECT_TRUE(hw->write({0x10, 1}, true));
    hw->wait_idle();
    EXPECT_EQ(reads.reports().size(), 2u) << "answered again once it works";
    reads.unsubscribe(hw);
    writes.unsubscribe(hw);
  }
}

TEST(FakeHardwareDevice, ThreadedDeviceGoesAwayWithAnswersStillQueued) {
  ReadLog log;
  auto hw = std::make_shared<FakeHardwareDevice>("fake", 0x1234, Answering::Threaded);
  // Each answer waits until the test lets go of the device, so the later ones are still queued
  // while it ends.
  const std::weak_ptr<FakeHardwareDevice> watched = hw;
  std::atomic<bool> answering{false};
  hw->set_answer([watched, &answering](const Bytes& written) {
    answering = true;
    while (!watched.expired()) std::this_thread::yield();
    return std::vector<Bytes>{written};
  });
  ASSERT_TRUE(log.subscribe(hw, Direct));
  for (Byte i = 0; i < 5; ++i) EXPECT_TRUE(hw->write({i}, false));
  while (!answering) std::this_thread::yield();
  hw.reset();
  const std::vector<Bytes> reports = log.reports();
  ASSERT_FALSE(reports.empty()) << "the answer under way is finished";
  EXPECT_EQ(reports[0], Bytes{0});
}

}  // namespace
}  // namespace dovod::testing
