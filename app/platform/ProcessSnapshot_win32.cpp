#include "app/platform/ProcessSnapshot.h"

#include <windows.h>
#include <tlhelp32.h>

namespace vorn::platform {
namespace {

void fill(const PROCESSENTRY32W& raw, ProcessEntry& entry) {
  entry.pid = raw.th32ProcessID;
  entry.exe_name = raw.szExeFile;
}

}  // namespace

ProcessSnapshot::ProcessSnapshot() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) handle_ = snapshot;
}

ProcessSnapshot::~ProcessSnapshot() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

bool ProcessSnapshot::valid() const { return handle_ != nullptr; }

bool ProcessSnapshot::first(ProcessEntry& entry) {
  if (!handle_) return false;
  PROCESSENTRY32W raw{};
  raw.dwSize = sizeof raw;
  if (!Process32FirstW(static_cast<HANDLE>(handle_), &raw)) return false;
  fill(raw, entry);
  return true;
}

bool ProcessSnapshot::next(ProcessEntry& entry) {
  if (!handle_) return false;
  PROCESSENTRY32W raw{};
  raw.dwSize = sizeof raw;
  if (!Process32NextW(static_cast<HANDLE>(handle_), &raw)) return false;
  fill(raw, entry);
  return true;
}

}  // namespace vorn::platform
