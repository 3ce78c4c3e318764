#include "DeviceFixture.h"
#include "dovod/IFeature.h"

namespace dovod::testing {
namespace {

class FeatureSink : public Subscriber<IFeature::FeatureReport> {
 public:
  void onFeatureReport(int function, const Bytes& payload) override {
    std::lock_guard<std::mutex> lock(mutex);
    notifications.emplace_back(function, payload);
  }
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override {
    std::lock_guard<std::mutex> lock(mutex);
    foreign.emplace_back(function << 4 | swid, payload);
  }
  std::size_t total() {
    std::lock_guard<std::mutex> lock(mutex);
    return notifications.size() + foreign.size();
  }
  std::mutex mutex;
  std::vector<std::pair<int, Bytes>> notifications;
  std::vector<std::pair<unsigned, Bytes>> foreign;
};

class ReportLog : public Subscriber<IDevice::Report> {
 public:
  void onReport(const Bytes&, unsigned, unsigned, IDevice::ReportType type) override {
    std::lock_guard<std::mutex> lock(mutex);
    types.push_back(type);
  }
  std::size_t size() {
    std::lock_guard<std::mutex> lock(mutex);
    return types.size();
  }
  std::mutex mutex;
  std::vector<IDevice::ReportType> types;
};

Bytes long_report(Byte index, Byte byte3, Byte device_index = 0xFF) {
  Bytes r(20, 0);
  r[0] = 0x11;
  r[1] = device_index;
  r[2] = index;
  r[3] = byte3;
  r[4] = 0x5A;
  return r;
}

using ReadRoutingTest = DeviceTest;

TEST_F(ReadRoutingTest, ReportsAreClassifiedAndRoutedToTheFeatureAtTheirIndex) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  auto cookie_feature = device->feature_by_id(0x0020);
  ASSERT_TRUE(cookie_feature);
  ASSERT_EQ(cookie_feature->feature_index(), 3);
  FeatureSink sink;
  ASSERT_TRUE(sink.subscribe(cookie_feature, Direct));

  struct Case {
    const char* name;
    Bytes report;
    bool relayed;
    IDevice::ReportType type;
  };
  const Case cases[] = {
      {"six bytes", {0x10, 0xFF, 0x03, 0x20, 1, 2}, false, IDevice::Unhandled},
      {"Vexa 1.0 notification", {0x10, 0x01, 0x41, 0x00, 0, 0, 0}, false, IDevice::Notification},
      {"another device index", long_report(0x03, 0x20, 0x02), false, IDevice::Unhandled},
      {"relayed report of a paired device", long_report(0x03, 0x20, 0x02), true, IDevice::Notification},
      {"notification of a known feature", long_report(0x03, 0x20), false, IDevice::Notification},
      {"notification of an unknown index", long_report(0x09, 0x10), false, IDevice::ForeignResponse},
      {"another program's reply", long_report(0x03, 0x15), false, IDevice::ForeignResponse},
      {"another program's protocol check", {0x10, 0xFF, 0x00, 0x13, 0, 0, 0}, false, IDevice::ForeignResponse},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(device->onReadHandler(c.report, c.relayed, 0, 0), c.type) << c.name;
  }
  ASSERT_EQ(sink.notifications.size(), 2u) << "the relayed report and the plain notification";
  EXPECT_EQ(sink.notifications[0].first, 2);
  EXPECT_EQ(sink.notifications[0].second.size(), 16u);
  EXPECT_EQ(sink.notifications[0].second[0], 0x5A);
  ASSERT_EQ(sink.foreign.size(), 1u);
  EXPECT_EQ(sink.foreign[0].first, 0x15u) << "function 1, swid 5";

  Bytes reply;
  ASSERT_TRUE(device->sendSynchronousCommand(request(4, 1), reply, 0, {}));
  EXPECT_EQ(hw->written().back()[3] & 0x0F, kSwid) << "no foreign report above used our swid";
}

// Whatever length the transport hands over, a report too short for a header and a payload is
// dropped, and a longer one gives its feature no byte from beyond its end.
TEST_F(ReadRoutingTest, ReportsOfEveryLengthAreDroppedOrRoutedWithinTheirBytes) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  auto cookie_feature = device->feature_by_id(0x0020);
  ASSERT_TRUE(cookie_feature);
  FeatureSink sink;
  ASSERT_TRUE(sink.subscribe(cookie_feature, Direct));
  for (std::size_t length = 0; length <= 64; ++length) {
    Bytes report = long_report(0x03, 0x20);
    report.resize(length, 0x5A);
    const std::size_t before = sink.total();
    const IDevice::ReportType type = device->onReadHandler(report, false, 0, static_cast<unsigned>(length));
    if (length <= 6) {
      EXPECT_EQ(type, IDevice::Unhandled) << length;
      EXPECT_EQ(sink.total(), before) << length;
    } else {
      EXPECT_EQ(type, IDevice::Notification) << length;
      std::lock_guard<std::mutex> lock(sink.mutex);
      ASSERT_EQ(sink.notifications.size(), before + 1) << length;
      EXPECT_LE(sink.notifications.back().second.size(), length - 4) << length;
    }
  }
}

// A device, or another program on the same collection, may send reports faster than they are read:
// the reply behind the flood still ends the command, and every report of it reaches its reader.
TEST_F(ReadRoutingTest, AFloodOfReportsNeitherHidesACommandsReplyNorLosesANotification) {
  auto hw = carrying();
  hw->timeout_ms = 5000;  // a bound for slow sanitizer builds, not a wait: the reply ends it
  auto device = make_loaded(hw);
  auto cookie_feature = device->feature_by_id(0x0020);
  ASSERT_TRUE(cookie_feature);
  FeatureSink sink;
  ASSERT_TRUE(sink.subscribe(cookie_feature, Direct));

  constexpr std::size_t kFlood = 4000;
  const Bytes command = request(4, 1);
  std::vector<Bytes> answer;
  for (std::size_t i = 0; i < kFlood; ++i) answer.push_back(long_report(0x03, i % 2 ? 0x20 : 0x15));
  answer.push_back(reply_to(command, {0x42}));
  hw->ScriptNextAnswer(std::move(answer));
  Bytes reply;
  ASSERT_TRUE(device->sendSynchronousCommand(command, reply, 0, {}));
  ASSERT_GE(reply.size(), 5u);
  EXPECT_EQ(reply[4], 0x42);
  hw->wait_idle();
  std::lock_guard<std::mutex> lock(sink.mutex);
  EXPECT_EQ(sink.notifications.size(), kFlood / 2);
  EXPECT_EQ(sink.foreign.size(), kFlood / 2);
}

TEST_F(ReadRoutingTest, DeviceWithoutFeaturesLeavesVexa20ReportsAlone) {
  auto hw = carrying();
  auto device = make(hw);
  EXPECT_EQ(device->onReadHandler(long_report(0x05, 0x10), false, 0, 0), IDevice::Unhandled);
  EXPECT_EQ(device->onReadHandler(long_report(0x00, 0x1B), false, 0, 0), IDevice::ForeignResponse);
  EXPECT_EQ(device->onReadHandler({0x10, 0xFF, 0x8F, 0x00, 0x10, 0x01, 0x00}, false, 0, 0), IDevice::ForeignResponse)
      << "an error reply with no command waiting";
}

TEST_F(ReadRoutingTest, InactiveLibraryNeitherReportsNorRoutes) {
  auto hw = carrying();
  auto device = make_loaded(hw);
  auto cookie_feature = device->feature_by_id(0x0020);
  ASSERT_TRUE(cookie_feature);
  FeatureSink sink;
  ASSERT_TRUE(sink.subscribe(cookie_feature, Direct));
  hw->wait_idle();  // the last reply's report event is produced after its command returned
  ReportLog reports;
  ASSERT_TRUE(reports.subscribe(device, Direct));

  hw->SimulateRead(long_report(0x03, 0x20));
  hw->wait_idle();
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(sink.total(), 1u);

  manager->set_active(false);
  host.pump();
  hw->SimulateRead(long_report(0x03, 0x20));
  hw->SimulateRead(long_report(0x03, 0x15));
  hw->wait_idle();
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(sink.total(), 1u);
}

}  // namespace
}  // namespace dovod::testing
