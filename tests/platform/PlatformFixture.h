#pragma once
// A registry key and a folder of the test's own, removed afterwards. On Linux the registry store
// is moved into the folder, so the user's own settings are never touched.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/Registry.h"

namespace dovod::testing {

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    std::string suffix = std::to_string(random()) + std::to_string(random());
    folder_ = std::filesystem::temp_directory_path() / ("dovod_platform_test_" + suffix);
    std::filesystem::create_directories(folder_);
#ifndef _WIN32
    setenv("XDG_CONFIG_HOME", folder_.string().c_str(), 1);
#endif
    key_ = "Software\\DovodTests\\platform_" + suffix;
  }

  void TearDown() override {
    platform::Registry::delete_key(key_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path folder_;
  std::string key_;
};

}  // namespace dovod::testing
