#pragma once
// The simulated keyboard: its firmware (application or bootloader), the wire between it and the
// host with its latency, and the scripted faults of its scenario. Everything the keyboard does
// happens on a thread of its own, which also delivers its reports to the host as a read thread does.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/Scenario.h"

namespace sim {

class FaultScript;
class KeyboardModel;
class KeyboardUplink;
struct Outgoing;
class Scheduler;
class SimHardwareBus;

class SimKeyboard : public std::enable_shared_from_this<SimKeyboard> {
 public:
  explicit SimKeyboard(Scenario scenario);
  ~SimKeyboard();
  SimKeyboard(const SimKeyboard&) = delete;
  SimKeyboard& operator=(const SimKeyboard&) = delete;

  // Wiring, done by the bus: the bus that an unplug fault takes the keyboard off, and the way its
  // reports and link changes reach the host.
  void set_bus(std::weak_ptr<SimHardwareBus> bus);
  void set_uplink(std::weak_ptr<KeyboardUplink> uplink);

  // A request from the host (device index 0xFF); false when the link is down.
  bool receive(const Bytes& report);
  // Another program's request through a handle of its own: the keyboard carries it out and its
  // replies reach our reader as well.
  void inject_foreign_request(const Bytes& request);
  // A report the keyboard sends on its own.
  void send_report(const Bytes& report);

  // Faults on demand; the scenario's script triggers the same ones.
  void disconnect_for(std::chrono::milliseconds duration);
  void power_loss_for(std::chrono::milliseconds duration);
  // The scenario's faults are spent: no later request or restart triggers one.
  void end_faults();
  // Called by the bus: power goes with the cable, and comes back with it.
  void unplugged(bool power_lost = true);
  void plugged();

  // Whether the caller is the keyboard's thread, the one that delivers its reports.
  bool on_keyboard_thread() const;
  // Whether the host can talk to the keyboard now.
  bool reachable() const;
  bool in_bootloader() const;
  FirmwareVersion application_version() const;
  std::uint16_t cookie() const;
  bool image_complete(Byte selector) const;
  // The index of a feature in the running firmware; -1 when it has none.
  int feature_index(int feature_id) const;
  // Times the keyboard started (a restart, power-up or plug-in each count one).
  int boots() const;
  const Scenario& scenario() const { return scenario_; }

 private:
  enum class Outage { Link, Power, Cable };

  void arrive(const Bytes& request, std::uint64_t epoch, bool from_us);
  void schedule_delivery(std::vector<Outgoing> out, std::uint64_t epoch);
  void deliver(const Bytes& report, std::uint64_t epoch);
  void begin_restart(std::uint64_t epoch);
  // The keyboard is back from the restart that took it down at `down`, on the bus or on new
  // collections, unless an outage since then decides when it returns.
  void end_restart(std::uint64_t down, bool off_bus);
  void schedule_restart_power_losses(int restart, std::uint64_t down, bool off_bus);
  void go_down(Outage outage, std::chrono::milliseconds duration);
  void come_up(Outage outage, std::uint64_t down);
  void announce(bool connected);
  std::chrono::milliseconds ms(int value) const { return std::chrono::milliseconds(value); }

  const Scenario scenario_;

  mutable std::mutex mutex_;
  std::unique_ptr<KeyboardModel> model_;
  std::unique_ptr<FaultScript> faults_;
  bool link_up_ = true;
  bool restarting_ = false;
  bool faults_spent_ = false;
  // Restarts begun so far.
  int restarts_ = 0;
  // Counts outages; a report in flight when the link went down is never delivered.
  std::uint64_t epoch_ = 0;
  int boots_ = 1;
  std::weak_ptr<SimHardwareBus> bus_;
  std::weak_ptr<KeyboardUplink> uplink_;

  // Last, so that it stops before anything its tasks use goes away.
  std::unique_ptr<Scheduler> scheduler_;
};

}  // namespace sim
