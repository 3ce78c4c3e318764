#pragma once
// The HID collections through which one simulated device is attached now, replaced at each plug-in:
// reports go up the collection that carries their length, link changes show on all of them.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Scenario.h"
#include "sim/SimHardwareDevice.h"

namespace sim {

class CollectionSet {
 public:
  // The collections of a device whose whole collection would have the path `base`. Pieces have
  // paths of their own below it and share `base` as their parent instance.
  static std::vector<CollectionShape> shapes(Collections kind, const std::string& base);

  void set(std::vector<std::shared_ptr<SimHardwareDevice>> devices);
  // Empties the set and answers what it held.
  std::vector<std::shared_ptr<SimHardwareDevice>> take();
  std::vector<std::shared_ptr<SimHardwareDevice>> current() const;

  // Up the collection whose reports have the report's length; a whole collection takes any.
  void deliver(const Bytes& report) const;
  void announce(bool connected) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<SimHardwareDevice>> devices_;
};

}  // namespace sim
