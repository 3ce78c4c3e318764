#pragma once
// One soak run's keyboard, drawn from the run's seed alone so that any run replays: how it is
// attached (behind its receiver, on a cable that stays on the bus, or on one that re-enumerates at
// each restart), its collections, its wire's latency, and a mix of the simulator's faults at random
// requests and restarts.

#include <cstdint>
#include <string>

#include "sim/Scenario.h"

namespace vorn::soak {

// The run's scenario at the system's own delays; `packets` is how many DFU packet requests a whole
// transfer of both images makes, so that packet faults fall anywhere in it.
sim::Scenario DrawScenario(std::uint64_t seed, int packets);

// The latency each way the run's wire has, in milliseconds after scaling: 0 or 1.
int DrawLatency(std::uint64_t seed);

// One line per fault and one for the attachment, for a finding's report.
std::string Describe(const sim::Scenario& scenario);

}  // namespace vorn::soak
