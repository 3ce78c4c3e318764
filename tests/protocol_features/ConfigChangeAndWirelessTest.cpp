#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "protocol/features/Feature0020ConfigChange.h"
#include "protocol/features/Feature1D4BWirelessStatus.h"

namespace dovod::testing {
namespace {

class CookieSink : public Subscriber<IFeature0020ConfigChange::ConfigReport> {
 public:
  void onCookieSet(unsigned swid, std::uint16_t cookie) override { seen.push_back({swid, cookie}); }
  std::vector<std::pair<unsigned, unsigned>> seen;
};

class ConfigChange : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature0020ConfigChange> feature = std::make_shared<Feature0020ConfigChange>(6, device);
};

TEST_F(ConfigChange, CookieIsReadAndWrittenBigEndianAndNeverCached) {
  device->answer({0xBE, 0xEF, 0x00});
  device->answer({0x00, 0x00, 0x00});
  std::uint16_t cookie = 0;
  ASSERT_TRUE(feature->GetCookie(&cookie));
  EXPECT_EQ(cookie, 0xBEEF);
  ASSERT_TRUE(feature->SetCookie(0x1234));
  const auto sent = device->sent();
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 0x06, 0x01}));
  EXPECT_EQ(sent[1].request, (Bytes{0x10, 0xFF, 0x06, 0x11, 0x12, 0x34}));
  EXPECT_EQ(sent[0].cache_mode, 0);
  EXPECT_EQ(sent[1].cache_mode, 0);
}

TEST_F(ConfigChange, FailuresPassThroughAndLeaveTheCookie) {
  device->fail(ErrorCode::NotConnected);
  device->fail(ErrorCode::NoResponse);
  std::uint16_t cookie = 7;
  EXPECT_FALSE(feature->GetCookie(&cookie));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
  EXPECT_EQ(cookie, 7);
  EXPECT_FALSE(feature->SetCookie(1));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
}

TEST_F(ConfigChange, AnotherProgramsCookieWriteIsReported) {
  LogCapture log;
  CookieSink sink;
  ASSERT_TRUE(sink.subscribe(feature, Direct));
  feature->routeUnexpectedResponse(1, 0x3, {0x56, 0x78, 0});
  feature->routeUnexpectedResponse(0, 0x4, {0x11, 0x22, 0});
  feature->routeUnexpectedResponse(1, 0x5, {0x11});
  EXPECT_EQ(sink.seen, (std::vector<std::pair<unsigned, unsigned>>{{3, 0x5678}}));
  EXPECT_EQ(log.count("Feature0020ConfigChange::onUnexpectedResponse(func=1, swid=0x3)"), 1);
  EXPECT_EQ(log.count("Feature0020ConfigChange::onUnexpectedResponse(func=0, swid=0x4)"), 1);
}

class WirelessSink : public Subscriber<IFeature1D4BWirelessStatus::Report> {
 public:
  void onWirelessStatusEvent(bool reconnect, bool config_needed, bool powerswitch) override {
    seen.push_back({reconnect, config_needed, powerswitch});
  }
  std::vector<std::vector<bool>> seen;
};

TEST(WirelessStatus, NotificationFlagsAreTrueOnlyForTheValueOne) {
  auto device = std::make_shared<FakeDevice>();
  auto feature = std::make_shared<Feature1D4BWirelessStatus>(8, device);
  WirelessSink sink;
  ASSERT_TRUE(sink.subscribe(feature, Direct));
  struct Case {
    Bytes payload;
    std::vector<bool> flags;
  };
  const Case cases[] = {
      {{1, 1, 1}, {true, true, true}},
      {{1, 0, 0, 9}, {true, false, false}},
      {{0, 1, 0}, {false, true, false}},
      {{2, 0xFF, 1}, {false, false, true}},
  };
  for (const Case& c : cases) {
    sink.seen.clear();
    feature->routeFeatureReport(0, c.payload);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0], c.flags);
  }
}

TEST(WirelessStatus, AShortNotificationProducesNothingAndSetsCode2) {
  LogCapture log;
  auto device = std::make_shared<FakeDevice>();
  auto feature = std::make_shared<Feature1D4BWirelessStatus>(8, device);
  WirelessSink sink;
  ASSERT_TRUE(sink.subscribe(feature, Direct));
  clear_last_error();
  feature->routeFeatureReport(0, {1, 1});
  EXPECT_TRUE(sink.seen.empty());
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_EQ(log.count("Feature1D4BWirelessStatus::onFeatureReport"), 1);
}

}  // namespace
}  // namespace dovod::testing
