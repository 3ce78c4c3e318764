#pragma once
// The simulated keyboard in place of the hardware, for the demo and the end-to-end runs of the
// program: DOVOD_SIMULATE names a scenario of the simulator's catalogue, and DOVOD_SIMULATE_SCALE
// multiplies every delay of the run (the dialog's timers, the host software's grace times, the
// library's device delays and the scenario's own), so a whole update takes milliseconds. The scale
// is honoured only together with a known scenario.

#include <memory>
#include <optional>
#include <string>

#include "app/DialogTiming.h"
#include "app/HostSoftware.h"
#include "sim/SimHardwareBus.h"

namespace vorn {

inline constexpr const char* kSimulateScaleVariable = "DOVOD_SIMULATE_SCALE";

struct SimulationRequest {
  std::string scenario;  // as DOVOD_SIMULATE gives it; empty when not simulating
  bool known = false;    // the catalogue has it
  double scale = 1.0;
  bool scale_rejected = false;  // a scale was given but is not a number in (0, 100]
};

// Reads both variables; nothing is installed yet.
SimulationRequest ReadSimulationRequest();

// A scale factor: a finite decimal number above 0 and at most 100, with nothing after it.
std::optional<double> ParseScale(const char* text);

// The delays the run uses under the request; the system's own unless a known scenario is scaled.
DialogTiming TimingFor(const SimulationRequest& request);
HostSoftwareConfig HostConfigFor(const SimulationRequest& request);

// Installs the scenario's bus (scaled) and the scaled device delays, and logs what it did; an
// unknown scenario is logged and leaves the hardware in place. Empty when nothing was installed.
std::shared_ptr<sim::SimHardwareBus> StartSimulation(const SimulationRequest& request);

// Logs which firmware the simulated keyboard runs, at the end of a simulated run.
void LogSimulationEnd(const std::shared_ptr<sim::SimHardwareBus>& bus);

}  // namespace vorn
