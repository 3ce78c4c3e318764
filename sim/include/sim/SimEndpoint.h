#pragma once
// What a simulated HID collection leads to: the keyboard attached directly, or the receiver. All of
// an endpoint's collections share it; it answers for the device behind them.

#include <string>

#include "sim/SimProtocol.h"

namespace sim {

class CollectionSet;

class SimEndpoint {
 public:
  virtual ~SimEndpoint() = default;

  // A report written through one of its collections, already padded to that collection's length;
  // false when the device cannot take it now. Any thread.
  virtual bool receive(const Bytes& report) = 0;
  // Whether the device can be talked to now.
  virtual bool reachable() const = 0;
  // Whether the caller is the thread that delivers the device's reports, on which a blocking write
  // would wait for itself.
  virtual bool on_delivery_thread() const = 0;
  // How long the host should wait for a reply, scaled with the scenario's other delays.
  virtual int command_timeout_ms() const = 0;
  virtual unsigned pid() const = 0;
  virtual std::string product_name() const = 0;
  // The collections that carry its reports to the host now.
  virtual CollectionSet& collections() = 0;
};

}  // namespace sim
