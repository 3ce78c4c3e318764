#include <gtest/gtest.h>

#include <memory>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "protocol/features/Feature0000Root.h"
#include "protocol/features/Feature0001FeatureSet.h"

namespace dovod::testing {
namespace {

class RootFeature : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature0000Root> root = std::make_shared<Feature0000Root>(0, device);
};

TEST_F(RootFeature, GetFeatureAsksForTheIdAndDecodesIndexFlagsAndVersion) {
  LogCapture log;
  device->answer(long_payload({0x0C, 0xE0, 0x03}));
  int index = -1, version = -1;
  bool obsolete = false, hidden = false, engineering = false;
  ASSERT_TRUE(root->GetFeature(0x00D0, &index, &obsolete, &hidden, &engineering, &version, 1));
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 0x00, 0x01, 0x00, 0xD0}));
  EXPECT_EQ(device->sent()[0].cache_mode, 1);
  EXPECT_EQ(index, 0x0C);
  EXPECT_TRUE(obsolete);
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(engineering);
  EXPECT_EQ(version, 3);
  EXPECT_EQ(log.count("Feature0000Root::GetFeature(featureId = 0x000000d0, *featureIndex = 12, *obsolete = 1, "
                      "*hidden = 1, *engineering = 1, *version = 3)"),
            1);
}

TEST_F(RootFeature, GetFeatureDecodesEachFlagBitOnItsOwn) {
  struct Case {
    Byte flags;
    bool obsolete, hidden, engineering;
  };
  for (const Case c : {Case{0x80, true, false, false}, Case{0x40, false, true, false}, Case{0x20, false, false, true},
                       Case{0x1F, false, false, false}}) {
    SCOPED_TRACE(c.flags);
    device->answer(long_payload({1, c.flags, 0}));
    bool obsolete = !c.obsolete, hidden = !c.hidden, engineering = !c.engineering;
    ASSERT_TRUE(root->GetFeature(0x0003, nullptr, &obsolete, &hidden, &engineering, nullptr, 0));
    EXPECT_EQ(obsolete, c.obsolete);
    EXPECT_EQ(hidden, c.hidden);
    EXPECT_EQ(engineering, c.engineering);
  }
}

TEST_F(RootFeature, GetFeatureOfAnAbsentFeatureSucceedsWithIndexZeroEvenFromAShortReply) {
  device->answer({0x00, 0x00, 0x00});
  int index = -1, version = -1;
  ASSERT_TRUE(root->GetFeature(0x1234, &index, nullptr, nullptr, nullptr, &version, 0));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(version, 0);
}

TEST_F(RootFeature, GetProtocolVersionIsCacheableOnlyWithoutAPingValue) {
  device->answer(long_payload({4, 2, 0}));
  device->answer(long_payload({4, 2, 0x5A}));
  Byte protocol = 0, target = 0, ping = 0;
  ASSERT_TRUE(root->GetProtocolVersion(0, &protocol, &target, &ping));
  ASSERT_TRUE(root->GetProtocolVersion(0x5A, nullptr, nullptr, &ping));
  EXPECT_EQ(protocol, 4);
  EXPECT_EQ(target, 2);
  EXPECT_EQ(ping, 0x5A);
  const auto sent = device->sent();
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x00}));
  EXPECT_EQ(sent[0].cache_mode, 1);
  EXPECT_EQ(sent[1].request, (Bytes{0x10, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x5A}));
  EXPECT_EQ(sent[1].cache_mode, 0);
}

TEST_F(RootFeature, TargetSwAsksOnlyUntilItHasAnAnswer) {
  device->fail(ErrorCode::NoResponse);
  Byte protocol = 0x77;
  int target = 0x77;
  EXPECT_FALSE(root->TargetSw(&protocol, &target));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
  EXPECT_EQ(protocol, 0x77);
  EXPECT_EQ(target, 0x77);

  device->answer(long_payload({4, 5, 0}));
  EXPECT_TRUE(root->TargetSw(&protocol, &target));
  EXPECT_TRUE(root->TargetSw(nullptr, nullptr));
  protocol = 0;
  target = 0;
  EXPECT_TRUE(root->TargetSw(&protocol, &target));
  EXPECT_EQ(protocol, 4);
  EXPECT_EQ(target, 5);
  EXPECT_EQ(device->sent().size(), 2u);
}

TEST_F(RootFeature, PingIsSentWithItsEchoPositionAndChecksTheEcho) {
  device->answer(long_payload({4, 2, 0x33}));
  EXPECT_TRUE(root->Ping(0x33));
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x33}));
  EXPECT_EQ(device->sent()[0].echo_positions, std::vector<int>{2});
  EXPECT_EQ(device->sent()[0].cache_mode, 0);

  device->answer(long_payload({4, 2, 0x34}));
  EXPECT_FALSE(root->Ping(0x33));
  EXPECT_EQ(last_error().code, ErrorCode::PingMismatch);
}

class FeatureSetFeature : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature0001FeatureSet> set = std::make_shared<Feature0001FeatureSet>(1, device);
};

TEST_F(FeatureSetFeature, GetCountAndGetFeatureIdAreCacheableAndDecodeTheirReplies) {
  LogCapture log;
  device->answer(long_payload({0x0E}));
  device->answer(long_payload({0x00, 0xD0, 0x60, 0x02}));
  int count = 0, id = 0, version = 0;
  bool engineering = true, hidden = false, obsolete = true;
  ASSERT_TRUE(set->GetCount(&count));
  ASSERT_TRUE(set->GetFeatureID(7, &id, &engineering, &hidden, &obsolete, &version));
  EXPECT_EQ(count, 14);
  EXPECT_EQ(id, 0x00D0);
  EXPECT_FALSE(obsolete);
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(engineering);
  EXPECT_EQ(version, 2);
  const auto sent = device->sent();
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 0x01, 0x01}));
  EXPECT_EQ(sent[1].request, (Bytes{0x10, 0xFF, 0x01, 0x11, 0x07}));
  EXPECT_EQ(sent[0].cache_mode, 1);
  EXPECT_EQ(sent[1].cache_mode, 1);
  EXPECT_EQ(log.count("Feature0001FeatureSet::GetCount(* count = 14)"), 1);
  EXPECT_EQ(log.count("Feature0001FeatureSet::GetFeatureID(featureIndex = 7, *featureID = 0x000000d0, "
                      "*engineeringHidden = 1, *swHidden = 1, *obsolete = 0, *version = 2)"),
            1);
}

TEST_F(FeatureSetFeature, GetFeatureIdPadsAShortReplyWithZeros) {
  device->answer({0x18, 0x02, 0x80});
  int id = 0, version = 9;
  bool obsolete = false;
  ASSERT_TRUE(set->GetFeatureID(3, &id, nullptr, nullptr, &obsolete, &version));
  EXPECT_EQ(id, 0x1802);
  EXPECT_TRUE(obsolete);
  EXPECT_EQ(version, 0);
}

}  // namespace
}  // namespace dovod::testing
