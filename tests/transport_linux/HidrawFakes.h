#pragma once
// Stand-ins for the kernel and the bus of a hidraw device. Each open of the fake system makes a
// SOCK_SEQPACKET socket pair (one message per report, as a hidraw node has) and hands the device
// one end; the test speaks through the other end as the device's firmware would.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceEventLogs.h"
#include "Source/HidBusLink.h"
#include "Source/Linux/HidrawSystem.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/MakerValues.h"
#include "dovod/Subscriber.h"

namespace dovod::test {

class FakeHidrawSystem : public IHidrawSystem {
 public:
  HidrawInfo info{3, static_cast<std::uint16_t>(maker::kVendorId), 0xC510};
  Bytes descriptor;
  std::string name = "Maker Receiver";
  int open_errno = 0;  // when set, opens fail with it
  int info_errno = 0;
  int descriptor_errno = 0;
  int name_errno = 0;
  // Nodes that answer differently from the defaults above, by path.
  struct Node {
    HidrawInfo info;
    Bytes descriptor;
  };
  std::map<std::string, Node> nodes;
  std::vector<std::string> opened;  // every path asked for, in order; read once the opens are done

  ~FakeHidrawSystem() override {
    for (int fd : peers_) ::close(fd);
    for (int fd : device_ends_) ::close(fd);
  }

  int open_node(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++opens;
    opened.push_back(path);
    if (open_errno) {
      errno = open_errno;
      return -1;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return -1;
    peers_.push_back(ends[1]);
    device_ends_.push_back(::dup(ends[0]));
    paths_[ends[0]] = path;
    return ends[0];
  }

  bool raw_info(int fd, HidrawInfo& out) override {
    ++info_queries;
    const Node* node = node_of(fd);
    return answer(info_errno, [&] { out = node ? node->info : info; });
  }
  bool report_descriptor(int fd, Bytes& out) override {
    const Node* node = node_of(fd);
    return answer(descriptor_errno, [&] { out = node ? node->descriptor : descriptor; });
  }
  bool raw_name(int, std::string& out) override {
    return answer(name_errno, [&] { out = name; });
  }

  // The firmware's end of the most recent open.
  int peer() {
    std::lock_guard<std::mutex> lock(mutex_);
    return peers_.empty() ? -1 : peers_.back();
  }

  // The device is unplugged: its end of the pair sees end of file, its writes fail.
  void unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (peers_.empty() || peers_.back() < 0) return;
    ::close(peers_.back());
    peers_.back() = -1;
  }

  // Fills the device's outgoing queue through a second descriptor of its end, so that its next
  // write finds no room until the firmware reads.
  void fill_device_queue() {
    std::lock_guard<std::mutex> lock(mutex_);
    const Bytes filler(20, 0xEE);
    for (int i = 0; i < 100000; ++i) {
      if (::send(device_ends_.back(), filler.data(), filler.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) break;
    }
  }

  // Reads and drops every report waiting at the firmware's end.
  void drain() {
    Byte buffer[64];
    while (::recv(peer(), buffer, sizeof(buffer), MSG_DONTWAIT) > 0) {
    }
  }

  std::atomic<int> opens{0};
  std::atomic<int> info_queries{0};

 private:
  const Node* node_of(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto path = paths_.find(fd);
    if (path == paths_.end()) return nullptr;
    auto node = nodes.find(path->second);
    return node == nodes.end() ? nullptr : &node->second;
  }

  template <class F>
  bool answer(int error, F fill) {
    if (error) {
      errno = error;
      return false;
    }
    fill();
    return true;
  }

  std::mutex mutex_;
  std::vector<int> peers_;
  std::vector<int> device_ends_;
  std::map<int, std::string> paths_;  // descriptor numbers are reused; the latest open wins
};

class FakeBusLink : public IHidBusLink {
 public:
  std::shared_ptr<IHardwareBus> hardware_bus() override { return nullptr; }
  void read_failed_with_disconnect_error(const std::string& path, std::uint64_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugged.push_back(path);
  }
  bool verify_device_exists(const std::string&) override { return exists; }

  std::size_t unplug_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unplugged.size();
  }

  std::atomic<bool> exists{true};
  std::vector<std::string> unplugged;

 private:
  std::mutex mutex_;
};

// An object released while its own thread delivers an event is destroyed by that thread once the
// event is out; true when that has happened within a bound only a stuck thread reaches.
template <class T>
bool gone(const std::weak_ptr<T>& object) {
  for (int i = 0; i < 10000 && !object.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return object.expired();
}

// Reads one report from the firmware's end, or an empty one when none comes.
inline Bytes receive(int peer) {
  pollfd ready{peer, POLLIN, 0};
  if (::poll(&ready, 1, 10000) <= 0) return {};
  Byte buffer[64];
  const ssize_t got = ::recv(peer, buffer, sizeof(buffer), 0);
  return got > 0 ? Bytes(buffer, buffer + got) : Bytes{};
}

inline bool send_report(int peer, const Bytes& report) {
  return ::send(peer, report.data(), report.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(report.size());
}

}  // namespace dovod::test
