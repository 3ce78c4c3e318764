#include <windows.h>

#include "StandInProcess.h"

namespace vorn::testing {

bool StandInProcess::start(const std::filesystem::path& exe, const std::wstring& event_name,
                           const std::vector<std::wstring>& options) {
  std::wstring command = L"\"" + exe.wstring() + L"\" \"" + event_name + L"\"";
  for (const std::wstring& option : options) command += L" " + option;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.wstring().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return false;
  CloseHandle(info.hThread);
  handle_ = reinterpret_cast<std::uintptr_t>(info.hProcess);
  running_ = true;
  return EventAppears(event_name, std::chrono::seconds(20));
}

std::optional<int> StandInProcess::wait_exit(std::chrono::milliseconds timeout) {
  if (!running_) return std::nullopt;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  running_ = false;
  return static_cast<int>(code);
}

StandInProcess::~StandInProcess() {
  if (!running_) return;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

SudoFromSecondUser::SudoFromSecondUser() = default;
SudoFromSecondUser::~SudoFromSecondUser() = default;

}  // namespace vorn::testing
