#include <regex>
#include <string>

#include "LogFixture.h"
#include "dovod/xLog.h"
#include "platform/Process.h"

namespace dovod::testing {
namespace {

using LogOutput = LogTest;

// The settings lines of initialisation reach every output; the tests look at the rest.
std::vector<std::string> without_init(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines)
    if (line.find(" xLogInit ") == std::string::npos) out.push_back(line);
  return out;
}

TEST_F(LogOutput, TagsOnlyAllowedOnesAboveConsoleLevel) {
  set("loggingoutput", 7);
  set("LogTags", "-* +DeviceManager");
  start();
  xLog("DeviceManager", LOG_DEBUG, "dovod::DeviceManager::onPlug", "plugged %d", 1);
  xLog("Dovod", LOG_DEBUG, "dovod::CDovod::config_set", "hidden");
  xLog("Dovod", LOG_WARNING, "dovod::CDovod::config_set", "warned");
  xLog("Other", LOG_DEBUG, "dovod::Other::run", "-DeviceManager- own tag");
  xLog("DeviceManager", LOG_VERBOSE, "dovod::DeviceManager::onPlug", "above the tag level");

  std::vector<std::string> expected = {
      "DEBUG - DeviceManager::onPlug plugged 1\n",
      "WARNING - CDovod::config_set warned\n",
      "DEBUG - Other::run -DeviceManager- own tag\n",
  };
  EXPECT_EQ(without_init(debugger()), expected);
  EXPECT_EQ(without_init(console()), expected);
}

TEST_F(LogOutput, WithoutTagsOnlyErrorsAndWarningsShowButTheFileGetsAll) {
  set("loggingoutput", 6);
  start();
  for (unsigned level = LOG_ERROR; level <= LOG_VERBOSE; ++level)
    xLog("Dovod", level, "dovod::CDovod::run", "level %u", level);
  EXPECT_EQ(without_init(debugger()), (std::vector<std::string>{"ERROR - CDovod::run level 0\n", "WARNING - CDovod::run level 1\n"}));
  EXPECT_TRUE(console().empty());
  std::vector<std::string> messages = file_messages();
  for (unsigned level = LOG_ERROR; level <= LOG_VERBOSE; ++level)
    EXPECT_TRUE(contains(messages, "CDovod::run level " + std::to_string(level))) << level;
}

TEST_F(LogOutput, FileRecordColumns) {
  set("loggingoutput", 4);
  start();
  xLog("Dovod", LOG_INFO, "bool dovod::CDovod::config_set(int, bool)", "config_set %d = %d", 5, 1);
  xLog("Dovod", LOG_INFO, "dovod::Other::f", "-Radio- on");
  std::vector<std::string> lines = file_lines();
  ASSERT_GE(lines.size(), 2u);

  std::vector<std::string> columns = split(lines[lines.size() - 2], '\t');
  ASSERT_EQ(columns.size(), 7u);
  EXPECT_TRUE(std::regex_match(columns[0], std::regex(R"(\d+\.\d{6})"))) << columns[0];
  EXPECT_TRUE(std::regex_match(columns[1], std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})"))) << columns[1];
  EXPECT_EQ(columns[2], std::to_string(platform::Process::process_id()));
  char thread[32];
  std::snprintf(thread, sizeof thread, "<%05u>", platform::Process::thread_id());
  EXPECT_EQ(columns[3], std::string(thread) + ".dovod.testcorelog");
  EXPECT_EQ(columns[4], "2");
  EXPECT_EQ(columns[5], "-Dovod-" + std::string(13, ' '));
  EXPECT_EQ(columns[6], "CDovod::config_set 5 = 1");

  columns = split(lines.back(), '\t');
  ASSERT_EQ(columns.size(), 7u);
  EXPECT_EQ(columns[5], "-Radio-" + std::string(13, ' '));
  EXPECT_EQ(columns[6], "Other::f on");
}

TEST_F(LogOutput, EachLineOfAMessageIsARecord) {
  set("loggingoutput", 4);
  start();
  xLog("Dovod", LOG_INFO, "dovod::A::f", "one\ntwo\nthree\n");
  std::vector<std::string> messages = file_messages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(messages.end() - 3, messages.end()),
            (std::vector<std::string>{"A::f one", "> two", "> three"}));
}

TEST_F(LogOutput, LongMessagesAreTruncatedEverywhere) {
  set("loggingoutput", 5);
  start();
  std::string text(3000, 'x');
  EXPECT_TRUE(xLog("Dovod", LOG_ERROR, "dovod::A::f", "%s", text.c_str()));
  std::vector<std::string> lines = file_lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(lines.back().size() - 12), " (truncated)");
  std::vector<std::string> shown = without_init(console());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].size(), 1023u);
  EXPECT_EQ(shown[0].substr(1010), " (truncated)\n");
}

TEST_F(LogOutput, InitialisationDescribesTheRun) {
  set("loggingoutput", 4);
  set("logginglevel", 2);
  start();
  xLog("Dovod", LOG_INFO, "dovod::A::f", "first");
  std::vector<std::string> messages = file_messages();
  std::string file = log_testing::log_file_path();
  EXPECT_TRUE(std::regex_search(file, std::regex(R"(xlog_corvane.xlog_\d{8}_\d{6}_)" +
                                                 std::to_string(platform::Process::process_id()) +
                                                 R"(_testcorelog_dovod\.dblog$)")))
      << file;
  ASSERT_GE(messages.size(), 6u);
  EXPECT_EQ(messages[0], "xLogInit ----------------------------------------");
  EXPECT_TRUE(contains(messages, "xLogInit procname=testcorelog namespace=dovod logginglevel=2 loggingoutput=4 fileLevel=4"));
  EXPECT_TRUE(contains(messages, "xLogInit defaultEnabled=1, defaultOutput=6, defaultLevel=1, defaultFileLevel=4"));
  EXPECT_TRUE(contains(messages, "xLogInit logfile=" + file));
  EXPECT_TRUE(contains(messages, "xLogInit tags= -*"));
  EXPECT_TRUE(contains(messages, "xLogInit procstart="));
  EXPECT_EQ(messages.back(), "A::f first");
}

TEST_F(LogOutput, SettingsOfTheWrongTypeKeepTheirDefaults) {
  set("logging", std::string("0"));         // a string where a number belongs: logging stays on
  set("loggingoutput", std::string("1"));   // likewise: debugger and file
  set("LogTags", std::string(1100, 'A'));  // longer than 1 024 bytes: as if absent
  start();
  xLog("AAAA", LOG_DEBUG, "dovod::A::f", "filtered");
  xLog("Dovod", LOG_ERROR, "dovod::A::f", "shown");
  EXPECT_EQ(without_init(debugger()), std::vector<std::string>{"ERROR - A::f shown\n"});
  EXPECT_TRUE(console().empty());
  EXPECT_TRUE(contains(file_messages(), "xLogInit tags= -*"));
}

TEST_F(LogOutput, TurnedOffLogsNothing) {
  set("logging", 0);
  set("loggingoutput", 7);
  start();
  EXPECT_TRUE(xLog("Dovod", LOG_ERROR, "dovod::A::f", "nothing"));
  EXPECT_TRUE(console().empty());
  EXPECT_TRUE(debugger().empty());
  EXPECT_EQ(log_testing::log_file_path(), "");
  EXPECT_FALSE(log_testing::current_buffer().has_value());
}

TEST_F(LogOutput, AssertLogsOnlyFailures) {
  set("loggingoutput", 1);
  start();
  EXPECT_FALSE(xAssert(true, "p != nullptr", "Device.cpp", 12));
  EXPECT_TRUE(xAssert(false, "p != nullptr", "Device.cpp", 12));
  EXPECT_TRUE(DOVOD_ASSERT(1 + 1 == 3));
  std::vector<std::string> lines = without_init(console());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ERROR - xAssert Device.cpp(12): ASSERT FAILURE! Expression: p != nullptr\n\n");
  EXPECT_NE(lines[1].find("ASSERT FAILURE! Expression: 1 + 1 == 3"), std::string::npos);
}

}  // namespace
}  // namespace dovod::testing
