#pragma once
// The bus the simulated keyboard hangs on: it lists the keyboard's hardware device while the
// keyboard is plugged in and announces plugging and unplugging.

#include <memory>
#include <mutex>
#include <vector>

#include "dovod/IHardwareBus.h"
#include "dovod/Producer.h"
#include "sim/Scenario.h"

namespace sim {

class SimKeyboard;
class SimHardwareDevice;

class SimHardwareBus : public dovod::IHardwareBus,
                       public dovod::Producer<dovod::IHardwareBus::PlugUnplug>,
                       public std::enable_shared_from_this<SimHardwareBus> {
 public:
  static constexpr const char* kKeyboardPath = "sim/vorn-keyboard";

  // A bus with the scenario's keyboard plugged in.
  static std::shared_ptr<SimHardwareBus> create(const Scenario& scenario);
  explicit SimHardwareBus(const Scenario& scenario);
  ~SimHardwareBus() override;

  std::vector<std::shared_ptr<dovod::IHardwareDevice>> devices() override;

  const std::shared_ptr<SimKeyboard>& keyboard() const { return keyboard_; }
  // The keyboard's hardware device; empty while it is unplugged.
  std::shared_ptr<SimHardwareDevice> keyboard_device() const;

  // The keyboard leaves the bus, losing power; onUnplug carries a fresh object of the same path.
  void unplug();
  // The keyboard comes back on a new hardware device, powered up; onPlug announces it.
  void plug();

 private:
  const std::shared_ptr<SimKeyboard> keyboard_;
  mutable std::mutex mutex_;
  std::shared_ptr<SimHardwareDevice> device_;
};

}  // namespace sim
