#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "protocol/features/Feature0003FirmwareInfo.h"
#include "protocol/features/FirmwareVersionText.h"

namespace dovod::testing {
namespace {

TEST(FirmwareVersionText, NormalizeBcdKeepsBcdAndRewritesEverythingElseAsDecimalCappedAt9999) {
  struct Case {
    std::uint16_t in, out;
  };
  for (const Case c : {Case{0x1234, 0x1234}, Case{0x0100, 0x0100}, Case{0x9999, 0x9999}, Case{0x0000, 0x0000},
                       Case{0x00FF, 0x0255}, Case{0x000A, 0x0010}, Case{0x270F, 0x9999}, Case{0x2A00, 0x9999},
                       Case{0xFFFF, 0x9999}, Case{0x1A00, 0x6656}}) {
    EXPECT_EQ(NormalizeBcd(c.in), c.out) << std::hex << c.in;
  }
}

TEST(FirmwareVersionText, FormatsMajorMinorBuildWithoutLeadingZeros) {
  struct Case {
    const char* prefix;
    std::uint16_t version, build;
    const char* text;
  };
  const Case cases[] = {
      {"QRX", 0x0512, 0x0027, "5.12.27"},  {"QRX", 0x0512, 0x9927, "5.12.9927"},
      {"U1 ", 0x0512, 0x0027, "105.12.27"}, {"U1X", 0x0512, 0x0027, "5.12.27"},
      {"U  ", 0x0512, 0x0027, "5.12.27"},  {"V1 ", 0x0512, 0x0027, "5.12.27"},
      {"UX ", 0x0512, 0x0027, "5.12.27"},  {"U1", 0x0512, 0x0027, "5.12.27"},
      {"QRX", 0x00FF, 0x000A, "2.55.10"},  {"BOT", 0x0000, 0x0000, "0.0.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(format_fw_version(c.prefix, c.version, c.build), c.text) << c.prefix;
  EXPECT_EQ(hex4(0xAB0C), "AB0C");
}

// The payload of a GetFwInfo reply.
Bytes entity(int type, const char* prefix, std::uint16_t version, std::uint16_t build, Byte rdnf) {
  return Bytes{static_cast<Byte>(type), static_cast<Byte>(prefix[0]), static_cast<Byte>(prefix[1]),
               static_cast<Byte>(prefix[2]), static_cast<Byte>(version >> 8), static_cast<Byte>(version),
               static_cast<Byte>(build >> 8), static_cast<Byte>(build), rdnf, 1, 2, 3, 4, 5, 6, 7};
}

Bytes entity_count(Byte count, std::uint16_t transport = 0, std::uint16_t pid1 = 0) {
  return long_payload({count, 0, 0, 0, 0, static_cast<Byte>(transport >> 8), static_cast<Byte>(transport),
                       static_cast<Byte>(pid1 >> 8), static_cast<Byte>(pid1)});
}

class FirmwareInfo : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature0003FirmwareInfo> info = std::make_shared<Feature0003FirmwareInfo>(2, device);
};

TEST_F(FirmwareInfo, GetEntityCountDecodesEveryField) {
  LogCapture log;
  device->answer({3, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01, 0xB3, 0xF1, 0xAB, 0xCD, 0x00, 0x09, 0x07, 0, 0});
  int count = 0, unit = 0, transport = 0, pid1 = 0, pid2 = 0, pid3 = 0, extended = 0;
  ASSERT_TRUE(info->GetEntityCount(&count, &unit, &transport, &pid1, &pid2, &pid3, &extended, 1));
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 0x02, 0x01}));
  EXPECT_EQ(device->sent()[0].cache_mode, 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(unit, 0x12345678);
  EXPECT_EQ(transport, 1);
  EXPECT_EQ(pid1, 0xB3F1);
  EXPECT_EQ(pid2, 0xABCD);
  EXPECT_EQ(pid3, 9);
  EXPECT_EQ(extended, 7);
  EXPECT_EQ(log.count("Feature0003FirmwareInfo::GetEntityCount(*count = 3, *unitId = 0x12345678, *transport = "
                      "0x0001, pid1 = 0xb3f1, pid2 = 0xabcd, pid3 = 0x0009, extendedModelId = 7)"),
            1);
}

TEST_F(FirmwareInfo, GetEntityCountRefusesAReplyWithoutAllFields) {
  device->answer({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  int count = -1;
  EXPECT_FALSE(info->GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_EQ(count, -1);
}

TEST_F(FirmwareInfo, GetFwInfoDecodesTypePrefixVersionBuildFlagsAndExtraData) {
  Bytes payload = entity(0x31, "QR\x01", 0x0512, 0x0027, 0x01);
  payload[3] = 0x00;
  device->answer(payload);
  int type = -1, rdnf = -1;
  std::string prefix = "something long";
  std::uint16_t version = 0, build = 0;
  Bytes extra{9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  ASSERT_TRUE(info->GetFwInfo(4, &type, &prefix, &version, &build, &rdnf, &extra, 1));
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 0x02, 0x11, 0x04}));
  EXPECT_EQ(device->sent()[0].cache_mode, 1);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(prefix, "QR ");
  EXPECT_EQ(version, 0x0512);
  EXPECT_EQ(build, 0x0027);
  EXPECT_EQ(rdnf, 1);
  EXPECT_EQ(extra, (Bytes{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(FirmwareInfo, GetFwInfoReplacesEveryUnprintableByteOfThePrefix) {
  Bytes payload = entity(0, "ABC", 0, 0, 0);
  payload[1] = 0x1F;
  payload[2] = 0x7F;
  payload[3] = 0xC3;
  device->answer(payload);
  std::string prefix;
  ASSERT_TRUE(info->GetFwInfo(0, nullptr, &prefix, static_cast<std::uint16_t*>(nullptr), nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(prefix, "   ");
}

TEST_F(FirmwareInfo, GetFwInfoTextFormGivesHexDigitsAndAlwaysLogsItsLine) {
  LogCapture log;
  device->answer(entity(0, "QRX", 0xAB12, 0x0027, 0));
  std::string version, build, prefix;
  int type = -1;
  ASSERT_TRUE(info->GetFwInfo(0, &type, &prefix, &version, &build, nullptr, nullptr, 1));
  EXPECT_EQ(version, "AB12");
  EXPECT_EQ(build, "0027");

  device->answer(Bytes(15, 0));
  version = "kept";
  EXPECT_FALSE(info->GetFwInfo(1, nullptr, nullptr, &version, nullptr, nullptr, nullptr, 1));
  EXPECT_EQ(last_error().code, ErrorCode::CommandResponseTooShort);
  EXPECT_EQ(version, "kept");
  EXPECT_EQ(log.count("GetFwInfo(entity = 0, *fwType = 0, *prefix = QRX, *bcdVersion = 0xab12"), 1);
  EXPECT_EQ(log.count("GetFwInfo(entity = 0, *fwType = 0, *prefix = QRX, *version = AB12, *build = 0027, *rdnf = 0"),
            1);
  EXPECT_EQ(log.count("GetFwInfo(entity = 1, *fwType = 0, *prefix = , *version = kept, *build = , *rdnf = 0"), 1);
}

TEST_F(FirmwareInfo, FormattedVersionIsThatOfTheFirstApplicationEntity) {
  device->answer(entity_count(3));
  device->answer(entity(1, "BOT", 0x0102, 0x0003, 0));
  device->answer(entity(0, "U1 ", 0x0512, 0x0027, 1));
  std::string text;
  ASSERT_TRUE(info->GetFwFormattedVersion(&text));
  EXPECT_EQ(text, "105.12.27");
  const auto sent = device->sent();
  ASSERT_EQ(sent.size(), 3u);
  for (const SentCommand& s : sent) EXPECT_EQ(s.cache_mode, 1);
  EXPECT_EQ(sent[2].request, (Bytes{0x10, 0xFF, 0x02, 0x11, 0x01}));
}

TEST_F(FirmwareInfo, FormattedVersionFailsWithoutAnApplicationEntityOrWhenAReadFails) {
  device->answer(entity_count(2));
  device->answer(entity(1, "BOT", 0x0102, 0x0003, 0));
  device->answer(entity(1, "BOT", 0x0102, 0x0003, 0));
  std::string text = "kept";
  EXPECT_FALSE(info->GetFwFormattedVersion(&text));
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent);

  device->answer(entity_count(2));
  device->fail(ErrorCode::NoResponse);
  EXPECT_FALSE(info->GetFwFormattedVersion(&text));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(device->sent().size(), 5u);

  EXPECT_FALSE(info->GetFwFormattedVersion(nullptr));
  EXPECT_EQ(device->sent().size(), 5u);
}

TEST_F(FirmwareInfo, FormattedVersionOfAKindChoosesByPrefix) {
  struct Case {
    int kind;
    bool found;
    const char* text;
  };
  for (const Case c : {Case{0, true, "3.4.5"}, Case{1, true, "1.2.255"}, Case{2, false, "kept"}}) {
    SCOPED_TRACE(c.kind);
    auto dev = std::make_shared<FakeDevice>();
    auto f = std::make_shared<Feature0003FirmwareInfo>(2, dev);
    dev->answer(entity_count(3));
    dev->answer(entity(0, "XYZ", 0x0909, 0x0909, 0));
    dev->answer(entity(1, "BOT", 0x0102, 0x00FF, 0));
    dev->answer(entity(5, "QRW", 0x0304, 0x0005, 1));
    std::string text = "kept";
    std::uint16_t build = 0xEEEE, version = 0xEEEE;
    int rdnf = -1;
    EXPECT_EQ(f->GetFwFormattedVersionOf(c.kind, &text, &build, &version, &rdnf), c.found);
    EXPECT_EQ(text, c.text);
    if (c.kind == 1) {
      EXPECT_EQ(build, 0x0255);
      EXPECT_EQ(version, 0x0102);
      EXPECT_EQ(rdnf, 0);
    }
    if (c.kind == 0) {
      EXPECT_EQ(rdnf, 1);
    }
    if (!c.found) {
      EXPECT_EQ(build, 0xEEEE);
      EXPECT_EQ(rdnf, -1);
    }
  }
}

TEST_F(FirmwareInfo, FindFwInfoByTypeStopsAtTheFirstEntityOfTheType) {
  device->answer(entity_count(3));
  device->answer(entity(0, "QRX", 0x0512, 0x0027, 1));
  device->answer(entity(1, "BOT", 0x0102, 0x0003, 0));
  std::string prefix;
  std::uint16_t version = 0, build = 0;
  ASSERT_TRUE(info->FindFwInfoByType(1, &prefix, &version, &build, nullptr, nullptr));
  EXPECT_EQ(prefix, "BOT");
  EXPECT_EQ(version, 0x0102);
  EXPECT_EQ(device->unanswered(), 0u);
  EXPECT_EQ(device->sent().size(), 3u);

  device->answer(entity_count(1));
  device->answer(entity(0, "QRX", 0x0512, 0x0027, 1));
  EXPECT_FALSE(info->FindFwInfoByType(2, &prefix, &version, &build, nullptr, nullptr));
  EXPECT_EQ(prefix, "QRX");
}

TEST_F(FirmwareInfo, ModelIdComesFromTransportAndPidOrFromTheDevice) {
  LogCapture log;
  device->pid_value = 0xB3F1;
  device->answer(entity_count(2, 0x0000, 0x1234));
  device->answer(entity_count(2, 0x0046, 0xC001));
  unsigned model = 0;
  ASSERT_TRUE(info->GetModelId(&model));
  EXPECT_EQ(model, 0xB3F1u);
  ASSERT_TRUE(info->GetModelId(&model));
  EXPECT_EQ(model, 0x0046C001u);
  EXPECT_EQ(log.count("Feature0003FirmwareInfo::GetModelId(*model = 46c001)"), 1);

  device->answer(long_payload({}));
  EXPECT_TRUE(info->GetModelId(nullptr));
  device->fail(ErrorCode::NotConnected);
  EXPECT_FALSE(info->GetModelId(&model));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
}

TEST_F(FirmwareInfo, ExtendedModelIdPassesCacheableThrough) {
  Bytes payload = entity_count(1);
  payload[13] = 0x2A;
  device->answer(payload);
  int extended = 0;
  ASSERT_TRUE(info->GetExtendedModelId(&extended, 0));
  EXPECT_EQ(extended, 0x2A);
  EXPECT_EQ(device->sent()[0].cache_mode, 0);
}

}  // namespace
}  // namespace dovod::testing
