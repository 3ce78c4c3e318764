#pragma once
// A test's end of the wire to a simulated keyboard, directly attached or behind its receiver:
// writes requests to the first collection on the bus and collects every Read and Connect event of
// every collection, which arrive on the keyboard's (or the receiver's) thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"
#include "sim/Scenario.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"
#include "sim/SimReceiver.h"

namespace simtest {

using sim::Byte;
using sim::Bytes;
using namespace std::chrono_literals;

// Only a guard against a hang: an expected report arrives long before it.
constexpr std::chrono::milliseconds kGuard = 10s;

// A request to the feature at `index`: function, software id 1, parameters.
Bytes request(int index, int function, const Bytes& parameters = {});
// The payload (bytes 4 on) of a report.
Bytes payload(const Bytes& report);
bool is_error_reply(const Bytes& report);

class KeyboardLink : public dovod::Subscriber<dovod::IHardwareDevice::Read>,
                     public dovod::Subscriber<dovod::IHardwareDevice::Connect> {
 public:
  explicit KeyboardLink(const sim::Scenario& scenario);
  ~KeyboardLink() override;

  // Opens the bus's current collections and listens to them (again after a plug-in).
  void listen();

  sim::SimHardwareBus& bus() { return *bus_; }
  sim::SimKeyboard& keyboard() { return *bus_->keyboard(); }
  sim::SimReceiver& receiver() { return *bus_->receiver(); }
  // The first collection listened to.
  std::shared_ptr<sim::SimHardwareDevice> device() { return devices_.empty() ? nullptr : devices_.front(); }
  const std::vector<std::shared_ptr<sim::SimHardwareDevice>>& devices() const { return devices_; }

  bool write(const Bytes& report);
  // Writes `req` and waits for its reply or error reply; empty when none came within `limit`.
  // Reports that do not answer it stay queued.
  Bytes call(const Bytes& req, std::chrono::milliseconds limit = kGuard);
  // The first queued report that `pick` takes, waiting up to `limit`; it is removed from the queue.
  std::optional<Bytes> take(const std::function<bool(const Bytes&)>& pick, std::chrono::milliseconds limit = kGuard);
  // Every report queued now, emptying the queue.
  std::deque<Bytes> drain();
  // Waits until `count` Connect events (true connect, false disconnect) have arrived in all.
  bool wait_connect_events(std::size_t count, std::chrono::milliseconds limit = kGuard);
  std::deque<bool> connect_events();
  // The index of a feature in the running firmware, asked through the root feature.
  int index_of(int feature_id);

  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onConnect(std::shared_ptr<dovod::IHardwareDevice> device) override;
  void onDisconnect(std::shared_ptr<dovod::IHardwareDevice> device) override;

 private:
  std::shared_ptr<sim::SimHardwareBus> bus_;
  void stop_listening();

  std::vector<std::shared_ptr<sim::SimHardwareDevice>> devices_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Bytes> reports_;
  std::deque<bool> connects_;
};

// Whether `report` answers `req`: same bytes 1 to 3, or an error reply naming it.
bool answers(const Bytes& report, const Bytes& req);

}  // namespace simtest
