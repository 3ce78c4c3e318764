#include "app/HostSoftware.h"

#include <filesystem>
#include <thread>

#include "app/AppLog.h"
#include "app/ImagePath.h"
#include "app/platform/DosDevice.h"
#include "app/platform/HostProcess.h"
#include "app/platform/NamedEvent.h"
#include "app/platform/ProcessSnapshot.h"
#include "app/platform/ShellOpen.h"

namespace vorn {
namespace {

wchar_t fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// Takes the snapshot and its first entry, logging why when either fails.
bool start_snapshot(platform::ProcessSnapshot& snapshot, platform::ProcessEntry& entry) {
  if (!snapshot.valid()) {
    LogMessage(L"Failed to get a snapshot\n");
    return false;
  }
  if (!snapshot.first(entry)) {
    LogMessage(L"Failed to get first process!\n");
    return false;
  }
  return true;
}

}  // namespace

HostSoftware::HostSoftware(HostSoftwareConfig config, Settings settings)
    : config_(std::move(config)), settings_(std::move(settings)) {}

bool HostSoftware::is_host(const std::wstring& exe_name) const {
  return same_ignoring_case(exe_name, config_.executable);
}

std::optional<std::wstring> HostSoftware::host_image(const platform::HostProcess& process) const {
  std::optional<std::wstring> path = process.image_path();
  if (!path || !is_host(std::filesystem::path(*path).filename().wstring())) return std::nullopt;
  return path;
}

HostShutdown HostSoftware::ShutdownHost() {
  HostShutdown result;
  result.path = FindHostPath();
  platform::NamedEvent event;
  if (event.open_existing(config_.shutdown_event)) {
    LogMessage(L"Setting Shutdown Event...\n");
    event.set();
    event.close();
    std::this_thread::sleep_for(config_.shutdown_grace);
    TerminateHostProcesses();
    result.restart_host = true;
  }
  return result;
}

std::wstring HostSoftware::FindHostPath() {
  platform::ProcessSnapshot snapshot;
  platform::ProcessEntry entry;
  if (!start_snapshot(snapshot, entry)) return {};
  do {
    if (!is_host(entry.exe_name)) continue;
    platform::HostProcess process;
    if (!process.open(entry.pid, platform::HostProcess::Access::Query)) {
      LogMessage(L"Failed to get process handle!\n");
      continue;
    }
    std::optional<std::wstring> path = host_image(process);
    if (!path) continue;
    return NormaliseImagePath(*path, platform::DosDeviceName);
  } while (snapshot.next(entry));
  return {};
}

bool HostSoftware::TerminateHostProcesses() {
  platform::ProcessSnapshot snapshot;
  platform::ProcessEntry entry;
  if (!start_snapshot(snapshot, entry)) return false;
  do {
    if (!is_host(entry.exe_name)) continue;
    platform::HostProcess process;
    if (!process.open(entry.pid, platform::HostProcess::Access::Terminate)) {
      LogMessage(L"Failed to get process handle!\n");
      continue;
    }
    // The id was the host's when the snapshot was taken; what it names now is checked through the
    // open process before it is ended.
    if (!host_image(process)) continue;
    LogMessage(L"Terminating %s...\n", config_.executable.c_str());
    if (!process.terminate()) LogMessage(L"Failed to terminate process %s...\n", config_.executable.c_str());
    process.wait(config_.terminate_wait);
  } while (snapshot.next(entry));
  return true;
}

bool HostSoftware::StoreHostPath(const std::wstring& path) { return settings_.StoreHostPath(path); }

void HostSoftware::CountRun() { settings_.CountRun(); }

bool HostSoftware::RestartHost() {
  std::optional<std::wstring> path = settings_.ReadHostPath();
  return path && platform::ShellOpen(*path);
}

}  // namespace vorn
