#include "StandInProcess.h"

#include <atomic>
#include <random>
#include <thread>

#include "app/WideText.h"
#include "app/platform/NamedEvent.h"
#include "platform/Process.h"

namespace vorn::testing {

std::wstring UniqueName(const std::wstring& stem, const std::wstring& suffix) {
  static std::atomic<int> counter{0};
  static const unsigned salt = std::random_device{}() % 100000;
  return stem + L"-" + std::to_wstring(dovod::platform::Process::process_id()) + L"-" + std::to_wstring(salt) +
         L"-" + std::to_wstring(++counter) + suffix;
}

bool EventAppears(const std::wstring& name, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    platform::NamedEvent event;
    if (event.open_existing(name)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

StandInCopy::StandInCopy(const std::wstring& exe_name) {
#ifdef _WIN32
  std::filesystem::path self(WideFromUtf8(dovod::platform::Process::executable_path()));
  std::filesystem::path original = self.parent_path() / "vorn_host_stand_in.exe";
#else
  std::filesystem::path self(dovod::platform::Process::executable_path());
  std::filesystem::path original = self.parent_path() / "vorn_host_stand_in";
#endif
  folder_ = std::filesystem::temp_directory_path() / UniqueName(L"vorn_host", L"");
  std::filesystem::create_directories(folder_);
  path_ = folder_ / exe_name;
  std::filesystem::copy_file(original, path_);
}

StandInCopy::~StandInCopy() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace vorn::testing
