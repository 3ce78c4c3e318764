#pragma once
// A scripted stand-in for udev: the test says which hidraw nodes exist and which arrive or leave.

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "Source/Linux/HidrawDeviceSource.h"

namespace dovod::test {

// A device source whose nodes and events the test sets. Each event queued makes the descriptor
// readable by one byte, as udev's socket is readable while an event waits.
class ScriptedDeviceSource : public IHidrawDeviceSource {
 public:
  ScriptedDeviceSource() {
    if (::pipe(wake_) < 0) wake_[0] = wake_[1] = -1;
  }
  ~ScriptedDeviceSource() override {
    ::close(wake_[0]);
    ::close(wake_[1]);
  }

  bool enumerate(std::vector<HidrawNode>& out) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (enumerate_errno) {
      errno = enumerate_errno;
      return false;
    }
    out = present;
    return true;
  }
  int start_monitor() override {
    ++monitors_started;
    return wake_[0];
  }
  std::optional<HidrawNodeEvent> next_event() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.empty()) return std::nullopt;
    char byte;
    if (::read(wake_[0], &byte, 1) != 1) return std::nullopt;
    HidrawNodeEvent event = events_.front();
    events_.pop();
    return event;
  }

  // A node arrives or leaves: the listing changes and the monitor hears of it.
  void plug(const HidrawNode& node) {
    std::lock_guard<std::mutex> lock(mutex_);
    present.push_back(node);
    push({true, node});
  }
  void unplug(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(present, [&](const HidrawNode& n) { return n.path == path; });
    push({false, {path, {}}});
  }
  // The node vanishes from the listing but the monitor has not told anyone yet.
  void vanish(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(present, [&](const HidrawNode& n) { return n.path == path; });
  }

  std::vector<HidrawNode> present;
  int enumerate_errno = 0;
  std::atomic<int> monitors_started{0};

 private:
  void push(HidrawNodeEvent event) {
    events_.push(std::move(event));
    const char byte = 1;
    if (::write(wake_[1], &byte, 1) != 1) events_.pop();
  }

  std::mutex mutex_;
  std::queue<HidrawNodeEvent> events_;
  int wake_[2];
};

}  // namespace dovod::test
