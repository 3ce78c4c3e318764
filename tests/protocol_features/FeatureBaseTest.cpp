#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FakeDevice.h"
#include "RunLoopHost.h"
#include "dovod/CDovod.h"
#include "protocol/Feature.h"

namespace dovod::testing {
namespace {

class FeatureBase : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature> feature = std::make_shared<Feature>(0x1234, 5, device);
};

TEST_F(FeatureBase, RequestCarriesIndexFunctionSwidAndParametersInAReportChosenByLength) {
  struct Case {
    std::size_t params;
    Byte report_id;
  };
  for (const Case c : {Case{0, 0x10}, Case{3, 0x10}, Case{4, 0x11}, Case{16, 0x11}}) {
    SCOPED_TRACE(c.params);
    auto dev = std::make_shared<FakeDevice>();
    dev->swid_value = 0x0B;
    auto f = std::make_shared<Feature>(0x1234, 5, dev);
    Bytes params(c.params);
    for (std::size_t i = 0; i < params.size(); ++i) params[i] = static_cast<Byte>(0xA0 + i);
    dev->answer(long_payload({}));
    Bytes reply;
    ASSERT_TRUE(f->sendFeatureCommand(7, params, reply, 1, {0, 2}));

    Bytes expected{c.report_id, 0xFF, 5, 0x7B};
    expected.insert(expected.end(), params.begin(), params.end());
    ASSERT_EQ(dev->sent().size(), 1u);
    const SentCommand sent = dev->sent()[0];
    EXPECT_EQ(sent.request, expected);
    EXPECT_TRUE(sent.synchronous);
    EXPECT_EQ(sent.cache_mode, 1);
    EXPECT_EQ(sent.echo_positions, (std::vector<int>{0, 2}));
  }
}

TEST_F(FeatureBase, ReplyParametersStartAtTheFifthByte) {
  device->answer_raw({0x10, 0xFF, 5, 0x21, 0xAA, 0xBB, 0xCC});
  Bytes reply{9, 9, 9, 9, 9};
  ASSERT_TRUE(feature->sendFeatureCommand(2, {}, reply, 0));
  EXPECT_EQ(reply, (Bytes{0xAA, 0xBB, 0xCC}));
}

TEST_F(FeatureBase, RepliesThatDoNotMatchTheRequestAreRejected) {
  struct Case {
    const char* what;
    Bytes reply;
    ErrorCode code;
    const char* message;
  };
  const Case cases[] = {
      {"six bytes", {0x10, 0xFF, 5, 0x21, 0, 0}, ErrorCode::CommandResponseTooShort, nullptr},
      {"other index", {0x10, 0xFF, 6, 0x21, 0, 0, 0}, ErrorCode::Mismatch, "response does not match command"},
      {"other function", {0x10, 0xFF, 5, 0x31, 0, 0, 0}, ErrorCode::Mismatch, "response does not match command"},
      {"other swid", {0x10, 0xFF, 5, 0x22, 0, 0, 0}, ErrorCode::Mismatch, "response does not match command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device->answer_raw(c.reply);
    Bytes reply{1, 2};
    clear_last_error();
    EXPECT_FALSE(feature->sendFeatureCommand(2, {}, reply, 0));
    EXPECT_EQ(last_error().code, c.code);
    if (c.message) {
      ASSERT_NE(last_error().message, nullptr);
      EXPECT_STREQ(last_error().message, c.message);
    } else {
      EXPECT_EQ(last_error().message, nullptr);
    }
    EXPECT_EQ(reply, (Bytes{1, 2}));
  }
}

TEST_F(FeatureBase, ReplyIsMatchedAgainstTheSoftwareIdTheDeviceUsesAfterTheCommand) {
  device->swid_after_command = 3;
  device->answer_raw({0x10, 0xFF, 5, 0x23, 7, 0, 0});
  Bytes reply;
  EXPECT_TRUE(feature->sendFeatureCommand(2, {}, reply, 0));
  EXPECT_EQ(device->sent()[0].request[3], 0x21);

  device->answer_raw({0x10, 0xFF, 5, 0x21, 7, 0, 0});
  EXPECT_FALSE(feature->sendFeatureCommand(2, {}, reply, 0));
  EXPECT_EQ(last_error().code, ErrorCode::Mismatch);
}

TEST_F(FeatureBase, EngineFailurePassesThroughUnchanged) {
  device->fail(ErrorCode::NotConnected);
  Bytes reply;
  EXPECT_FALSE(feature->sendFeatureCommand(0, {}, reply, 0));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
}

TEST_F(FeatureBase, AsyncCommandIsHandedOverWithoutWaiting) {
  EXPECT_TRUE(feature->sendFeatureCommandAsync(1, {1, 2, 3, 4}));
  device->send_command_result = false;
  EXPECT_FALSE(feature->sendFeatureCommandAsync(1, {}));
  ASSERT_EQ(device->sent().size(), 2u);
  EXPECT_FALSE(device->sent()[0].synchronous);
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x11, 0xFF, 5, 0x11, 1, 2, 3, 4}));
}

TEST_F(FeatureBase, EverythingFailsWithDeviceRemovedOnceTheDeviceIsGone) {
  device.reset();
  Bytes reply{4};
  EXPECT_EQ(feature->device(), nullptr);
  clear_last_error();
  EXPECT_FALSE(feature->sendFeatureCommand(0, {}, reply, 0));
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  clear_last_error();
  EXPECT_FALSE(feature->sendFeatureCommandAsync(0, {}));
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  clear_last_error();
  EXPECT_FALSE(feature->set_configured());
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  clear_last_error();
  EXPECT_FALSE(feature->set_pending());
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(reply, Bytes{4});
  EXPECT_FALSE(feature->configured());
  EXPECT_FALSE(feature->pending());
}

TEST_F(FeatureBase, IdentityAndTableEntry) {
  EXPECT_EQ(feature->feature_id(), 0x1234);
  EXPECT_EQ(feature->feature_index(), 5);
  EXPECT_EQ(feature->device(), device);
  EXPECT_EQ(feature->shared_self(), feature);
  feature->set_table_entry(true, false, true, 7);
  EXPECT_TRUE(feature->obsolete());
  EXPECT_FALSE(feature->hidden());
  EXPECT_TRUE(feature->engineering());
  EXPECT_EQ(feature->feature_version(), 7);
}

TEST_F(FeatureBase, SetConfiguredAsksTheDeviceOnceEvenAfterAFailureUntilTheFlagIsCleared) {
  device->set_configured_result = false;
  EXPECT_FALSE(feature->set_configured());
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
  EXPECT_TRUE(feature->configured());
  EXPECT_TRUE(feature->set_configured());
  EXPECT_EQ(device->set_configured_calls, 1);

  feature->set_configured_flag(false);
  device->set_configured_result = true;
  EXPECT_TRUE(feature->set_configured());
  EXPECT_EQ(device->set_configured_calls, 2);
}

TEST_F(FeatureBase, SetPendingPutsTheFeatureOnTheDeviceListOnce) {
  EXPECT_TRUE(feature->set_pending());
  EXPECT_TRUE(feature->set_pending());
  EXPECT_TRUE(feature->pending());
  ASSERT_EQ(device->pending_features.size(), 1u);
  EXPECT_EQ(device->pending_features[0], feature);
}

TEST_F(FeatureBase, SetPendingIsRefusedWhileTheDeviceReplaysThisFeature) {
  feature->set_processing_pending(true);
  EXPECT_FALSE(feature->set_pending());
  EXPECT_EQ(last_error().code, ErrorCode::ProcessingPending);
  EXPECT_FALSE(feature->pending());
  EXPECT_TRUE(device->pending_features.empty());
}

// Records the order in which subscribers and the feature's own hooks see a report.
class HookedFeature : public Feature {
 public:
  HookedFeature(std::vector<std::string>& trace, std::weak_ptr<IDevice> device)
      : Feature(0x4242, 3, std::move(device)), trace_(trace) {}

 protected:
  void onFeatureReport(int function, const Bytes& payload) override {
    trace_.push_back("hook report " + std::to_string(function) + " " + std::to_string(payload.size()));
  }
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override {
    trace_.push_back("hook response " + std::to_string(function) + " " + std::to_string(swid) + " " +
                     std::to_string(payload.size()));
  }

 private:
  std::vector<std::string>& trace_;
};

class ReportTrace : public Subscriber<IFeature::FeatureReport> {
 public:
  explicit ReportTrace(std::vector<std::string>& trace) : trace_(trace) {}
  void onFeatureReport(int function, const Bytes& payload) override {
    last_payload = payload;
    trace_.push_back("event report " + std::to_string(function) + " " + std::to_string(payload.size()));
  }
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override {
    last_payload = payload;
    trace_.push_back("event response " + std::to_string(function) + " " + std::to_string(swid) + " " +
                     std::to_string(payload.size()));
  }

  Bytes last_payload;

 private:
  std::vector<std::string>& trace_;
};

TEST_F(FeatureBase, ReportsReachSubscribersBeforeTheFeaturesOwnHook) {
  std::vector<std::string> trace;
  auto hooked = std::make_shared<HookedFeature>(trace, device);
  ReportTrace sink(trace);
  ASSERT_TRUE(sink.subscribe(hooked, Direct));

  hooked->routeFeatureReport(2, Bytes(16, 0));
  hooked->routeUnexpectedResponse(1, 9, Bytes(3, 0));

  EXPECT_EQ(trace, (std::vector<std::string>{"event report 2 16", "hook report 2 16", "event response 1 9 3",
                                             "hook response 1 9 3"}));
}

class FeatureRunLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
  }
  void TearDown() override { CDovod::instance().reset_for_testing(); }

  RunLoopHost host;
};

TEST_F(FeatureRunLoop, RunLoopSubscribersGetTheReportAfterTheCallersBufferIsGone) {
  auto device = std::make_shared<FakeDevice>();
  auto feature = std::make_shared<Feature>(0x4242, 3, device);
  std::vector<std::string> trace;
  ReportTrace sink(trace);
  ASSERT_TRUE(sink.subscribe(feature, RunLoop));
  {
    auto payload = std::make_unique<Bytes>(16, 0x5A);
    feature->routeFeatureReport(4, *payload);
    feature->routeUnexpectedResponse(4, 2, *payload);
  }
  EXPECT_TRUE(trace.empty());
  EXPECT_TRUE(host.pump_until([&] { return trace.size() == 2; }));
  EXPECT_EQ(trace, (std::vector<std::string>{"event report 4 16", "event response 4 2 16"}));
  EXPECT_EQ(sink.last_payload, Bytes(16, 0x5A));
}

}  // namespace
}  // namespace dovod::testing
