#pragma once
// Scaffolding shared by the benchmark programs: a scratch folder and log settings of their own, so
// the user's registry and log files stay untouched, and best-of-N timing.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/LogTesting.h"
#include "platform/Folders.h"
#include "platform/Registry.h"

namespace bench {

// A fresh folder under the temporary folder that also holds this run's registry store.
inline std::filesystem::path scratch_folder(const std::string& name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("dovod_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  setenv("XDG_CONFIG_HOME", folder.string().c_str(), 1);
  return folder;
}

// Starts the diagnostic log afresh, file output only, on or off, writing into `folder`.
inline void configure_log(const std::filesystem::path& folder, const std::string& name, bool on) {
  const std::string key = "Software\\DovodBench\\" + name;
  dovod::platform::Registry::write_dword(key, "logging", on ? 1 : 0);
  dovod::platform::Registry::write_dword(key, "loggingoutput", 4);
  dovod::log::Tuning tuning;
  tuning.settings_key = key;
  tuning.temp_folder_given = true;
  tuning.temp_folder = folder.string() + dovod::platform::Folders::separator;
  dovod::log_testing::reinitialise(tuning);
}

// The highest rate of `trials` runs; on a noisy machine the best run is the least disturbed one.
template <class Run>
double best_of(int trials, Run run) {
  double best = 0;
  for (int trial = 0; trial < trials; ++trial) best = std::max(best, run());
  return best;
}

}  // namespace bench
