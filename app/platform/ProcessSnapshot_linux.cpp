#include "app/platform/ProcessSnapshot.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <string_view>

#include "app/WideText.h"

namespace vorn::platform {
namespace {

// The executable's file name from /proc/<pid>/exe; a process whose link we may not read (another
// user's) is known by its command name instead, as a snapshot lists every process.
std::string exe_name(const std::string& pid) {
  char buffer[4096];
  ssize_t n = readlink(("/proc/" + pid + "/exe").c_str(), buffer, sizeof buffer);
  if (n > 0 && n < static_cast<ssize_t>(sizeof buffer)) {
    std::string_view path(buffer, static_cast<std::size_t>(n));
    // A replaced executable still runs; its link carries this suffix.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
      path.remove_suffix(kDeleted.size());
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
  }
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

ProcessSnapshot::ProcessSnapshot() {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* entry = readdir(proc)) {
    std::string name = entry->d_name;
    if (name.empty() || name.size() > 10) continue;
    bool digits = true;
    for (char c : name) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits) continue;
    std::string exe = exe_name(name);
    if (exe.empty()) continue;  // gone meanwhile, or a kernel thread
    entries_.push_back({static_cast<std::uint32_t>(std::stoul(name)), WideFromUtf8(exe)});
  }
  closedir(proc);
  valid_ = true;
}

ProcessSnapshot::~ProcessSnapshot() = default;

bool ProcessSnapshot::valid() const { return valid_; }

bool ProcessSnapshot::first(ProcessEntry& entry) {
  next_ = 0;
  return next(entry);
}

bool ProcessSnapshot::next(ProcessEntry& entry) {
  if (!valid_ || next_ >= entries_.size()) return false;
  entry = entries_[next_++];
  return true;
}

}  // namespace vorn::platform
