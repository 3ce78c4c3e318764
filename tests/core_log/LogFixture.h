#pragma once
// A log started afresh for each test: settings from a registry key of its own, files in a
// temporary folder of its own, console and debugger lines captured, the flush wait scaled down.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/LogTesting.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "platform/Folders.h"
#include "platform/Registry.h"

namespace dovod::testing {

inline std::string unique_suffix() {
  static std::atomic<int> counter{0};
  std::random_device random;
  return std::to_string(random()) + "_" + std::to_string(counter++);
}

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Vs2003SingletonThreadCleanup::reset_for_testing();
    folder_ = std::filesystem::temp_directory_path() / ("dovod_log_test_" + unique_suffix());
    std::filesystem::create_directories(folder_);
#ifndef _WIN32
    // The Linux registry lives under the configuration folder; keep it inside the test's own.
    setenv("XDG_CONFIG_HOME", folder_.string().c_str(), 1);
#endif
    key_ = "Software\\DovodTests\\log_" + unique_suffix();
    tuning_.settings_key = key_;
    tuning_.temp_folder_given = true;
    tuning_.temp_folder = folder_.string() + platform::Folders::separator;
    tuning_.flush_wait = std::chrono::milliseconds(10);
    tuning_.capture = &capture_;
    tuning_.start_thread = false;
  }

  void TearDown() override {
    // Leaves a log without thread or file, so nothing outlives the folder or the key.
    log::Tuning idle;
    idle.settings_key = key_;
    idle.temp_folder_given = true;
    idle.capture = &idle_capture();
    log_testing::reinitialise(idle);
    Vs2003SingletonThreadCleanup::reset_for_testing();
    platform::Registry::delete_key(key_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Starts the log with the tuning of this test; registry values are written before.
  void start() { log_testing::reinitialise(tuning_); }

  void set(const char* name, std::uint32_t value) { ASSERT_TRUE(platform::Registry::write_dword(key_, name, value)); }
  void set(const char* name, const std::string& value) {
    ASSERT_TRUE(platform::Registry::write_string(key_, name, value));
  }

  // Drains what the buffers hold (no log thread in these tests unless started) and reads the file.
  std::vector<std::string> file_lines() {
    while (log_testing::drain_once()) {
    }
    log_testing::flush();
    return read_file();
  }

  std::vector<std::string> read_file() {
    std::ifstream in(log_testing::log_file_path());
    std::stringstream content;
    content << in.rdbuf();
    return split(content.str(), '\n');
  }

  // The last tab-separated column (function and message) of each record line.
  std::vector<std::string> file_messages() {
    std::vector<std::string> out;
    for (const std::string& line : file_lines()) out.push_back(split(line, '\t').back());
    return out;
  }

  static bool contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  std::vector<std::string> console() {
    std::lock_guard<std::mutex> lock(capture_.mutex);
    return capture_.console;
  }
  std::vector<std::string> debugger() {
    std::lock_guard<std::mutex> lock(capture_.mutex);
    return capture_.debugger;
  }

  // Outlives every static destructor, since the log's process-end hook still writes to it.
  static log::Capture& idle_capture() {
    static log::Capture* capture = new log::Capture;
    return *capture;
  }

  std::filesystem::path folder_;
  std::string key_;
  log::Tuning tuning_;
  log::Capture capture_;
};

}  // namespace dovod::testing
