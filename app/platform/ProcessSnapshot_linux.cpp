#include "app/platform/ProcessSnapshot.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>

#include "app/WideText.h"
#include "app/platform/CallingUser_linux.h"
#include "app/platform/ProcFiles_linux.h"

namespace vorn::platform {
namespace {

// Only the calling user's own processes, known by their executable: a process's command name is
// its own choice, and another user's program is no host of ours to end or to start again.
std::string exe_name(pid_t pid, uid_t user) {
  if (!proc_runs_as(pid, user)) return {};
  std::optional<std::string> path = proc_executable(pid);
  if (!path) return {};
  std::size_t slash = path->rfind('/');
  return slash == std::string::npos ? *path : path->substr(slash + 1);
}

}  // namespace

ProcessSnapshot::ProcessSnapshot() {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  const uid_t user = calling_user().uid;
  while (dirent* entry = readdir(proc)) {
    std::string name = entry->d_name;
    if (name.empty() || name.size() > 10) continue;
    bool digits = true;
    for (char c : name) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits) continue;
    const auto pid = static_cast<std::uint32_t>(std::stoul(name));
    std::string exe = exe_name(static_cast<pid_t>(pid), user);
    if (exe.empty()) continue;  // another user's, gone meanwhile, or a kernel thread
    entries_.push_back({pid, WideFromUtf8(exe)});
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
