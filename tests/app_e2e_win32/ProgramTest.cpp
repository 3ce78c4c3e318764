#include <gtest/gtest.h>

#include <windows.h>

#include "LogText.h"
#include "StandInProcess.h"
#include "WindowsProgramRun.h"
#include "app/Settings.h"
#include "app/WideText.h"
#include "app/platform/NamedEvent.h"
#include "platform/Registry.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;

const std::wstring kSucceeded = L"Autopilot: succeeded, progress 183824 of 183824\n";
const std::wstring kUpdated = L"Simulated keyboard runs 5.1.17\n";
// The stand-in started from its stored path names its event after its file name.
const std::wstring kRestartedHostEvent = L"Global\\Hubcast.exe";

std::wstring State(int from, int to) {
  return L"CVornDFUDlg::SwitchToState() called from " + std::to_wstring(from) + L" to " + std::to_wstring(to) + L"\n";
}

std::string Missing(const std::wstring& missing, const std::wstring& log) {
  return "missing " + Utf8FromWide(missing) + " in\n" + Utf8FromWide(log);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class ProgramTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // A host the tool started again is ended, so no later run finds it.
    platform::NamedEvent restarted;
    if (restarted.open_existing(kRestartedHostEvent)) restarted.set();
  }
  WindowsProgramRun run_;
};

TEST_F(ProgramTest, UpdateStopsTheHostUpdatesTheKeyboardAndStartsTheHostAgain) {
  StandInCopy host_copy(L"Hubcast.exe");
  StandInProcess host;
  ASSERT_TRUE(host.start(host_copy.path(), L"Global\\Hubcast_1.00_GlobalShutdown"));
  ASSERT_TRUE(dovod::platform::Registry::write_dword(kSettingsKey, kRunCountValue, 41));

  EXPECT_EQ(run_.run(L"/LOG"), 0);

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
      << Missing(missing, log);
  EXPECT_EQ(log.find(L"RetryDfu"), std::wstring::npos);

  const std::optional<std::string> stored = dovod::platform::Registry::read_string(kSettingsKey, kHostPathValue, 1024);
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(SamePath(WideFromUtf8(*stored), host_copy.path().wstring())) << *stored;
  EXPECT_EQ(dovod::platform::Registry::read_dword(kSettingsKey, kRunCountValue), 42u);
  EXPECT_TRUE(EventAppears(kRestartedHostEvent, 20s));
}

// Each of these scenarios run to its end by the autopilot, without the host software.
TEST_F(ProgramTest, ScenariosEndAsTheKeyboardBehaves) {
  struct Case {
    const wchar_t* scenario;
    std::vector<std::wstring> in_order;
    std::wstring never;
  };
  const Case cases[] = {
      {L"up-to-date", {State(1, 10), L"Autopilot: no-update-needed", kUpdated}, State(3, 4)},
      // The keyboard goes away mid-transfer and comes back in its bootloader: the transfer starts
      // again and ends in success. Its return may be handled in the same turn of the loop as its
      // removal, so the status in between need not settle for the autopilot to see it.
      {L"removed-mid-transfer",
       {State(1, 5), L" is removed.\n", State(6, 0), L" is arrived.\n", State(0, 1), State(1, 5), State(6, 7),
        State(8, 9), kSucceeded, kUpdated},
       L""},
  };
  for (const Case& c : cases) {
    WindowsProgramRun run;
    run.environment[L"DOVOD_SIMULATE"] = c.scenario;
    EXPECT_EQ(run.run(L"/LOG"), 0) << Utf8FromWide(c.scenario);
    const std::wstring log = run.log();
    std::wstring missing;
    EXPECT_TRUE(InOrder(log, c.in_order, &missing)) << Utf8FromWide(c.scenario) << ": " << Missing(missing, log);
    if (!c.never.empty()) {
      EXPECT_EQ(log.find(c.never), std::wstring::npos) << Utf8FromWide(c.scenario);
    }
    EXPECT_EQ(dovod::platform::Registry::read_dword(kSettingsKey, kRunCountValue), 1u);
  }
}

// A bootloader that refuses every retry ends the run in failure: after the countdown the tool
// starts the host software from its stored path, though it was not running at the start, and
// closes by itself.
TEST_F(ProgramTest, UpdateThatKeepsFailingCountsDownStartsTheHostAndCloses) {
  StandInCopy host_copy(L"Hubcast.exe");
  ASSERT_TRUE(dovod::platform::Registry::write_string(kSettingsKey, kHostPathValue, Utf8FromWide(host_copy.path().wstring())));
  run_.environment[L"DOVOD_SIMULATE"] = L"bootloader-fails";

  EXPECT_EQ(run_.run(L"/LOG"), 0);

  const std::wstring log = run_.log();
  std::wstring missing;
  EXPECT_TRUE(InOrder(log,
                      {State(3, 4), L"CVornDFUDlg::RetryDfu\n", State(6, 5), L"CVornDFUDlg::RetryDfu\n", State(6, 5),
                       L"CVornDFUDlg::RetryDfu\n", State(6, 11), L"Autopilot: failed"},
                      &missing))
      << Missing(missing, log);
  EXPECT_EQ(log.find(State(8, 9)), std::wstring::npos);
  EXPECT_TRUE(EventAppears(kRestartedHostEvent, 20s));
}

// Without /LOG nothing is written to the Documents folder, and the run is still counted.
TEST_F(ProgramTest, NoLogWithoutTheOption) {
  run_.environment[L"DOVOD_SIMULATE"] = L"up-to-date";
  EXPECT_EQ(run_.run(L"/SKIPDEVICE /FAILDEVICE=2"), 0);
  EXPECT_FALSE(std::filesystem::exists(run_.log_path()));
  EXPECT_EQ(dovod::platform::Registry::read_dword(kSettingsKey, kRunCountValue), 1u);
}

}  // namespace
}  // namespace vorn::testing
