#include "app/platform/ProcFiles_linux.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string_view>

namespace vorn::platform {

std::optional<std::string> proc_executable(pid_t pid) {
  char buffer[4096];
  ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return std::nullopt;
  std::string_view path(buffer, static_cast<std::size_t>(n));
  // A replaced executable still runs; its link carries this suffix.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
    path.remove_suffix(kDeleted.size());
  return std::string(path);
}

bool proc_runs_as(pid_t pid, uid_t uid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Uid:", 0) != 0) continue;
    std::istringstream ids(line.substr(4));
    long long real = -1, effective = -1;
    ids >> real >> effective;
    return ids && real == static_cast<long long>(uid) && effective == static_cast<long long>(uid);
  }
  return false;
}

}  // namespace vorn::platform
