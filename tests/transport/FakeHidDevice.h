#pragma once
// A HID device on the platform-neutral base whose I/O is a script: a test hands its channel the
// reports, failures and removals a platform's read would find, and decides how each write ends.
// Nothing here touches the system, so the same cases run on every platform.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DeviceEventLogs.h"
#include "Source/HidBusLink.h"
#include "Source/HidChannel.h"
#include "Source/HidDevice.h"
#include "dovod/LastError.h"
#include "dovod/Subscriber.h"

namespace dovod::test {

// Counts the channels destroyed, the handles released, and lets a test wait for one.
class Releases {
 public:
  void add() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  bool wait_for(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return count_ >= count; });
  }
  int count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

class FakeHidChannel : public HidChannel {
 public:
  explicit FakeHidChannel(std::shared_ptr<Releases> released) : released_(std::move(released)) {}
  ~FakeHidChannel() override { released_->add(); }

  void simulate_report(Bytes report) { push({ReadKind::Report, 0, 0}, std::move(report)); }
  void simulate_read_failure(unsigned error) { push({ReadKind::Failed, 0, error}, {}); }
  void simulate_removal(unsigned error) { push({ReadKind::Gone, 0, error}, {}); }
  // Every read from now on fails at once, as a handle that went bad under the thread does.
  void fail_every_read(unsigned error) {
    std::lock_guard<std::mutex> lock(mutex_);
    fail_always_ = error;
    changed_.notify_all();
  }
  // The bus closed the handle underneath.
  void close_underneath() { open_ = false; }

  // Writes end with `write_answer`; while `hold_writes` is set they wait until a test releases
  // them with an answer or the channel is stopped (then Failed with kStopError).
  WriteResult write_answer{WriteKind::Ok};
  bool hold_writes = false;
  static constexpr unsigned kStopError = 995;

  void release_write(WriteResult answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    released_answer_ = answer;
    changed_.notify_all();
  }
  // True once the read thread is waiting in the channel.
  bool wait_for_read_entered() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return reads > 0; });
  }
  // True once a write is waiting in the channel.
  bool wait_for_write_entered() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return writing_; });
  }

  ReadResult read(Bytes& buffer) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++reads;
    reader_ids.push_back(std::this_thread::get_id());
    changed_.notify_all();
    changed_.wait(lock, [&] { return stopped_ || fail_always_ || !queue_.empty(); });
    if (stopped_) return {ReadKind::Stopped};
    if (fail_always_) return {ReadKind::Failed, 0, *fail_always_};
    auto [result, report] = std::move(queue_.front());
    queue_.pop_front();
    std::copy(report.begin(), report.end(), buffer.begin());
    result.length = report.size();
    return result;
  }

  WriteResult write(const Bytes& report, std::chrono::milliseconds limit) override {
    std::unique_lock<std::mutex> lock(mutex_);
    written.push_back(report);
    limits.push_back(limit);
    if (!hold_writes) return write_answer;
    writing_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return stopped_ || released_answer_.has_value(); });
    writing_ = false;
    ++writes_let_go;
    return stopped_ ? WriteResult{WriteKind::Failed, kStopError} : *released_answer_;
  }

  void stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

  bool still_open() override { return open_; }

  // Read by the test once the device's threads are done with the channel, or under a bound.
  std::vector<Bytes> written;
  std::vector<std::chrono::milliseconds> limits;
  std::vector<std::thread::id> reader_ids;
  std::atomic<int> reads{0};
  std::atomic<int> writes_let_go{0};

 private:
  void push(ReadResult result, Bytes report) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace_back(result, std::move(report));
    changed_.notify_all();
  }

  const std::shared_ptr<Releases> released_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<ReadResult, Bytes>> queue_;
  std::optional<unsigned> fail_always_;
  std::optional<WriteResult> released_answer_;
  bool stopped_ = false;
  bool writing_ = false;
  std::atomic<bool> open_{true};
};

class FakeHidDevice : public HidDevice {
 public:
  FakeHidDevice(std::weak_ptr<IHidBusLink> bus, HidLayout layout, std::string path,
                std::chrono::milliseconds limit = kWriteLimit, std::uint64_t generation = 7)
      : HidDevice("FakeHidDevice", std::move(bus), std::move(path), limit, generation), layout_(std::move(layout)) {}

  // The channel of the latest open; it stays alive as long as the device or its read thread holds it.
  std::shared_ptr<FakeHidChannel> channel() {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_.lock();
  }

  std::atomic<int> opens{0};
  std::atomic<int> validations{0};
  // Channels destroyed so far: the handle released.
  const std::shared_ptr<Releases> released = std::make_shared<Releases>();
  // When set, opening fails with it, as a system call of the platform would.
  std::optional<LastError> open_failure;
  // Set up each new channel before the device uses it.
  std::function<void(FakeHidChannel&)> prepare;

 protected:
  std::shared_ptr<HidChannel> open_channel(HidLayout* layout) override {
    ++opens;
    if (open_failure) {
      set_last_error(open_failure->code, open_failure->system_error);
      return nullptr;
    }
    if (layout) {
      ++validations;
      *layout = layout_;
    }
    auto channel = std::make_shared<FakeHidChannel>(released);
    if (prepare) prepare(*channel);
    std::lock_guard<std::mutex> lock(mutex_);
    latest_ = channel;
    return channel;
  }

 private:
  const HidLayout layout_;
  std::mutex mutex_;
  std::weak_ptr<FakeHidChannel> latest_;
};

class FakeHidBusLink : public IHidBusLink {
 public:
  std::shared_ptr<IHardwareBus> hardware_bus() override { return nullptr; }
  void read_failed_with_disconnect_error(const std::string& path, std::uint64_t generation) override {
    std::lock_guard<std::mutex> lock(mutex_);
    removals.emplace_back(path, generation);
  }
  bool verify_device_exists(const std::string&) override { return true; }

  std::vector<std::pair<std::string, std::uint64_t>> removed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return removals;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::uint64_t>> removals;
};

}  // namespace dovod::test
