#include "app/platform/HostProcess.h"

#include <windows.h>

namespace vorn::platform {

HostProcess::~HostProcess() { close(); }

bool HostProcess::open(std::uint32_t pid, Access access) {
  close();
  // Ending a process needs its image path too, read once more just before.
  DWORD rights = PROCESS_QUERY_LIMITED_INFORMATION;
  if (access == Access::Terminate) rights |= PROCESS_TERMINATE | SYNCHRONIZE;
  HANDLE process = OpenProcess(rights, FALSE, pid);
  if (!process) return false;
  handle_ = process;
  return true;
}

std::optional<std::wstring> HostProcess::image_path() const {
  if (!handle_) return std::nullopt;
  wchar_t buffer[MAX_PATH];
  DWORD size = MAX_PATH;
  if (!QueryFullProcessImageNameW(static_cast<HANDLE>(handle_), 0, buffer, &size)) return std::nullopt;
  return std::wstring(buffer, size);
}

bool HostProcess::terminate() {
  return handle_ && TerminateProcess(static_cast<HANDLE>(handle_), 0);
}

bool HostProcess::wait(std::chrono::milliseconds timeout) {
  if (!handle_) return false;
  DWORD ms = timeout.count() < 0 ? 0 : static_cast<DWORD>(timeout.count());
  return WaitForSingleObject(static_cast<HANDLE>(handle_), ms) == WAIT_OBJECT_0;
}

void HostProcess::close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace vorn::platform
