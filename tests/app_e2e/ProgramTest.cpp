#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "ProgramRun.h"
#include "StandInProcess.h"
#include "app/Settings.h"
#include "app/WideText.h"
#include "app/platform/NamedEvent.h"
#include "platform/Registry.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;

const std::wstring kSucceeded = L"Autopilot: succeeded, progress 183824 of 183824\n";
const std::wstring kUpdated = L"Simulated keyboard runs 5.1.17\n";

std::wstring State(int from, int to) {
  return L"CVornDFUDlg::SwitchToState() called from " + std::to_wstring(from) + L" to " + std::to_wstring(to) + L"\n";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The settings store the tool writes is read here through the same layer.
    setenv("XDG_CONFIG_HOME", run_.environment["XDG_CONFIG_HOME"].c_str(), 1);
    // Events live in the user's runtime folder: the host started here and the tool share it.
    setenv("XDG_RUNTIME_DIR", run_.environment["XDG_RUNTIME_DIR"].c_str(), 1);
    // As root the tool restarts the host only for the user who asked for root.
    for (const char* name : {"SUDO_UID", "SUDO_GID"}) {
      if (const char* value = std::getenv(name)) run_.environment[name] = value;
    }
  }
  void TearDown() override {
    // A host the tool started again is ended, so no later run finds it.
    platform::NamedEvent restarted;
    if (restarted.open_existing(kRestartedHostEvent)) restarted.set();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_RUNTIME_DIR");
  }

  static std::optional<std::uint32_t> RunCount() {
    return dovod::platform::Registry::read_dword(kSettingsKey, kRunCountValue);
  }

  // The stand-in started from its stored path names its event after its file name.
  const std::wstring kRestartedHostEvent = L"Global\\Hubcast.exe";
  SudoFromSecondUser sudo_;
  ProgramRun run_;
};

TEST_F(ProgramTest, NormalUpdateStopsTheHostUpdatesTheKeyboardAndStartsTheHostAgain) {
  StandInCopy host_copy(L"Hubcast.exe");
  StandInProcess host;
  ASSERT_TRUE(host.start(host_copy.path(), L"Global\\Hubcast_1.00_GlobalShutdown"));
  ASSERT_TRUE(dovod::platform::Registry::write_dword(kSettingsKey, kRunCountValue, 41));

  EXPECT_EQ(run_.run({"/LOG"}), 0);

  // The host is gone, before the tool reached for the keyboard: on its shutdown event, or ended by
  // the tool when a slow build lets it outlast the scaled grace time.
  EXPECT_TRUE(host.wait_exit(10s).has_value());
  bool bom = false;
  bool crlf = false;
  const std::wstring log = run_.log(&bom, &crlf);
  EXPECT_TRUE(bom);
  EXPECT_TRUE(crlf);
  std::wstring missing;
  EXPECT_TRUE(InOrder(log,
                      {L"Simulated keyboard: scenario normal", L"Setting Shutdown Event...\n", L" is arrived.\n",
                       State(1, 3), State(3, 4), L"Autopilot: updating", State(6, 7), State(7, 8), State(8, 9),
                       kSucceeded, kUpdated},
                      &missing))
      << "missing " << Utf8FromWide(missing) << " in\n" << Utf8FromWide(log);
  EXPECT_EQ(log.find(L"RetryDfu"), std::wstring::npos);

  EXPECT_EQ(dovod::platform::Registry::read_string(kSettingsKey, kHostPathValue, 1024), host_copy.path().string());
  EXPECT_EQ(RunCount(), 42u);
  // Closed after success: the host is started again from the stored path.
  EXPECT_TRUE(EventAppears(kRestartedHostEvent, 20s));
}

// Each scenario of the simulator, run to its end by the autopilot.
TEST_F(ProgramTest, ScenariosEndAsTheKeyboardBehaves) {
  struct Case {
    const char* scenario;
    std::vector<std::string> arguments;
    std::vector<std::wstring> in_order;
    std::wstring never;
  };
  const Case cases[] = {
      {"up-to-date", {"/LOG"}, {State(1, 10), L"Autopilot: no-update-needed", kUpdated}, State(3, 4)},
      // Options ignore the case of their letters.
      {"up-to-date", {"/force", "/log"}, {State(1, 3), State(3, 4), State(8, 9), kSucceeded, kUpdated}, L""},
      {"in-bootloader",
       {"/LOG"},
       {L"CVornDFUDlg::onDeviceBootLoaderAttached", State(1, 5), State(6, 7), State(8, 9), kSucceeded, kUpdated},
       L"Autopilot: update-available"},
      // The library resends a packet whose reply was lost.
      {"lost-replies", {"/LOG"}, {State(3, 4), State(6, 7), State(8, 9), kSucceeded, kUpdated}, L""},
      {"removed-mid-transfer",
       {"/LOG"},
       {State(1, 5), L" is removed.\n", State(6, 0), L"Autopilot: waiting-for-device", L" is arrived.\n", State(0, 1),
        State(1, 5), State(6, 7), State(8, 9), kSucceeded, kUpdated},
       L""},
      // The refused packet costs one retry, which starts the transfer again from its first packet.
      {"bootloader-rejects",
       {"/LOG"},
       {State(1, 5), L"CVornDFUDlg::RetryDfu\n", State(6, 5), State(6, 7), State(8, 9), kSucceeded, kUpdated},
       L""},
  };
  for (const Case& c : cases) {
    ProgramRun run;
    run.environment["DOVOD_SIMULATE"] = c.scenario;
    EXPECT_EQ(run.run(c.arguments), 0) << c.scenario;
    const std::wstring log = run.log();
    std::wstring missing;
    EXPECT_TRUE(InOrder(log, c.in_order, &missing))
        << c.scenario << ": missing " << Utf8FromWide(missing) << " in\n" << Utf8FromWide(log);
    if (!c.never.empty()) {
      EXPECT_EQ(log.find(c.never), std::wstring::npos) << c.scenario;
    }
  }
}

// A bootloader that refuses every retry ends the run in failure: ten ticks later the tool restarts
// the host software from its stored path, though it was not running at the start, and closes.
TEST_F(ProgramTest, UpdateThatKeepsFailingClosesByItselfAndStartsTheHost) {
  StandInCopy host_copy(L"Hubcast.exe");
  ASSERT_TRUE(dovod::platform::Registry::write_string(kSettingsKey, kHostPathValue, host_copy.path().string()));
  run_.environment["DOVOD_SIMULATE"] = "bootloader-fails";

  EXPECT_EQ(run_.run({"/LOG"}), 0);

  const std::wstring log = run_.log();
  std::wstring missing;
  EXPECT_TRUE(InOrder(log,
                      {State(3, 4), L"CVornDFUDlg::RetryDfu\n", State(6, 5), L"CVornDFUDlg::RetryDfu\n", State(6, 5),
                       L"CVornDFUDlg::RetryDfu\n", State(6, 11), L"Autopilot: failed"},
                      &missing))
      << "missing " << Utf8FromWide(missing) << " in\n" << Utf8FromWide(log);
  EXPECT_EQ(log.find(State(8, 9)), std::wstring::npos);
  EXPECT_TRUE(EventAppears(kRestartedHostEvent, 20s));
}

TEST_F(ProgramTest, MalformedTokensAreIgnored) {
  run_.environment["DOVOD_SIMULATE"] = "up-to-date";
  const std::string long_token(5000, 'F');
  EXPECT_EQ(run_.run({"", "/FORCEDIR=", "/forcedir=x", "/faildevice=3", "/FAILDEVICE=abc",
                      "/FAILDEVICE=99999999999999999999", "\xff\xfe/FORCE", long_token, "/LOG"}),
            0);
  const std::wstring log = run_.log();
  EXPECT_TRUE(InOrder(log, {State(1, 10), L"Autopilot: no-update-needed"})) << Utf8FromWide(log);
  EXPECT_EQ(log.find(State(3, 4)), std::wstring::npos);
}

// Without the log option, or with a Documents folder that cannot hold a file, the tool still does
// its whole run and writes no log anywhere.
TEST_F(ProgramTest, LogStaysSilentWithoutOptionOrWritableFolder) {
  struct Case {
    const char* name;
    bool blocked_documents;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {{"no log option", false, {}}, {"Documents under a file", true, {"/LOG"}}};
  for (const Case& c : cases) {
    ProgramRun run;
    setenv("XDG_CONFIG_HOME", run.environment["XDG_CONFIG_HOME"].c_str(), 1);
    run.environment["DOVOD_SIMULATE"] = "up-to-date";
    if (c.blocked_documents) {
      const std::filesystem::path blocker = run.folder() / "not-a-folder";
      std::ofstream(blocker) << "x";
      run.environment["XDG_DOCUMENTS_DIR"] = (blocker / "Documents").string();
    }
    EXPECT_EQ(run.run(c.arguments), 0) << c.name;
    EXPECT_FALSE(std::filesystem::exists(run.log_path())) << c.name;
    EXPECT_FALSE(std::filesystem::exists(run.folder() / "Documents" / "VornFirmwareUpdate.log")) << c.name;
    EXPECT_EQ(RunCount(), 1u) << c.name;
  }
}

TEST_F(ProgramTest, UnknownScenarioIsLoggedAndTheToolWaitsForARealKeyboard) {
  run_.environment["DOVOD_SIMULATE"] = "no-such-scenario";
  ASSERT_TRUE(run_.start({"/LOG"}));
  std::wstring log;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (log.find(State(0, 0)) == std::wstring::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    log = run_.log();
  }
  run_.stop();
  EXPECT_TRUE(InOrder(log, {L"DOVOD_SIMULATE names no scenario: no-such-scenario\n", State(0, 0)}))
      << Utf8FromWide(log);
  EXPECT_EQ(log.find(L"Simulated keyboard"), std::wstring::npos);
}

}  // namespace
}  // namespace vorn::testing
