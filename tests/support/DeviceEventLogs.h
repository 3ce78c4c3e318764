#pragma once
// Records of what a hardware device produces (its reads and its writes), which a test can wait on
// until enough has arrived. Shared by the tests of every platform's HID device.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "dovod/ErrorCode.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"
#include "dovod/Types.h"

namespace dovod::test {

// How long a test waits for something that a working device does at once; only a broken one
// reaches it.
inline constexpr std::chrono::seconds kBound{10};

// Records what a device produces and lets a test wait until enough has arrived.
template <class Entry>
class Recorder {
 public:
  void add(Entry entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
    changed_.notify_all();
  }
  // True once `count` entries are there; false after a bound that only a broken device reaches.
  bool wait_for(std::size_t count, std::chrono::milliseconds bound = kBound) {
    return wait_until([&](const std::vector<Entry>& entries) { return entries.size() >= count; }, bound);
  }
  bool wait_until(const std::function<bool(const std::vector<Entry>&)>& done,
                  std::chrono::milliseconds bound = kBound) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [&] { return done(entries_); });
  }
  std::vector<Entry> entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Entry> entries_;
};

struct ReadEntry {
  Bytes report;
  unsigned error;
  unsigned length;
};

struct WriteEntry {
  Bytes report;
  ErrorCode code;
  unsigned system_error;
};

// The subscriber base comes last so that it is destroyed first: its destructor unsubscribes before
// the record and the handler go.
struct ReadHandler {
  std::function<void(const Bytes&)> handler;  // runs on the read thread before the entry is added
};

class ReadLog : public ReadHandler, public Recorder<ReadEntry>, public Subscriber<IHardwareDevice::Read> {
 public:
  void onRead(Bytes report, bool, unsigned error, unsigned length) override {
    if (handler) handler(report);
    add({std::move(report), error, length});
  }
};

class WriteLog : public Recorder<WriteEntry>, public Subscriber<IHardwareDevice::Write> {
 public:
  void onWrite(Bytes report, ErrorCode code, unsigned system_error) override {
    add({std::move(report), code, system_error});
  }
};

}  // namespace dovod::test
