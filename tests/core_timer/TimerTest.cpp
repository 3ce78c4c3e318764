#include <atomic>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "RunLoopHost.h"
#include "core/Timer.h"
#include "dovod/CDovod.h"

namespace dovod::testing {
namespace {

class TimerSink : public Subscriber<ITimer::TimerEvent> {
 public:
  void onTimerEvent(int timer_id) override { ids.push_back(timer_id); }
  std::vector<int> ids;
};

// Countdowns are milliseconds long; a countdown meant never to fire is long enough that the test
// would hang, not pass, if stop failed.
constexpr int kNever = 60'000;

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
    ASSERT_TRUE(sink.subscribe(timer, RunLoop));
  }
  void TearDown() override { CDovod::instance().reset_for_testing(); }

  // Waits for the expected events and then for every countdown to end, so that nothing is left to
  // arrive later.
  void expect_events(std::size_t count) {
    EXPECT_TRUE(host.pump_until([&] { return sink.ids.size() >= count; }));
    timer->stop();
    host.pump();
    EXPECT_EQ(sink.ids, std::vector<int>(count, 5));
  }

  RunLoopHost host;
  std::shared_ptr<Timer> timer = std::make_shared<Timer>(5);
  TimerSink sink;
};

TEST_F(TimerTest, StartFiresOnceWithItsId) {
  EXPECT_TRUE(timer->start(20));
  expect_events(1);
}

TEST_F(TimerTest, StartZeroFiresAtOnce) {
  EXPECT_TRUE(timer->start(0));
  expect_events(1);
}

TEST_F(TimerTest, StopWhenIdleOrRunningReturnsTrueAndNothingFollows) {
  EXPECT_TRUE(timer->stop());
  EXPECT_TRUE(timer->start(kNever));
  EXPECT_TRUE(timer->stop());
  EXPECT_TRUE(timer->stop());
  expect_events(0);
}

TEST_F(TimerTest, StartingTwiceYieldsOneEventFromTheSecondCountdown) {
  EXPECT_TRUE(timer->start(kNever));
  EXPECT_TRUE(timer->start(10));
  expect_events(1);
}

TEST_F(TimerTest, ArmIsAbsorbedInTheFirstHalfAndRestartsAfterIt) {
  EXPECT_TRUE(timer->arm(kNever));
  EXPECT_FALSE(timer->arm(0)) << "first half of the running countdown";
  EXPECT_TRUE(timer->stop());

  EXPECT_TRUE(timer->arm(0));
  EXPECT_TRUE(host.pump_until([&] { return sink.ids.size() == 1; }));
  // The countdown has run out: arming starts a new one.
  EXPECT_TRUE(timer->arm(0));
  expect_events(2);
}

TEST_F(TimerTest, ADirectSubscriberIsCalledOnTheCountdownThread) {
  class DirectSink : public Subscriber<ITimer::TimerEvent> {
   public:
    void onTimerEvent(int timer_id) override { fired = timer_id; }
    std::atomic<int> fired{-1};
  } direct;
  ASSERT_TRUE(direct.subscribe(timer, Direct));
  timer->start(0);
  expect_events(1);
  EXPECT_EQ(direct.fired.load(), 5);
}

TEST_F(TimerTest, DestroyingARunningTimerStopsIt) {
  timer->start(kNever);
  timer.reset();
  host.pump();
  EXPECT_TRUE(sink.ids.empty());
}

}  // namespace
}  // namespace dovod::testing
