#pragma once
// A registry key and a folder of the test's own, removed afterwards; on Linux the registry store
// and the Documents folder are moved into the folder, so the user's own are never touched. Log
// lines are captured instead of going to the debugger output.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "StandInProcess.h"
#include "app/AppLog.h"
#include "app/WideText.h"
#include "platform/Registry.h"

namespace vorn::testing {

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / UniqueName(L"vorn_app_test", L"");
    std::filesystem::create_directories(folder_);
#ifndef _WIN32
    setenv("XDG_CONFIG_HOME", folder_.string().c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (folder_ / "Documents").string().c_str(), 1);
#endif
    key_ = "Software\\VornTests\\" + Utf8FromWide(UniqueName(L"app", L""));
    SetLogLineSinkForTesting([this](std::wstring_view line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line);
    });
  }

  void TearDown() override {
    SetLogLineSinkForTesting({});
    CloseLogFileForTesting();
    dovod::platform::Registry::delete_key(key_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // The captured lines without their timestamps.
  std::vector<std::wstring> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> out;
    for (const std::wstring& line : lines_) out.push_back(line.size() >= 11 ? line.substr(11) : line);
    return out;
  }

  bool logged(const std::wstring& message) {
    for (const std::wstring& m : messages())
      if (m == message) return true;
    return false;
  }

  std::filesystem::path folder_;
  std::string key_;

 private:
  std::mutex mutex_;
  std::vector<std::wstring> lines_;
};

}  // namespace vorn::testing
