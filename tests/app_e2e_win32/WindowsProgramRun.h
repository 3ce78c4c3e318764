#pragma once
// One run of the built Windows update tool as a real process, with the autopilot and, unless a test
// says otherwise, against the simulated keyboard with every delay scaled down. The user's Documents
// folder points into a fresh folder of the run's own while it lives, so the run's application log
// is its own; the settings key is emptied before each run.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorn::testing {

class WindowsProgramRun {
 public:
  WindowsProgramRun();
  ~WindowsProgramRun();
  WindowsProgramRun(const WindowsProgramRun&) = delete;
  WindowsProgramRun& operator=(const WindowsProgramRun&) = delete;

  // Variables added to the test's own environment for the run; set to "" to leave one out.
  std::map<std::wstring, std::wstring> environment;

  // Starts the tool with `arguments` (joined by blanks as they stand) and waits up to `limit` for
  // it to end; its exit code, or nothing when it had to be ended.
  std::optional<int> run(const std::wstring& arguments, std::chrono::milliseconds limit = std::chrono::minutes(5));

  std::filesystem::path log_path() const { return documents_ / L"VornFirmwareUpdate.log"; }
  std::wstring log(bool* bom = nullptr, bool* crlf = nullptr) const;

 private:
  std::filesystem::path folder_;
  std::filesystem::path documents_;
  std::optional<std::wstring> saved_documents_;
};

}  // namespace vorn::testing
