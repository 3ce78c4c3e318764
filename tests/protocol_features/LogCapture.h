#pragma once
// Starts the diagnostic log afresh for one test with every level sent to a captured debugger
// output, so that tests can look for the lines a feature writes.

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/LogTesting.h"
#include "platform/Registry.h"

namespace dovod::testing {

class LogCapture {
 public:
  LogCapture() {
    static std::atomic<int> counter{0};
    const std::string suffix = std::to_string(std::random_device{}()) + "_" + std::to_string(counter++);
    folder_ = std::filesystem::temp_directory_path() / ("dovod_features_" + suffix);
    std::filesystem::create_directories(folder_);
#ifndef _WIN32
    // The Linux registry lives under the configuration folder; keep it inside the test's own.
    setenv("XDG_CONFIG_HOME", folder_.string().c_str(), 1);
#endif
    key_ = "Software\\DovodTests\\features_" + suffix;
    platform::Registry::write_dword(key_, "loggingoutput", 2);
    platform::Registry::write_dword(key_, "logginglevel", 4);
    platform::Registry::write_dword(key_, "logTagLevel", 4);
    log::Tuning tuning;
    tuning.settings_key = key_;
    tuning.temp_folder_given = true;
    tuning.start_thread = false;
    tuning.capture = &capture_;
    log_testing::reinitialise(tuning);
  }

  ~LogCapture() {
    log::Tuning idle;
    idle.settings_key = key_;
    idle.temp_folder_given = true;
    idle.start_thread = false;
    idle.capture = &idle_capture();
    log_testing::reinitialise(idle);
    platform::Registry::delete_key(key_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // How many captured lines contain `text`.
  int count(const std::string& text) {
    std::lock_guard<std::mutex> lock(capture_.mutex);
    return static_cast<int>(std::count_if(capture_.debugger.begin(), capture_.debugger.end(),
                                          [&](const std::string& line) { return line.find(text) != std::string::npos; }));
  }

 private:
  // Outlives static destructors, which may still log.
  static log::Capture& idle_capture() {
    static log::Capture* capture = new log::Capture;
    return *capture;
  }

  std::filesystem::path folder_;
  std::string key_;
  log::Capture capture_;
};

}  // namespace dovod::testing
