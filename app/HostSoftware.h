#pragma once
// The maker's host software, which holds the keyboard while it runs: the tool asks it to shut down
// through its shutdown event, ends whatever is left of it, remembers where it was started from and
// starts it again when the tool closes.

#include <chrono>
#include <optional>
#include <string>

#include "app/Settings.h"

namespace vorn::platform {
class HostProcess;
}

namespace vorn {

struct HostSoftwareConfig {
  std::wstring executable = L"Hubcast.exe";  // compared ignoring case
  std::wstring shutdown_event = L"Global\\Hubcast_1.00_GlobalShutdown";
  // How long the host gets to close by itself after its event is set.
  std::chrono::milliseconds shutdown_grace{1000};
  // How long to wait for each terminated process to end.
  std::chrono::milliseconds terminate_wait{1000};
};

struct HostShutdown {
  std::wstring path;           // where the running host software was started from; empty if none
  bool restart_host = false;   // whether its shutdown event existed
};

class HostSoftware {
 public:
  explicit HostSoftware(HostSoftwareConfig config = {}, Settings settings = Settings());

  // Finds the running host's path, sets its shutdown event when it exists, waits the grace time
  // and ends the host's remaining processes.
  HostShutdown ShutdownHost();

  // The full path of the first running host process; empty when none can be read.
  std::wstring FindHostPath();

  // Ends every running host process; false when the process list could not be read.
  bool TerminateHostProcesses();

  // Stores a non-empty host path in the settings; false when the registry refuses.
  bool StoreHostPath(const std::wstring& path);

  void CountRun();

  // Starts the host from the stored path; false (and nothing started) when no path is stored or
  // the program cannot be started from it.
  bool RestartHost();

 private:
  bool is_host(const std::wstring& exe_name) const;
  // The open process's image path when its file name is the host's; nothing otherwise.
  std::optional<std::wstring> host_image(const platform::HostProcess& process) const;

  HostSoftwareConfig config_;
  Settings settings_;
};

}  // namespace vorn
