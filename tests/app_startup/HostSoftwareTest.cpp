#include <algorithm>
#include <thread>

#ifndef _WIN32
#include <sys/prctl.h>
#include <sys/wait.h>
#endif

#include "AppTestFixture.h"
#include "app/HostSoftware.h"
#include "platform/Registry.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;

std::wstring folded(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c == L'/') c = L'\\';
  }
  return text;
}

// Host software under names of this test's own: the executable's name is given in another letter
// case than the copy carries, as the name compares ignoring case.
class HostSoftwareTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    exe_name_ = UniqueName(L"HubCast", L".Exe");
    event_name_ = L"Global\\" + UniqueName(L"VornTestShutdown", L"");
    config_.executable = folded(exe_name_);
    config_.shutdown_event = event_name_;
    config_.shutdown_grace = 200ms;  // time for a stand-in that saw its event to end
    config_.terminate_wait = 2000ms;  // a bound, not a delay: the wait ends when the process does
    copy_ = std::make_unique<StandInCopy>(exe_name_);
  }

  HostSoftware host() { return HostSoftware(config_, Settings(key_)); }

  // Compares paths as the file system does on both platforms here.
  bool same_path(const std::wstring& found, const std::filesystem::path& expected) {
    return folded(found) == folded(expected.wstring());
  }

  // Waits until no host process is found any more.
  bool host_gone() {
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (host().FindHostPath().empty()) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  std::wstring exe_name_;
  std::wstring event_name_;
  HostSoftwareConfig config_;
  std::unique_ptr<StandInCopy> copy_;
};

TEST_F(HostSoftwareTest, NoHostRunningMeansNoEventNothingEndedAndNoRestart) {
  HostShutdown shutdown = host().ShutdownHost();
  EXPECT_TRUE(shutdown.path.empty());
  EXPECT_FALSE(shutdown.restart_host);
  EXPECT_FALSE(logged(L"Setting Shutdown Event...\n"));
  EXPECT_TRUE(host().TerminateHostProcesses());
  for (const std::wstring& m : messages()) EXPECT_EQ(m.find(L"Terminating"), std::wstring::npos);
}

TEST_F(HostSoftwareTest, HostThatHonoursTheEventIsFoundAndEndsByItself) {
  StandInProcess process;
  ASSERT_TRUE(process.start(copy_->path(), event_name_));
  EXPECT_TRUE(same_path(host().FindHostPath(), copy_->path()));

  HostShutdown shutdown = host().ShutdownHost();
  EXPECT_TRUE(same_path(shutdown.path, copy_->path()));
  EXPECT_TRUE(shutdown.restart_host);
  EXPECT_TRUE(logged(L"Setting Shutdown Event...\n"));
  EXPECT_EQ(process.wait_exit(20s), 0);  // it saw the event, rather than being terminated
}

TEST_F(HostSoftwareTest, HostsLeftAfterTheEventAreTerminated) {
  StandInProcess first, second;
  ASSERT_TRUE(first.start(copy_->path(), event_name_, {L"--linger"}));
  const std::wstring other_event = L"Global\\" + UniqueName(L"VornTestOther", L"");
  ASSERT_TRUE(second.start(copy_->path(), other_event, {L"--linger"}));

  HostShutdown shutdown = host().ShutdownHost();
  EXPECT_TRUE(shutdown.restart_host);
  EXPECT_TRUE(same_path(shutdown.path, copy_->path()));
  EXPECT_TRUE(first.wait_exit(20s).has_value());
  EXPECT_TRUE(second.wait_exit(20s).has_value());
  std::vector<std::wstring> lines = messages();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Terminating " + config_.executable + L"...\n"), 2);
}

#ifndef _WIN32
TEST_F(HostSoftwareTest, HostIgnoringSigtermIsKilledAfterTheWait) {
  config_.terminate_wait = 50ms;
  StandInProcess process;
  ASSERT_TRUE(process.start(copy_->path(), event_name_, {L"--linger", L"--ignore-term"}));
  EXPECT_TRUE(host().TerminateHostProcesses());
  EXPECT_EQ(process.wait_exit(20s), 128 + SIGKILL);
}
#endif

TEST_F(HostSoftwareTest, StoppedHostIsRestartedFromTheStoredPath) {
  {
    StandInProcess process;
    ASSERT_TRUE(process.start(copy_->path(), event_name_));
    HostSoftware software = host();
    HostShutdown shutdown = software.ShutdownHost();
    ASSERT_TRUE(software.StoreHostPath(shutdown.path));
    software.CountRun();
    EXPECT_EQ(process.wait_exit(20s), 0);
  }
  EXPECT_EQ(dovod::platform::Registry::read_dword(key_, "NumRetries"), 1u);

#ifndef _WIN32
  // The restarted host is detached from us; adopting orphans lets the test reap it at the end
  // instead of leaving a zombie behind.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  // Root starts the host only for the user who asked for root.
  SudoFromSecondUser sudo;
  // Started without arguments, the stand-in names its event after its own file.
  ASSERT_TRUE(host().RestartHost());
  config_.shutdown_event = L"Global\\" + exe_name_;
  ASSERT_TRUE(EventAppears(config_.shutdown_event, 20s));
  EXPECT_TRUE(same_path(host().FindHostPath(), copy_->path()));

  // And it stops again, as on the tool's next run.
  HostShutdown again = host().ShutdownHost();
  EXPECT_TRUE(again.restart_host);
  EXPECT_TRUE(host_gone());
#ifndef _WIN32
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
#endif
}

TEST_F(HostSoftwareTest, RestartSkipsAMissingOrVanishedPath) {
  EXPECT_FALSE(host().RestartHost());  // nothing stored
  ASSERT_TRUE(host().StoreHostPath((folder_ / "gone" / "Hubcast.exe").wstring()));
  EXPECT_FALSE(host().RestartHost());
  EXPECT_TRUE(host().FindHostPath().empty());
}

}  // namespace
}  // namespace vorn::testing
