#pragma once
// A filter bus in front of a HID bus whose devices may come as several collections each. It passes
// on collections that are complete by themselves and merges the others, grouped by their combine
// key, into one CombinerDevice, which it announces once every expected piece is present.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Source/CombinerDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IHardwareBus.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class CombinerBus : public IHardwareBus,
                    public Producer<IHardwareBus::PlugUnplug>,
                    public Subscriber<IHardwareBus::PlugUnplug>,
                    public std::enable_shared_from_this<CombinerBus> {
 public:
  CombinerBus(const std::shared_ptr<IDeviceManager>& manager, std::shared_ptr<IHardwareBus> underlying);
  CombinerBus(const CombinerBus&) = delete;
  CombinerBus& operator=(const CombinerBus&) = delete;

  // The whole combined devices and the complete collections of the underlying bus; a combined
  // device that this call completes is also announced through onPlug. An empty list with a
  // non-zero LastError code means that subscribing to or enumerating the underlying bus failed,
  // or that a piece could not be added. Host thread.
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override;
  std::vector<std::shared_ptr<IBluetoothBus>> bluetooth_busses() override;
  std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses() override;
  bool wants_combiner() override { return false; }

  // The underlying bus's events, through the run loop (host thread).
  void onPlug(std::shared_ptr<IHardwareDevice> device) override;
  void onUnplug(std::shared_ptr<IHardwareDevice> device) override;
  void onPowerChange(bool standBy) override;

 protected:
  // A subscriber to this bus makes it listen to the underlying bus.
  bool on_subscribe(Subscriber<IHardwareBus::PlugUnplug>* s) override;

 private:
  bool subscribe_to_underlying();
  void announce_plug(const std::shared_ptr<IHardwareDevice>& device);
  void announce_unplug(const std::shared_ptr<IHardwareDevice>& device);

  const std::shared_ptr<IHardwareBus> underlying_;
  const std::weak_ptr<IDeviceManager> manager_;
  // Guards combined_. Events are produced after it is released, so that a direct subscriber may
  // call back into the bus.
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<CombinerDevice>> combined_;
};

}  // namespace dovod
