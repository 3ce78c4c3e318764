#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <gmock/gmock.h>

#include "LogFixture.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "dovod/xLog.h"

namespace dovod::testing {
namespace {

std::vector<int>& ran() {
  static std::vector<int> order;
  return order;
}
void first() { ran().push_back(1); }
void second() { ran().push_back(2); }
void registers_third() {
  ran().push_back(3);
  Vs2003SingletonThreadCleanup::register_cleanup(&first);
}

TEST(CleanupGuard, RunsTheListInRegistrationOrderOnce) {
  Vs2003SingletonThreadCleanup::reset_for_testing();
  ran().clear();
  Vs2003SingletonThreadCleanup::register_cleanup(&second);
  Vs2003SingletonThreadCleanup::register_cleanup(&registers_third);
  Vs2003SingletonThreadCleanup::register_cleanup(nullptr);
  {
    Vs2003SingletonThreadCleanup guard;
    Vs2003SingletonThreadCleanup::about_to_join();  // a live guard allows the join: returns
    EXPECT_TRUE(ran().empty());
  }
  // A routine registered while the list runs still runs, after the others.
  EXPECT_EQ(ran(), (std::vector<int>{2, 3, 1}));
  { Vs2003SingletonThreadCleanup again; }
  EXPECT_EQ(ran(), (std::vector<int>{2, 3, 1}));
  Vs2003SingletonThreadCleanup::reset_for_testing();
}

class CleanupGuardDeathTest : public LogTest {
 protected:
  // A child process ends without TearDown; it removes the folder its SetUp made itself.
  void forget_own_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
};

// Ends the process from a static destructor, as the log's process-end hook does.
struct JoinsAtExit {
  ~JoinsAtExit() { Vs2003SingletonThreadCleanup::about_to_join(); }
};

void set_environment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

void later_exit_handler() { std::fputs("later exit handler ran\n", stderr); }

TEST_F(CleanupGuardDeathTest, EndsTheProcessWithCodeZeroWhenNoJoinIsAllowed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        forget_own_folder();
        Vs2003SingletonThreadCleanup::reset_for_testing();
        Vs2003SingletonThreadCleanup::about_to_join();
        std::abort();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        forget_own_folder();
        Vs2003SingletonThreadCleanup::reset_for_testing();
        { Vs2003SingletonThreadCleanup guard; }
        Vs2003SingletonThreadCleanup::about_to_join();
        std::abort();
      },
      ::testing::ExitedWithCode(0), "");
  // From a static destructor: nothing registered earlier runs any more.
  EXPECT_EXIT(
      {
        forget_own_folder();
        Vs2003SingletonThreadCleanup::reset_for_testing();
        std::atexit(&later_exit_handler);
        static JoinsAtExit joins;
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), ::testing::Not(::testing::HasSubstr("later exit handler ran")));
}

TEST_F(CleanupGuardDeathTest, WritesOutTheBufferedLogBeforeEnding) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this test from the start with a folder of its own; it finds ours by name.
  const char* inherited = std::getenv("DOVOD_EXIT_TEST_FOLDER");
  if (inherited && !*inherited) inherited = nullptr;
  std::filesystem::path folder = inherited ? std::filesystem::path(inherited) : folder_;
  set_environment("DOVOD_EXIT_TEST_FOLDER", folder.string().c_str());
  std::string shared = folder.string() + platform::Folders::separator;
  EXPECT_EXIT(
      {
        forget_own_folder();
        tuning_.temp_folder = shared;
        tuning_.start_thread = true;
        tuning_.flush_wait = std::chrono::hours(1);
        start();
        Vs2003SingletonThreadCleanup::reset_for_testing();
        xLog("T", LOG_INFO, "dovod::A::f", "pending line");
        Vs2003SingletonThreadCleanup::about_to_join();
      },
      ::testing::ExitedWithCode(0), "");
  set_environment("DOVOD_EXIT_TEST_FOLDER", "");
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "xlog_corvane")) {
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  EXPECT_TRUE(contains(lines, "A::f pending line"));
  EXPECT_TRUE(contains(lines, "\t-Untagged-" + std::string(10, ' ') +
                                  "\tVs2003SingletonThreadCleanup::about_to_join joinable threads after "
                                  "main exited, so terminating process to avoid VS2003 runtime library crash"));
  EXPECT_TRUE(contains(lines, "you should have put a Vs2003SingletonThreadCleanup guard object in main()"));
}

}  // namespace
}  // namespace dovod::testing
