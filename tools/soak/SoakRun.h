#pragma once
// One soak run: a keyboard with the run's faults on the simulated bus, the tool run against it
// through the real controller and library on a headless window, and, when the keyboard is not on
// the new firmware afterwards, the tool run once more on a keyboard whose faults are spent, as a
// user would start it again. What the keyboard runs after each decides the outcome.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/DialogTiming.h"
#include "app/HostSoftware.h"
#include "dovod/Types.h"

namespace vorn::soak {

struct SoakSettings {
  // Every delay of the run (the keyboard's, the library's, the dialog's) is multiplied by this.
  double scale = 0.02;
  // A tool run that has not ended after this many times a fault-free run's length is hung.
  double hang_factor = 30.0;
  // Each log line as it is written, for replaying one run.
  std::function<void(const std::wstring&)> echo;
};

enum class Outcome { Succeeded, Recovered, Bricked, Hung };

struct RunReport {
  Outcome outcome = Outcome::Succeeded;
  // How each tool run ended and what the keyboard ran after it; empty for a first-time success.
  std::string story;
  // Set when the second run brought the keyboard back on its old firmware, not the new one.
  bool not_updated = false;
  // The log of the last tool run.
  std::vector<std::wstring> log;
};

class SoakRunner {
 public:
  SoakRunner(SoakSettings settings, HostSoftware host);

  RunReport run(std::uint64_t seed);

  // The scaled length of a fault-free run, which hangs are measured against.
  std::chrono::milliseconds hang_bound() const;

 private:
  enum class ToolEnd { Succeeded, NoUpdateNeeded, Failed, Hung };
  ToolEnd run_tool(std::vector<std::wstring>& log);

  const SoakSettings settings_;
  HostSoftware host_;
  dovod::Bytes first_image_;
  dovod::Bytes second_image_;
  int packets_ = 0;
};

}  // namespace vorn::soak
