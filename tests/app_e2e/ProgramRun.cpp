#include "ProgramRun.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "LogText.h"
#include "StandInProcess.h"

namespace vorn::testing {
namespace {

// Passed through so that sanitizer builds of the tool report as the test asks.
const char* const kInherited[] = {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"};

}  // namespace

ProgramRun::ProgramRun() {
  folder_ = std::filesystem::temp_directory_path() / UniqueName(L"vorn_e2e", L"");
  for (const char* sub : {"Documents", "config", "tmp", "runtime"}) std::filesystem::create_directories(folder_ / sub);
  std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
  for (const char* name : kInherited) {
    if (const char* value = std::getenv(name)) environment[name] = value;
  }
  environment["HOME"] = folder_.string();
  environment["XDG_CONFIG_HOME"] = (folder_ / "config").string();
  environment["XDG_DOCUMENTS_DIR"] = (folder_ / "Documents").string();
  environment["TMPDIR"] = (folder_ / "tmp").string();
  environment["XDG_RUNTIME_DIR"] = (folder_ / "runtime").string();
  environment["QT_QPA_PLATFORM"] = "offscreen";
  environment["VORN_AUTOPILOT"] = "0";
  environment["DOVOD_SIMULATE"] = "normal";
  // Small enough that a run takes seconds, large enough that a sanitizer build still answers each
  // packet well within the scaled packet timer.
  environment["DOVOD_SIMULATE_SCALE"] = "0.05";
}

ProgramRun::~ProgramRun() {
  stop();
  std::error_code ignored;
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(folder_, ignored);
}

bool ProgramRun::start(const std::vector<std::string>& arguments) {
  std::vector<std::string> args{VORN_PROGRAM};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env;
  for (const auto& [name, value] : environment)
    if (!value.empty()) env.push_back(name + "=" + value);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return false;
  pid_ = pid;
  return true;
}

std::optional<int> ProgramRun::run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
  if (!start(arguments)) return std::nullopt;
  return wait(limit);
}

std::optional<int> ProgramRun::wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (pid_ > 0) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop();
  return std::nullopt;
}

void ProgramRun::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::filesystem::path ProgramRun::log_path() const {
  return std::filesystem::path(environment.at("XDG_DOCUMENTS_DIR")) / "VornFirmwareUpdate.log";
}

std::wstring ProgramRun::log(bool* bom, bool* crlf) const { return ReadApplicationLog(log_path(), bom, crlf); }

}  // namespace vorn::testing
