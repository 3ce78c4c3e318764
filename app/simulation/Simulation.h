#pragma once
// The simulated keyboard in place of the hardware, for the demo and the end-to-end runs of the
// program: DOVOD_SIMULATE names a scenario of the simulator's catalogue, and DOVOD_SIMULATE_SCALE
// multiplies every delay of the run (the dialog's timers, the host software's grace times, the
// library's device delays and the scenario's own), so a whole update takes milliseconds. The scale
// is honoured only together with a known scenario. DOVOD_SIMULATE_LATENCY sets how long each report
// takes on the simulated wire in each direction, in whole milliseconds after the scale, so a
// benchmark can run the program at a given latency with the other delays short.

#include <memory>
#include <optional>
#include <string>

#include "app/DialogTiming.h"
#include "app/HostSoftware.h"
#include "sim/SimHardwareBus.h"

namespace vorn {

inline constexpr const char* kSimulateScaleVariable = "DOVOD_SIMULATE_SCALE";
inline constexpr const char* kSimulateLatencyVariable = "DOVOD_SIMULATE_LATENCY";

struct SimulationRequest {
  std::string scenario;  // as DOVOD_SIMULATE gives it; empty when not simulating
  bool known = false;    // the catalogue has it
  double scale = 1.0;
  bool scale_rejected = false;  // a scale was given but is not a number in (0, 100]
  std::optional<int> latency_ms;  // each way, in place of the scenario's own
  bool latency_rejected = false;  // a latency was given but is not a whole number in [0, 1000]
};

// Reads both variables; nothing is installed yet.
SimulationRequest ReadSimulationRequest();

// A scale factor: a finite decimal number above 0 and at most 100, with nothing after it.
std::optional<double> ParseScale(const char* text);

// A latency: whole milliseconds from 0 to 1000, with nothing after them.
std::optional<int> ParseLatency(const char* text);

// The scenario a known request installs: behind a receiver, scaled, at the requested latency.
std::optional<sim::Scenario> ScenarioFor(const SimulationRequest& request);

// The delays the run uses under the request; the system's own unless a known scenario is scaled.
DialogTiming TimingFor(const SimulationRequest& request);
HostSoftwareConfig HostConfigFor(const SimulationRequest& request);

// The library's long device delays (ping back-off, reconnection window, firmware check, deactivation,
// cache write) multiplied by `factor`, at least 1 ms each.
void ScaleDeviceDelays(double factor);

// Installs the scenario's bus (scaled) and the scaled device delays, and logs what it did; an
// unknown scenario is logged and leaves the hardware in place. Empty when nothing was installed.
std::shared_ptr<sim::SimHardwareBus> StartSimulation(const SimulationRequest& request);

// Logs which firmware the simulated keyboard runs, at the end of a simulated run.
void LogSimulationEnd(const std::shared_ptr<sim::SimHardwareBus>& bus);

}  // namespace vorn
