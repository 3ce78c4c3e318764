#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "protocol/features/Feature00c0DFUControl.h"
#include "protocol/features/Feature00c1DFUControl.h"
#include "protocol/features/Feature00c2DFUControl.h"
#include "protocol/features/Feature00d0DFU.h"
#include "protocol/features/Feature1802DeviceReset.h"

namespace dovod::testing {
namespace {

class DfuControl : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
};

TEST_F(DfuControl, EachFormSendsTheMagicInItsOwnLayout) {
  auto c0 = std::make_shared<Feature00c0DFUControl>(4, device);
  auto c1 = std::make_shared<Feature00c1DFUControl>(4, device);
  auto c2 = std::make_shared<Feature00c2DFUControl>(4, device);
  device->answer(long_payload({}));
  device->answer(long_payload({}));
  ASSERT_TRUE(c0->EnterDfuMode());
  ASSERT_TRUE(c1->SetDfuControl(1, 2, 3, 4));
  ASSERT_TRUE(c2->SetDfuControl(1, 0));
  const auto sent = device->sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 4, 0x01, 0x44, 0x46, 0x55}));
  EXPECT_EQ(sent[1].request, (Bytes{0x11, 0xFF, 4, 0x11, 1, 2, 3, 4, 0x44, 0x46, 0x55}));
  EXPECT_EQ(sent[2].request, (Bytes{0x11, 0xFF, 4, 0x11, 1, 0, 0, 0, 0x44, 0x46, 0x55}));
  EXPECT_TRUE(sent[0].synchronous);
  EXPECT_TRUE(sent[1].synchronous);
  EXPECT_FALSE(sent[2].synchronous);
  EXPECT_EQ(sent[0].cache_mode, 0);
  EXPECT_EQ(sent[1].cache_mode, 0);
}

TEST_F(DfuControl, SecondFormReadsByteOneAndThirdFormOnlyBitZeroOfByteTwo) {
  auto c1 = std::make_shared<Feature00c1DFUControl>(4, device);
  auto c2 = std::make_shared<Feature00c2DFUControl>(4, device);
  device->answer(long_payload({0xFF, 0x2A, 0xFF}));
  device->answer(long_payload({0xFF, 0xFF, 0xFE}));
  device->answer(long_payload({0x00, 0x00, 0x03}));
  int value = 0;
  bool enabled = true;
  ASSERT_TRUE(c1->GetDfuControl(&value));
  EXPECT_EQ(value, 0x2A);
  ASSERT_TRUE(c2->GetDfuControl(&enabled));
  EXPECT_FALSE(enabled);
  ASSERT_TRUE(c2->GetDfuControl(&enabled));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 4, 0x01}));
  EXPECT_FALSE(c1->GetDfuControl(nullptr));
  EXPECT_EQ(device->sent().size(), 3u);
}

TEST_F(DfuControl, ThirdFormReportsEveryFailureAsCode1) {
  auto c2 = std::make_shared<Feature00c2DFUControl>(4, device);
  device->fail(ErrorCode::NoResponse);
  bool enabled = true;
  EXPECT_FALSE(c2->GetDfuControl(&enabled));
  EXPECT_EQ(last_error().code, ErrorCode::Mismatch);
  EXPECT_TRUE(enabled);

  device->send_command_result = false;
  EXPECT_FALSE(c2->SetDfuControl(1, 0));
  EXPECT_EQ(last_error().code, ErrorCode::Mismatch);
}

TEST_F(DfuControl, ThirdFormSetSucceedsWithoutAnyAnswer) {
  auto c2 = std::make_shared<Feature00c2DFUControl>(4, device);
  EXPECT_TRUE(c2->SetDfuControl(1, 0));
  EXPECT_EQ(device->unanswered(), 0u);
}

class ConfigSink : public Subscriber<IFeature00c0DFUControl::ConfigReport> {
 public:
  void onConfigReport(unsigned swid, unsigned short value) override { seen.push_back({swid, value}); }
  std::vector<std::pair<unsigned, unsigned>> seen;
};

TEST_F(DfuControl, FirstFormHandsAnotherProgramsSettingToDirectSubscribersOnly) {
  LogCapture log;
  auto c0 = std::make_shared<Feature00c0DFUControl>(4, device);
  ConfigSink direct, queued;
  ASSERT_TRUE(direct.subscribe(c0, Direct));
  ASSERT_TRUE(queued.subscribe(c0, RunLoop));
  c0->routeUnexpectedResponse(1, 7, {0x01, 0x02, 0x03});
  c0->routeUnexpectedResponse(0, 7, {0x01, 0x02, 0x03});
  EXPECT_EQ(direct.seen, (std::vector<std::pair<unsigned, unsigned>>{{7, 0x0102}}));
  EXPECT_TRUE(queued.seen.empty());
  EXPECT_EQ(log.count("Feature00c0DFUControl::onUnexpectedResponse(func=1, swid=0x7)"), 1);

  auto c2 = std::make_shared<Feature00c2DFUControl>(4, device);
  c2->routeUnexpectedResponse(1, 0xA, {0x01, 0x02, 0x03});
  EXPECT_EQ(log.count("Feature00c2DFUControl::onUnexpectedResponse(func=1, swid=0xa)"), 1);
}

class StatusSink : public Subscriber<IFeature00d0DFU::Report> {
 public:
  void onDfuStatus(unsigned packetNumber, Bytes payload) override { seen.push_back({packetNumber, payload}); }
  std::vector<std::pair<unsigned, Bytes>> seen;
};

class Dfu : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_last_error();
    ASSERT_TRUE(sink.subscribe(dfu, Direct));
  }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature00d0DFU> dfu = std::make_shared<Feature00d0DFU>(9, device);
  StatusSink sink;
};

TEST(DfuNumbering, PacketNumberModuloFourIsTheFunction) {
  const int expected[] = {0, 1, 2, 3, 0, 1, 2, 3, 0};
  for (unsigned number = 0; number < 9; ++number) EXPECT_EQ(Feature00d0DFU::function_for_packet(number), expected[number]);
  EXPECT_EQ(Feature00d0DFU::function_for_packet(0x10003), 3);
}

TEST_F(Dfu, SendPacketNumbersThePacketAfterTheCallersAndReportsItsStatusBeforeReturning) {
  LogCapture log;
  const Bytes packet(16, 0xAB);
  struct Case {
    int previous;
    Byte function_nibble;
    unsigned number;
  };
  for (const Case c : {Case{0, 0x10, 1}, Case{1, 0x20, 2}, Case{2, 0x30, 3}, Case{3, 0x00, 4}, Case{4, 0x10, 5}}) {
    SCOPED_TRACE(c.previous);
    sink.seen.clear();
    const Bytes status = long_payload({0, 0, 0, static_cast<Byte>(c.number), 1});
    device->answer(status);
    ASSERT_TRUE(dfu->DFUSendPacket(c.previous, packet));
    Bytes expected{0x11, 0xFF, 9, static_cast<Byte>(c.function_nibble | 1)};
    expected.insert(expected.end(), packet.begin(), packet.end());
    EXPECT_EQ(device->sent().back().request, expected);
    EXPECT_EQ(device->sent().back().cache_mode, 0);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].first, c.number);
    EXPECT_EQ(sink.seen[0].second, status);
  }
  EXPECT_EQ(log.count("DFUSendPacket:Sending packet : 0x0001"), 1);
  EXPECT_EQ(log.count("DFUSendPacket:Sending packet : 0x0004"), 1);
}

TEST_F(Dfu, AFailedOrStatuslessPacketProducesNoEvent) {
  device->fail(ErrorCode::NoResponse);
  EXPECT_FALSE(dfu->DFUSendPacket(0, Bytes(16, 0)));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
  device->answer({0, 0, 0, 1});
  EXPECT_FALSE(dfu->DFUSendPacket(0, Bytes(16, 0)));
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_TRUE(sink.seen.empty());
}

TEST_F(Dfu, StartGivesTheFirstStatusWithoutAnEvent) {
  const Bytes first(16, 0x11);
  const Bytes reply = long_payload({0, 0, 0, 0, 2, 0x77});
  device->answer(reply);
  int status = -1;
  Bytes whole;
  ASSERT_TRUE(dfu->DFUStart(first, &status, &whole));
  EXPECT_EQ(status, 2);
  EXPECT_EQ(whole, reply);
  Bytes expected{0x11, 0xFF, 9, 0x41};
  expected.insert(expected.end(), first.begin(), first.end());
  EXPECT_EQ(device->sent()[0].request, expected);
  EXPECT_TRUE(sink.seen.empty());

  EXPECT_FALSE(dfu->DFUStart(first, nullptr, nullptr));
  device->answer({0, 0, 0, 0});
  status = -1;
  EXPECT_FALSE(dfu->DFUStart(first, &status, nullptr));
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_EQ(status, -1);
}

TEST_F(Dfu, RestartSendsItsValueOnFunctionFive) {
  device->answer(long_payload({}));
  ASSERT_TRUE(dfu->DFURestart(1));
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 9, 0x51, 0x01}));
  device->fail(ErrorCode::NotConnected);
  EXPECT_FALSE(dfu->DFURestart(1));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
}

class ReportCount : public Subscriber<IFeature::FeatureReport> {
 public:
  void onFeatureReport(int, const Bytes&) override { ++count; }
  int count = 0;
};

TEST_F(Dfu, NotificationsCarryTheirPacketNumberInBytesTwoAndThree) {
  ReportCount reports;
  ASSERT_TRUE(reports.subscribe(dfu, Direct));
  const Bytes payload = long_payload({0xAA, 0xBB, 0x01, 0x02, 0x01});
  dfu->routeFeatureReport(3, payload);
  ASSERT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(sink.seen[0].first, 258u);
  EXPECT_EQ(sink.seen[0].second, payload);

  clear_last_error();
  dfu->routeFeatureReport(0, {0, 0, 1});
  EXPECT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_EQ(reports.count, 2);
}

TEST(DeviceReset, ForceDeviceResetSendsFunctionZeroAndOnlyLogsAFailure) {
  LogCapture log;
  auto device = std::make_shared<FakeDevice>();
  auto reset = std::make_shared<Feature1802DeviceReset>(0x0A, device);
  device->answer(long_payload({}));
  reset->forceDeviceReset();
  device->fail(ErrorCode::NoResponse);
  reset->forceDeviceReset();
  const auto sent = device->sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 0x0A, 0x01}));
  EXPECT_TRUE(sent[0].synchronous);
  EXPECT_EQ(sent[0].cache_mode, 0);
  EXPECT_EQ(log.count("DEBUG - Feature1802DeviceReset::forceDeviceReset failed"), 1);
}

}  // namespace
}  // namespace dovod::testing
