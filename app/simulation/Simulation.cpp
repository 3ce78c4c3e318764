#include "app/simulation/Simulation.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/AppLog.h"
#include "app/WideText.h"
#include "protocol/DeviceTuning.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace vorn {
namespace {

int ScaleMs(int ms, double factor) {
  if (ms <= 0) return ms;
  const long scaled = std::lround(ms * factor);
  return scaled < 1 ? 1 : static_cast<int>(scaled);
}

bool Scaled(const SimulationRequest& request) { return request.known && request.scale != 1.0; }

}  // namespace

std::optional<double> ParseScale(const char* text) {
  if (!text || !*text) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  if (!(value > 0.0) || value > 100.0) return std::nullopt;
  return value;
}

std::optional<int> ParseLatency(const char* text) {
  if (!text || *text < '0' || *text > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > 1000) return std::nullopt;
  return static_cast<int>(value);
}

SimulationRequest ReadSimulationRequest() {
  SimulationRequest request;
  const char* name = std::getenv(sim::kSimulateVariable);
  if (!name || !*name) return request;
  request.scenario = name;
  request.known = sim::find_scenario(request.scenario).has_value();
  if (const char* scale = std::getenv(kSimulateScaleVariable); scale && *scale) {
    if (std::optional<double> value = ParseScale(scale)) request.scale = *value;
    else request.scale_rejected = true;
  }
  if (const char* latency = std::getenv(kSimulateLatencyVariable); latency && *latency) {
    request.latency_ms = ParseLatency(latency);
    request.latency_rejected = !request.latency_ms;
  }
  return request;
}

DialogTiming TimingFor(const SimulationRequest& request) {
  return Scaled(request) ? DialogTiming{}.scaled(request.scale) : DialogTiming{};
}

HostSoftwareConfig HostConfigFor(const SimulationRequest& request) {
  HostSoftwareConfig config;
  if (Scaled(request)) {
    config.shutdown_grace = std::chrono::milliseconds(ScaleMs(static_cast<int>(config.shutdown_grace.count()), request.scale));
    config.terminate_wait = std::chrono::milliseconds(ScaleMs(static_cast<int>(config.terminate_wait.count()), request.scale));
  }
  return config;
}

std::optional<sim::Scenario> ScenarioFor(const SimulationRequest& request) {
  if (!request.known) return std::nullopt;
  sim::Scenario scenario = *sim::find_scenario(request.scenario);
  // The keyboard reaches the tool through its receiver, as it does on a desk.
  if (!scenario.receiver) scenario.receiver = sim::ReceiverSetup{};
  if (Scaled(request)) scenario = scenario.scaled(request.scale);
  if (request.latency_ms) {
    scenario.timing.host_to_device_ms = *request.latency_ms;
    scenario.timing.device_to_host_ms = *request.latency_ms;
  }
  return scenario;
}

void ScaleDeviceDelays(double factor) {
  const dovod::DeviceTuning defaults;
  dovod::DeviceTuning tuning;
  tuning.ping_jitter_ms = ScaleMs(defaults.ping_jitter_ms, factor);
  tuning.ping_backoff_base_ms = ScaleMs(defaults.ping_backoff_base_ms, factor);
  tuning.reconnect_window_ms = ScaleMs(defaults.reconnect_window_ms, factor);
  tuning.fw_check_delay_ms = ScaleMs(defaults.fw_check_delay_ms, factor);
  tuning.deactivation_delay_ms = ScaleMs(defaults.deactivation_delay_ms, factor);
  tuning.cache_write_delay_ms = ScaleMs(defaults.cache_write_delay_ms, factor);
  dovod::set_device_tuning(tuning);
}

std::shared_ptr<sim::SimHardwareBus> StartSimulation(const SimulationRequest& request) {
  if (request.scenario.empty()) return nullptr;
  const std::wstring name = WideFromUtf8(request.scenario);
  if (!request.known) {
    LogMessage(L"DOVOD_SIMULATE names no scenario: %s\n", name.c_str());
    return nullptr;
  }
  if (request.scale_rejected) LogMessage(L"DOVOD_SIMULATE_SCALE ignored: not a number above 0 and at most 100\n");
  if (request.latency_rejected) LogMessage(L"DOVOD_SIMULATE_LATENCY ignored: not a whole number from 0 to 1000\n");
  const sim::Scenario scenario = *ScenarioFor(request);
  if (Scaled(request)) ScaleDeviceDelays(request.scale);
  LogMessage(L"Simulated keyboard: scenario %s behind a receiver, delays x%g, %d ms per report each way\n",
             name.c_str(), request.scale, scenario.timing.host_to_device_ms);
  return sim::install_simulated_bus(scenario);
}

void LogSimulationEnd(const std::shared_ptr<sim::SimHardwareBus>& bus) {
  if (!bus) return;
  const std::shared_ptr<sim::SimKeyboard>& keyboard = bus->keyboard();
  if (keyboard->in_bootloader()) {
    LogMessage(L"Simulated keyboard runs its bootloader\n");
    return;
  }
  // The versions are BCD, so their hexadecimal digits are the decimal ones.
  const sim::FirmwareVersion v = keyboard->application_version();
  LogMessage(L"Simulated keyboard runs %x.%x.%x\n", static_cast<unsigned>(v.bcd_version >> 8),
             static_cast<unsigned>(v.bcd_version & 0xFF), static_cast<unsigned>(v.bcd_build));
}

}  // namespace vorn
