#include <string>
#include <thread>

#include "LogFixture.h"
#include "dovod/xLog.h"

namespace dovod::testing {
namespace {

using LogBufferGrowth = LogTest;

TEST_F(LogBufferGrowth, GrowsByTheMeasureThatReachedAThird) {
  struct Case {
    std::uint32_t first_slots, first_text;
    int messages;
    std::size_t message_size;
    std::uint32_t slots, text;  // of the grown buffer
  } cases[] = {
      {30000, 3000000, 10000, 1, 90000, 6000000},  // many small messages: slots
      {300, 30000, 21, 500, 600, 90000},           // few large ones: text
  };
  for (const Case& c : cases) {
    tuning_.first_slots = c.first_slots;
    tuning_.first_text = c.first_text;
    set("loggingoutput", 4);
    start();
    std::string text(c.message_size, 'm');
    for (int i = 0; i < c.messages; ++i) ASSERT_TRUE(xLog("T", LOG_INFO, "dovod::A::f", "%s %d", text.c_str(), i));
    auto before = log_testing::current_buffer();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->slots, c.first_slots);

    ASSERT_TRUE(log_testing::drain_once());
    auto after = log_testing::current_buffer();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->slots, c.slots);
    EXPECT_EQ(after->text, c.text);

    // The old buffer drains first, in order, and goes once empty.
    std::vector<std::string> messages = file_messages();
    std::string grown = "LogBuffer::output_from_oldest_buffer xLog enlarged buffer from " +
                        std::to_string(c.first_slots) + "/" + std::to_string(c.first_text) + " to " +
                        std::to_string(c.slots) + "/" + std::to_string(c.text) + ", currently using ";
    EXPECT_TRUE(contains(messages, grown)) << c.first_slots;
    EXPECT_TRUE(contains(messages, "xLog deleting old log buffer containing 0/0"));
    EXPECT_EQ(log_testing::old_buffer_count(), 0u);
    int next = 0;
    for (const std::string& m : messages)
      if (m.rfind("A::f " + text + " ", 0) == 0) {
        EXPECT_EQ(m, "A::f " + text + " " + std::to_string(next++));
      }
    EXPECT_EQ(next, c.messages);
  }
}

TEST_F(LogBufferGrowth, AFullBufferLosesMessagesAndReportsTheCount) {
  tuning_.first_slots = 16;
  set("loggingoutput", 4);
  start();
  int stored = 0;
  while (xLog("T", LOG_INFO, "dovod::A::f", "kept %d", stored)) ASSERT_LT(++stored, 16);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(xLog("T", LOG_INFO, "dovod::A::f", "lost"));

  std::vector<std::string> messages = file_messages();
  for (int i = 0; i < stored; ++i) EXPECT_TRUE(contains(messages, "A::f kept " + std::to_string(i)));
  EXPECT_FALSE(contains(messages, "A::f lost"));
  // Four messages of the caller, and the first report, which still found the buffer full.
  EXPECT_TRUE(contains(messages, "LogBuffer::report_overruns xLog overrun detected by reader, lost 5 messages around this time"));
}

TEST_F(LogBufferGrowth, AMessageLargerThanTheRingIsRefusedWithoutHarm) {
  tuning_.first_text = 256;
  set("loggingoutput", 4);
  start();
  xLog("T", LOG_INFO, "dovod::A::f", "first");
  while (log_testing::drain_once()) {
  }
  ASSERT_LT(log_testing::current_buffer()->text, 1000u);
  std::string text(1000, 'x');
  EXPECT_FALSE(xLog("T", LOG_INFO, "dovod::A::f", "%s", text.c_str()));
  EXPECT_TRUE(xLog("T", LOG_INFO, "dovod::A::f", "short"));
  EXPECT_TRUE(contains(file_messages(), "A::f short"));
}

TEST_F(LogBufferGrowth, StormFromManyThreadsKeepsOrderAndAccountsForEveryMessage) {
  tuning_.first_slots = 64;
  tuning_.first_text = 16384;
  tuning_.start_thread = true;
  set("loggingoutput", 4);
  start();
  constexpr int kThreads = 4;
  constexpr int kEach = 5000;
  std::atomic<int> refused{0};
  {
    Vs2003SingletonThreadCleanup guard;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([t, &refused] {
        for (int i = 0; i < kEach; ++i)
          if (!xLog("T", LOG_INFO, "dovod::A::f", "storm %d %d", t, i)) ++refused;
      });
    for (auto& thread : threads) thread.join();
    // A loss is reported by the next message that gets in.
    while (!xLog("T", LOG_INFO, "dovod::A::f", "after the storm")) std::this_thread::yield();
  }  // the guard shuts the log down: the log thread writes out everything first

  std::vector<std::string> messages = read_file();
  int written = 0;
  long long reported = 0;
  int last[kThreads] = {-1, -1, -1, -1};
  for (const std::string& line : messages) {
    std::string m = split(line, '\t').back();
    int t = 0, i = 0, lost = 0;
    if (std::sscanf(m.c_str(), "A::f storm %d %d", &t, &i) == 2) {
      ASSERT_TRUE(t >= 0 && t < kThreads);
      EXPECT_GT(i, last[t]) << "thread " << t << " out of order";
      last[t] = i;
      ++written;
    } else if (std::sscanf(m.c_str(), "LogBuffer::report_overruns xLog overrun detected by reader, lost %d", &lost) == 1) {
      reported += lost;
    }
  }
  EXPECT_EQ(written + refused.load(), kThreads * kEach);
  EXPECT_GE(reported, refused.load());
}

}  // namespace
}  // namespace dovod::testing
