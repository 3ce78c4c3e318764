#pragma once
// The bus the simulated keyboard hangs on, directly or behind a receiver: it lists the collections
// of the keyboard (or of its receiver) while they are plugged in and announces plugging and
// unplugging. A device in several collections makes the bus ask for the library's combiner.

#include <memory>
#include <mutex>
#include <vector>

#include "dovod/IHardwareBus.h"
#include "dovod/Producer.h"
#include "sim/Scenario.h"

namespace sim {

class SimEndpoint;
class SimKeyboard;
class SimHardwareDevice;
class SimReceiver;

class SimHardwareBus : public dovod::IHardwareBus,
                       public dovod::Producer<dovod::IHardwareBus::PlugUnplug>,
                       public std::enable_shared_from_this<SimHardwareBus> {
 public:
  static constexpr const char* kKeyboardPath = "sim/vorn-keyboard";

  // A bus with the scenario's keyboard (or its receiver) plugged in.
  static std::shared_ptr<SimHardwareBus> create(const Scenario& scenario);
  explicit SimHardwareBus(const Scenario& scenario);
  ~SimHardwareBus() override;

  std::vector<std::shared_ptr<dovod::IHardwareDevice>> devices() override;
  bool wants_combiner() override { return collections_ != Collections::Whole; }

  const std::shared_ptr<SimKeyboard>& keyboard() const { return keyboard_; }
  // Empty when the keyboard is attached directly.
  const std::shared_ptr<SimReceiver>& receiver() const { return receiver_; }
  // The keyboard's first collection when it is attached directly; empty behind a receiver or
  // while unplugged.
  std::shared_ptr<SimHardwareDevice> keyboard_device() const;
  // The receiver's first collection; empty without a receiver or while unplugged.
  std::shared_ptr<SimHardwareDevice> receiver_device() const;
  // Every collection plugged in now, in the order devices() lists them.
  std::vector<std::shared_ptr<SimHardwareDevice>> collections() const;

  // The keyboard (with its receiver, if any) leaves the bus, losing power; onUnplug carries, for
  // each collection, a fresh object of the same path.
  void unplug();
  // As unplug, but the keyboard keeps what it was about to start: it is restarting, not losing power.
  void leave_for_restart();
  // It comes back on new collections, powered up; onPlug announces each.
  void plug();

 private:
  std::vector<std::shared_ptr<SimHardwareDevice>> make_collections(bool removed);
  void take_off(bool power_lost);

  const Collections collections_;
  const std::shared_ptr<SimKeyboard> keyboard_;
  std::shared_ptr<SimReceiver> receiver_;
  // The receiver, or the keyboard's direct attachment.
  std::shared_ptr<SimEndpoint> endpoint_;
  std::mutex plug_mutex_;
  bool plugged_ = false;
};

}  // namespace sim
