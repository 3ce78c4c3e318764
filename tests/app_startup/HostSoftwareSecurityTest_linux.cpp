// What a second local user can do to the host software's search, ending and restart: a process of
// theirs under the host's name, a program of theirs behind the stored path, and a tool run as root.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "AppTestFixture.h"
#include "OtherUser.h"
#include "app/HostSoftware.h"
#include "platform/Process.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

fs::path stand_in_original() {
  return fs::path(dovod::platform::Process::executable_path()).parent_path() / "vorn_host_stand_in";
}

// A copy of the stand-in at `path` with `mode` and owner; missing folders are made root's, 0755.
fs::path plant(const fs::path& path, mode_t mode = 0755, uid_t owner = 0) {
  fs::create_directories(path.parent_path());
  fs::copy_file(stand_in_original(), path, fs::copy_options::overwrite_existing);
  EXPECT_EQ(chown(path.c_str(), owner, owner), 0);
  EXPECT_EQ(chmod(path.c_str(), mode), 0);
  return path;
}

fs::path make_folder(const fs::path& path, mode_t mode, uid_t owner = 0) {
  fs::create_directories(path);
  EXPECT_EQ(chown(path.c_str(), owner, owner), 0);
  EXPECT_EQ(chmod(path.c_str(), mode), 0);
  return path;
}

std::optional<fs::path> executable_of(pid_t pid) {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  if (error) return std::nullopt;
  return exe;
}

// The processes whose executable lies in `folder` (at any depth).
std::vector<pid_t> processes_below(const fs::path& folder) {
  std::vector<pid_t> found;
  const std::string prefix = folder.string() + "/";
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (std::optional<fs::path> exe = executable_of(pid); exe && exe->string().rfind(prefix, 0) == 0)
      found.push_back(pid);
  }
  return found;
}

bool wait_until(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

// The first two numbers of a "Uid:" or "Gid:" line of /proc/<pid>/status (real and effective),
// or the "Groups:" line's numbers.
std::vector<long> status_numbers(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) != 0) continue;
    std::istringstream in(line.substr(field.size() + 1));
    std::vector<long> numbers;
    for (long n = 0; in >> n;) numbers.push_back(n);
    return numbers;
  }
  return {};
}

std::vector<std::string> environment_of(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  std::vector<std::string> variables;
  for (std::string variable; std::getline(file, variable, '\0');) variables.push_back(variable);
  return variables;
}

std::vector<fs::path> open_files_of(pid_t pid) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code ignored;
    files.push_back(fs::read_symlink(fd.path(), ignored));
  }
  return files;
}

// Sets environment variables (nothing: removes them) and puts the old values back at the end.
class Environment {
 public:
  void set(const std::string& name, std::optional<std::string> value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Host software under a name of the test's own, in a folder of the test's own that only root may
// write: the place the tool accepts a program from when it runs as root.
class HostSecurityTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    exe_name_ = UniqueName(L"Hubcast", L".exe");
    config_.executable = exe_name_;
    config_.shutdown_event = L"Global\\" + UniqueName(L"VornTestShutdown", L"");
    config_.shutdown_grace = 0ms;
    config_.terminate_wait = 2000ms;  // a bound: the wait ends when the process does
    // What the tool starts is detached from it; adopting orphans lets the test end and reap it.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void TearDown() override {
    for (pid_t pid : processes_below(folder_)) kill(pid, SIGKILL);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    AppTest::TearDown();
  }

  HostSoftware host() { return HostSoftware(config_, Settings(key_)); }

  // Restarts the host from `stored`; the process that then runs from below the test's folder.
  std::optional<pid_t> restart_from(const std::wstring& stored, bool& started) {
    EXPECT_TRUE(host().StoreHostPath(stored));
    started = host().RestartHost();
    if (!started) return std::nullopt;
    std::vector<pid_t> running;
    wait_until([&] { return !(running = processes_below(folder_)).empty(); });
    if (running.size() != 1) return std::nullopt;
    return running[0];
  }

  std::wstring exe_name_;
  HostSoftwareConfig config_;
};

TEST_F(HostSecurityTest, AnotherUsersProcessUnderTheHostsNameIsNeitherEndedNorStored) {
  VORN_REQUIRE_OTHER_USER();
  fs::path shared = folder_ / "shared";
  make_shared_folder(shared);
  const fs::path planted = plant(shared / exe_name_, 0755, kOtherUid);
  // It even serves the host's shutdown event, and stays when that is set.
  OtherUserProcess other({planted.string(), Utf8FromWide(config_.shutdown_event), "--linger"});
  ASSERT_TRUE(wait_until([&] { return executable_of(other.pid()) == planted; }));

  HostSoftware software = host();
  EXPECT_TRUE(software.FindHostPath().empty());
  EXPECT_TRUE(software.TerminateHostProcesses());
  HostShutdown shutdown = software.ShutdownHost();
  EXPECT_TRUE(shutdown.path.empty());
  ASSERT_TRUE(software.StoreHostPath(shutdown.path));
  EXPECT_FALSE(Settings(key_).ReadHostPath().has_value());
  for (const std::wstring& m : messages()) EXPECT_EQ(m.find(L"Terminating"), std::wstring::npos) << m;
  EXPECT_TRUE(other.running());
}

// Each case plants a program below `base` under the file name `exe` and gives the path the tool
// then finds stored.
using In = const fs::path&;
struct StoredPath {
  const char* name;
  std::function<fs::path(In base, In exe)> plant;
};

TEST_F(HostSecurityTest, AStoredPathThatAnotherUserCouldHaveChangedIsNotStarted) {
  VORN_REQUIRE_OTHER_USER();
  SudoFromSecondUser sudo;  // root, on behalf of the second user
  const std::vector<StoredPath> cases = {
      {"owned by the other user", [](In base, In exe) { return plant(base / exe, 0755, kOtherUid); }},
      {"writable by others", [](In base, In exe) { return plant(base / exe, 0757); }},
      {"writable by its group", [](In base, In exe) { return plant(base / exe, 0775); }},
      {"in a folder writable by others",
       [](In base, In exe) { return plant(make_folder(base / "open", 0777) / exe); }},
      {"in a sticky folder writable by all, as /tmp is",
       [](In base, In exe) { return plant(make_folder(base / "sticky", 01777) / exe); }},
      {"in a folder of the other user",
       [](In base, In exe) { return plant(make_folder(base / "theirs", 0755, kOtherUid) / exe); }},
      {"below a folder writable by others", [](In base, In exe) {
         make_folder(base / "open", 0777);
         return plant(base / "open" / "sub" / exe);
       }},
      {"a symbolic link to an acceptable copy", [](In base, In exe) {
         fs::path real = plant(base / "real" / exe);
         fs::create_directories(base / "link");
         fs::create_symlink(real, base / "link" / exe);
         return base / "link" / exe;
       }},
      {"through a linked folder", [](In base, In exe) {
         plant(base / "real" / exe);
         fs::create_directory_symlink(base / "real", base / "linked");
         return base / "linked" / exe;
       }},
      {"relative", [](In base, In exe) { return fs::relative(plant(base / exe), fs::current_path()); }},
      {"a folder, not a regular file", [](In base, In exe) { return make_folder(base / exe, 0755); }},
      {"not executable", [](In base, In exe) { return plant(base / exe, 0644); }},
      {"missing from its root-owned folder", [](In base, In exe) { return make_folder(base, 0755) / exe; }},
      {"a pipe, not a regular file", [](In base, In exe) {
         fs::create_directories(base);
         mkfifo((base / exe).c_str(), 0755);
         return base / exe;
       }},
  };
  int index = 0;
  for (const StoredPath& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path base = folder_ / ("case" + std::to_string(++index));
    const fs::path stored = c.plant(base, fs::path(exe_name_));
    bool started = false;
    restart_from(stored.wstring(), started);
    EXPECT_FALSE(started);
    EXPECT_TRUE(processes_below(base).empty());
  }
  // The same program in root's own folders is started.
  bool started = false;
  EXPECT_TRUE(restart_from(plant(folder_ / "accepted" / exe_name_).wstring(), started).has_value());
  EXPECT_TRUE(started);
}

// The environment a root tool finds itself run with, and the user it then starts the host as.
struct RootRun {
  const char* name;
  std::map<std::string, std::optional<std::string>> environment;
  std::optional<long> uid;  // nothing: the host is not started at all
  long gid;
};

TEST_F(HostSecurityTest, AsRootTheHostRunsAsTheUserWhoAskedForRootOrNotAtAll) {
  VORN_REQUIRE_OTHER_USER();
  const std::string other = std::to_string(kOtherUid);
  const std::map<std::string, std::optional<std::string>> nothing = {
      {"SUDO_UID", std::nullopt}, {"SUDO_GID", std::nullopt}, {"PKEXEC_UID", std::nullopt}};
  const std::vector<RootRun> runs = {
      {"sudo", {{"SUDO_UID", other}, {"SUDO_GID", "61240"}}, kOtherUid, 61240},
      {"sudo without a group", {{"SUDO_UID", other}}, kOtherUid, kOtherUid},
      {"sudo with root's group", {{"SUDO_UID", other}, {"SUDO_GID", "0"}}, kOtherUid, kOtherUid},
      {"pkexec", {{"PKEXEC_UID", other}}, kOtherUid, kOtherUid},
      {"root alone", {}, std::nullopt, 0},
      {"sudo from root", {{"SUDO_UID", "0"}, {"SUDO_GID", "0"}}, std::nullopt, 0},
      {"a user id that is no number", {{"SUDO_UID", other + "x"}}, std::nullopt, 0},
  };
  const fs::path exe = plant(folder_ / "root" / exe_name_);
  for (const RootRun& run : runs) {
    SCOPED_TRACE(run.name);
    Environment environment;
    for (const auto& [name, value] : nothing) environment.set(name, value);
    for (const auto& [name, value] : run.environment) environment.set(name, value);
    bool started = false;
    std::optional<pid_t> pid = restart_from(exe.wstring(), started);
    EXPECT_EQ(started, run.uid.has_value());
    if (!run.uid) {
      EXPECT_TRUE(processes_below(folder_).empty());
      EXPECT_TRUE(logged(L"Not starting " + exe.wstring() + L" as root: no user asked for root\n"));
      continue;
    }
    ASSERT_TRUE(pid.has_value());
    EXPECT_EQ(status_numbers(*pid, "Uid"), (std::vector<long>{*run.uid, *run.uid, *run.uid, *run.uid}));
    EXPECT_EQ(status_numbers(*pid, "Gid"), (std::vector<long>{run.gid, run.gid, run.gid, run.gid}));
    EXPECT_EQ(status_numbers(*pid, "Groups"), std::vector<long>{});  // none of root's
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
  }
}

TEST_F(HostSecurityTest, TheStartedHostGetsAMinimalEnvironmentAndNoneOfTheToolsDescriptors) {
  VORN_REQUIRE_OTHER_USER();
  SudoFromSecondUser sudo;
  Environment environment;
  environment.set("LD_LIBRARY_PATH", (folder_ / "libs").string());
  environment.set("VORN_TOOL_ONLY", "1");
  environment.set("LANG", "C.UTF-8");
  const fs::path held = folder_ / "held-open";
  const int fd = open(held.c_str(), O_RDWR | O_CREAT, 0600);  // inheritable, as a careless one would be
  ASSERT_GE(fd, 0);

  bool started = false;
  std::optional<pid_t> pid = restart_from(plant(folder_ / "root" / exe_name_).wstring(), started);
  close(fd);
  ASSERT_TRUE(pid.has_value());
  std::vector<std::string> variables = environment_of(*pid);
  EXPECT_NE(std::find(variables.begin(), variables.end(), "LANG=C.UTF-8"), variables.end());
  EXPECT_NE(std::find_if(variables.begin(), variables.end(), [](auto& v) { return v.rfind("PATH=", 0) == 0; }),
            variables.end());
  for (const std::string& variable : variables) {
    EXPECT_NE(variable.rfind("LD_", 0), 0u) << variable;
    EXPECT_NE(variable.rfind("VORN_TOOL_ONLY=", 0), 0u) << variable;
    EXPECT_NE(variable.rfind("SUDO_", 0), 0u) << variable;
  }
  for (const fs::path& file : open_files_of(*pid)) EXPECT_NE(file, held);
}

}  // namespace
}  // namespace vorn::testing
