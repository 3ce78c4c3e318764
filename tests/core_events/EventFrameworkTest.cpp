#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "EventFixtures.h"
#include "RunLoopHost.h"
#include "dovod/CDovod.h"

namespace dovod::testing {
namespace {

class EventFramework : public ::testing::Test {
 protected:
  void SetUp() override { CDovod::instance().reset_for_testing(); }
  void TearDown() override { CDovod::instance().reset_for_testing(); }

  std::shared_ptr<PingSource> source = std::make_shared<PingSource>();
};

TEST_F(EventFramework, SecondSubscriptionKeepsTheFirstModeAndDeliversOnce) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  EXPECT_TRUE(sink.subscribe(source, Direct));
  EXPECT_EQ(source->subscriber_count(), 1u);

  source->Fire(7);
  EXPECT_TRUE(sink.got.empty()) << "RunLoop delivery must wait for the host";
  host.pump();
  EXPECT_EQ(sink.got, std::vector<int>{7});
}

TEST_F(EventFramework, UnknownDeliveryModeIsAcceptedAndDeliversNothing) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  PingSink sink;
  EXPECT_TRUE(sink.subscribe(source, 2));
  EXPECT_EQ(source->subscriber_count(), 0u);
  source->Fire(1);
  host.pump();
  EXPECT_TRUE(sink.got.empty());
}

TEST_F(EventFramework, SubscribingToSomethingThatIsNotAProducerFailsWithCode43) {
  PingSink sink;
  clear_last_error();
  EXPECT_FALSE(sink.subscribe(std::make_shared<Unrelated>(), Direct));
  EXPECT_EQ(last_error().code, ErrorCode::SubscribeCastFailed);
  EXPECT_STREQ(last_error().message, "dynamic pointer cast in subscribe failed");
  EXPECT_EQ(last_error().system_error, 0u);
}

TEST_F(EventFramework, UnsubscribeDiscardsExactlyThatSubscriptionsQueuedEvents) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  auto other = std::make_shared<PingSource>();
  PingSink leaving, staying;
  ASSERT_TRUE(leaving.subscribe(source, RunLoop));
  ASSERT_TRUE(leaving.subscribe(other, RunLoop));
  ASSERT_TRUE(staying.subscribe(other, RunLoop));

  for (int n = 1; n <= 3; ++n) source->Fire(n);
  for (int n = 10; n <= 11; ++n) other->Fire(n);
  leaving.unsubscribe(source);
  host.pump();

  EXPECT_EQ(leaving.got, (std::vector<int>{10, 11})) << "events from the other producer stay queued";
  EXPECT_EQ(staying.got, (std::vector<int>{10, 11}));
}

TEST_F(EventFramework, EventsQueuedBeforeTheHostListensAreDeliveredInOrderWhenItSubscribes) {
  ASSERT_TRUE(CDovod::instance().getimpl());
  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  for (int n = 1; n <= 5; ++n) source->Fire(n);

  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  EXPECT_EQ(host.pending(), 5) << "one trigger per waiting event, at subscription";
  host.pump();
  EXPECT_EQ(sink.got, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(EventFramework, CallingTheRunLoopWithAnEmptyQueueDoesNothing) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  CDovod::instance().call_event_from_runloop();
  EXPECT_EQ(host.pending(), 0);

  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  source->Fire(3);
  EXPECT_EQ(host.pump(), 1);
  EXPECT_EQ(sink.got, std::vector<int>{3});
}

// Like a window timer with a fixed id: any number of triggers since the last call become one call.
class FoldingHost : public Subscriber<IDeviceManager::RunLoopEvent> {
 public:
  void onRunLoopEvent() override { ++triggers; }
  int run() {
    int calls = 0;
    while (triggers.exchange(0) > 0) {
      CDovod::instance().call_event_from_runloop();
      ++calls;
    }
    return calls;
  }
  std::atomic<int> triggers{0};
};

TEST_F(EventFramework, AHostThatFoldsTriggersStillDrainsTheQueue) {
  FoldingHost host;
  ASSERT_TRUE(host.subscribe(std::shared_ptr<IDeviceManager>(CDovod::instance()), Direct));
  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  for (int n = 1; n <= 4; ++n) source->Fire(n);

  EXPECT_EQ(host.run(), 4);
  EXPECT_EQ(sink.got, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(EventFramework, RemovingWithTwoNullKeysEmptiesTheQueue) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  auto other = std::make_shared<PingSource>();
  PingSink a, b;
  ASSERT_TRUE(a.subscribe(source, RunLoop));
  ASSERT_TRUE(b.subscribe(other, RunLoop));
  source->Fire(1);
  other->Fire(2);

  CDovod::instance().remove_runloop_events(nullptr, nullptr);
  host.pump();
  EXPECT_TRUE(a.got.empty());
  EXPECT_TRUE(b.got.empty());

  source->Fire(3);
  host.pump();
  EXPECT_EQ(a.got, std::vector<int>{3}) << "the subscriptions themselves remain";
}

TEST_F(EventFramework, ASubscriberDestroyedWithEventsQueuedLosesThemSafely) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  auto doomed = std::make_unique<PingSink>();
  PingSink survivor;
  ASSERT_TRUE(doomed->subscribe(source, RunLoop));
  ASSERT_TRUE(survivor.subscribe(source, RunLoop));
  source->Fire(1);
  source->Fire(2);

  doomed.reset();
  EXPECT_EQ(source->subscriber_count(), 1u);
  host.pump();
  EXPECT_EQ(survivor.got, (std::vector<int>{1, 2}));
}

TEST_F(EventFramework, AProducerDestroyedFirstLeavesItsSubscribersUsable) {
  PingSink sink;
  {
    auto gone = std::make_shared<PingSource>();
    ASSERT_TRUE(sink.subscribe(gone, Direct));
  }
  ASSERT_TRUE(sink.subscribe(source, Direct));
  source->Fire(4);
  EXPECT_EQ(sink.got, std::vector<int>{4});
}

class SelfRemovingSink : public PingSink {
 public:
  explicit SelfRemovingSink(std::shared_ptr<PingSource> source) : source_(std::move(source)) {}
  void onPing(int n) override {
    PingSink::onPing(n);
    unsubscribe(source_);
  }

 private:
  std::shared_ptr<PingSource> source_;
};

TEST_F(EventFramework, ADirectHandlerMayUnsubscribeItself) {
  SelfRemovingSink once(source);
  PingSink always;
  ASSERT_TRUE(once.subscribe(source, Direct));
  ASSERT_TRUE(always.subscribe(source, Direct));

  source->Fire(1);
  source->Fire(2);
  EXPECT_EQ(once.got, std::vector<int>{1});
  EXPECT_EQ(always.got, (std::vector<int>{1, 2}));
  EXPECT_EQ(source->subscriber_count(), 1u);
}

TEST_F(EventFramework, EventsProducedWithoutADeviceManagerAreDropped) {
  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  source->Fire(1);

  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  EXPECT_EQ(host.pending(), 0);
  host.pump();
  EXPECT_TRUE(sink.got.empty());
}

TEST_F(EventFramework, TheTriggerCannotBeQueuedOnTheRunLoopItself) {
  RunLoopHost host;
  std::shared_ptr<IDeviceManager> manager = CDovod::instance();
  clear_last_error();
  EXPECT_FALSE(host.subscribe(manager, RunLoop));
  EXPECT_EQ(last_error().code, ErrorCode::Mismatch);
  EXPECT_TRUE(host.subscribe(manager, Direct));
}

TEST_F(EventFramework, EventsFromManyThreadsAreEachDeliveredOnceInPerThreadOrder) {
  RunLoopHost host;
  ASSERT_TRUE(host.attach());
  PingSink sink;
  ASSERT_TRUE(sink.subscribe(source, RunLoop));
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) source->Fire(t * kEach + i);
    });
  }
  EXPECT_TRUE(host.pump_until([&] { return sink.got.size() == kThreads * kEach; }));
  for (auto& w : workers) w.join();
  host.pump();

  ASSERT_EQ(sink.got.size(), static_cast<std::size_t>(kThreads * kEach));
  std::vector<int> last(kThreads, -1);
  for (int n : sink.got) {
    EXPECT_GT(n, last[n / kEach]);
    last[n / kEach] = n;
  }
}

}  // namespace
}  // namespace dovod::testing
