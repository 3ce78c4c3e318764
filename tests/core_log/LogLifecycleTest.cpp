#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LogFixture.h"
#include "core/LogBuffer.h"
#include "dovod/xLog.h"

namespace dovod::testing {
namespace {

using LogLifecycle = LogTest;
namespace fs = std::filesystem;

TEST_F(LogLifecycle, AfterShutdownEveryThreadWritesStraightToTheFile) {
  tuning_.start_thread = true;
  tuning_.flush_wait = std::chrono::hours(1);  // no idle flush can hide a missing direct write
  set("loggingoutput", 5);
  start();
  {
    Vs2003SingletonThreadCleanup guard;
    for (int i = 0; i < 100; ++i) xLog("T", LOG_INFO, "dovod::A::f", "buffered %d", i);
  }
  std::vector<std::string> lines = read_file();
  EXPECT_TRUE(contains(lines, "A::f buffered 99"));
  for (const char* step : {"_shutdown set to true", "notifying logging thread of shutdown", "joining log thread",
                           "LogBuffer::logthreadproc log thread exiting", "freeing tag info",
                           "logging is now direct to file, all tags enabled"})
    EXPECT_TRUE(contains(lines, step)) << step;

  std::thread other([] { xLog("Other", LOG_DEBUG, "dovod::B::g", "direct"); });
  other.join();
  EXPECT_TRUE(contains(read_file(), "B::g direct"));
  // The tag sets are gone: a tag that was filtered before now reaches the console.
  EXPECT_TRUE(contains(console(), "DEBUG - B::g direct"));

  LogBuffer::shutdown();
  EXPECT_TRUE(contains(read_file(), "LogBuffer::shutdown already shut down"));
}

TEST_F(LogLifecycle, IdleThreadFlushesTheFileAfterTheWait) {
  tuning_.start_thread = true;
  set("loggingoutput", 4);
  start();
  xLog("T", LOG_INFO, "dovod::A::f", "visible without shutdown");
  // Waits for the event, bounded; the flush itself comes after the scaled 10 ms.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::vector<std::string> lines;
  while (!contains(lines = read_file(), "logthreadproc First flush") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(contains(lines, "A::f visible without shutdown"));
  EXPECT_TRUE(contains(lines, "logthreadproc First flush"));
}

TEST_F(LogLifecycle, AFileThatFailsOnWriteIsClosedAndLoggingGoesOn) {
  set("loggingoutput", 5);
  start();
  xLog("T", LOG_INFO, "dovod::A::f", "before");
  file_lines();
  fs::path readonly = folder_ / "readonly.txt";
  std::ofstream(readonly) << "x";
  log_testing::replace_file(std::fopen(readonly.string().c_str(), "r"));

  EXPECT_TRUE(xLog("T", LOG_INFO, "dovod::A::f", "refused by the file"));
  while (log_testing::drain_once()) {
  }
  EXPECT_TRUE(contains(console(), "ERROR - LogFpErrorAndClose fputs failed in output_to_file, errno="));
  EXPECT_TRUE(xLog("T", LOG_ERROR, "dovod::A::f", "still logging"));
  while (log_testing::drain_once()) {
  }
  EXPECT_TRUE(contains(console(), "ERROR - A::f still logging"));
  log_testing::flush();
}

TEST_F(LogLifecycle, WithoutAFolderMessagesStillReachTheConsole) {
  struct Case {
    std::string temp;
    const char* complaint;
  } cases[] = {
      {"", "ERROR - xLogInit Could not get path for log files"},
      {std::string(290, 'p'), "ERROR - xLogInit Could not get path for log files"},
      // A plain file where the folder should be created.
      {(folder_ / "plainfile").string() + platform::Folders::separator, "ERROR - xLogInit Refused log folder "},
  };
  std::ofstream(folder_ / "plainfile") << "x";
  for (const Case& c : cases) {
    tuning_.temp_folder = c.temp;
    set("loggingoutput", 5);
    start();
    EXPECT_TRUE(xLog("T", LOG_ERROR, "dovod::A::f", "shown"));
    while (log_testing::drain_once()) {
    }
    std::vector<std::string> lines = console();
    EXPECT_TRUE(contains(lines, c.complaint)) << c.temp.substr(0, 40);
    EXPECT_TRUE(contains(lines, "ERROR - A::f shown"));
    EXPECT_EQ(log_testing::log_file_path(), "");
    std::lock_guard<std::mutex> lock(capture_.mutex);
    capture_.console.clear();
  }
}

TEST_F(LogLifecycle, PurgesFilesAWeekOlderThanTheNewest) {
  fs::path logs = folder_ / "xlog_corvane";
  fs::create_directories(logs);
  fs::permissions(logs, fs::perms::owner_all);  // as the log makes it
  auto now = fs::file_time_type::clock::now();
  auto days = [](int n) { return std::chrono::hours(24 * n) + std::chrono::minutes(1); };
  struct File {
    const char* name;
    int age_days;
    bool kept;
  } files[] = {
      {"xlog_20200101_000000_1_testcorelog_dovod.dblog", 0, true},
      {"xlog_20200101_000000_2_testcorelog_dovod.dblog", 6, true},
      {"xlog_20200101_000000_3_testcorelog_dovod.dblog", 7, false},
      {"xlog_20200101_000000_4_testcorelog_dovod.dblog", 30, false},
      {"xlog_20200101_000000_5_otherprogram_dovod.dblog", 30, true},
      {"notes_testcorelog_dovod.dblog", 30, true},
  };
  for (const File& f : files) {
    std::ofstream(logs / f.name) << "old";
    fs::last_write_time(logs / f.name, now - days(f.age_days));
  }
  set("loggingoutput", 4);
  start();
  xLog("T", LOG_INFO, "dovod::A::f", "start");
  std::vector<std::string> messages = file_messages();
  for (const File& f : files) EXPECT_EQ(fs::exists(logs / f.name), f.kept) << f.name;
  EXPECT_TRUE(contains(messages, "XLogPlatformSpecific::purgeOldLogFiles Keeping 6 day old log file " +
                                     (logs / files[1].name).string()));
  EXPECT_TRUE(contains(messages, "XLogPlatformSpecific::purgeOldLogFiles Purging 7 day old log file " +
                                     (logs / files[2].name).string()));
  EXPECT_TRUE(contains(messages, "Purging 30 day old log file"));
  EXPECT_FALSE(contains(messages, "otherprogram"));
}

}  // namespace
}  // namespace dovod::testing
