#pragma once
// The scenario's faults as they meet the traffic: which ones a request triggers, and what they do
// to the replies that request gets.

#include <vector>

#include "sim/Scenario.h"

namespace sim {

// One report on its way to the host, with the delay a fault adds to the wire's.
struct Outgoing {
  Bytes report;
  int extra_delay_ms = 0;
};

class FaultScript {
 public:
  explicit FaultScript(const std::vector<Fault>& faults);

  // The faults a request to `feature_id` with `function` triggers. Every call counts the request
  // once for each fault it matches.
  std::vector<const Fault*> triggered_by(int feature_id, int function);

  // The copies of `reply` that travel, after losing, delaying, duplicating or corrupting it.
  static std::vector<Outgoing> shape(Bytes reply, const std::vector<const Fault*>& faults);

 private:
  const std::vector<Fault>& faults_;
  std::vector<int> seen_;
};

}  // namespace sim
