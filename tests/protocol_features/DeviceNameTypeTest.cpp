#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeDevice.h"
#include "LogCapture.h"
#include "protocol/features/Feature0005DeviceNameType.h"

namespace dovod::testing {
namespace {

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

class DeviceNameType : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
  std::shared_ptr<Feature0005DeviceNameType> feature = std::make_shared<Feature0005DeviceNameType>(3, device);
};

TEST_F(DeviceNameType, NameIsReadInChunksCutToItsLengthAndRemembered) {
  LogCapture log;
  device->answer(long_payload({20}));
  device->answer(text_bytes("Vorn Wireless Ga"));
  device->answer(long_payload(text_bytes("ming")));
  std::string name;
  ASSERT_TRUE(feature->GetDeviceName(&name));
  EXPECT_EQ(name, "Vorn Wireless Gaming");
  const auto sent = device->sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].request, (Bytes{0x10, 0xFF, 0x03, 0x01}));
  EXPECT_EQ(sent[1].request, (Bytes{0x10, 0xFF, 0x03, 0x11, 0}));
  EXPECT_EQ(sent[2].request, (Bytes{0x10, 0xFF, 0x03, 0x11, 16}));
  for (const SentCommand& s : sent) EXPECT_EQ(s.cache_mode, 1);

  std::string again;
  ASSERT_TRUE(feature->GetDeviceName(&again));
  ASSERT_TRUE(feature->GetDeviceName(nullptr));
  EXPECT_EQ(again, name);
  EXPECT_EQ(device->sent().size(), 3u);
  EXPECT_EQ(log.count("Feature0005DeviceNameType::GetCount(*count = 20)"), 1);
  EXPECT_EQ(log.count("Feature0005DeviceNameType::GetDeviceName(*name = Vorn Wireless Gaming)"), 3);
}

TEST_F(DeviceNameType, AFailedReadIsForgottenAndTheNextCallReadsTheWholeNameAgain) {
  device->answer(long_payload({20}));
  device->answer(text_bytes("Vorn Wireless Ga"));
  device->fail(ErrorCode::NoResponse);
  std::string name = "kept";
  EXPECT_FALSE(feature->GetDeviceName(&name));
  EXPECT_EQ(last_error().code, ErrorCode::NoResponse);
  EXPECT_EQ(name, "kept");

  device->answer(long_payload({4}));
  device->answer(long_payload(text_bytes("Vorn")));
  ASSERT_TRUE(feature->GetDeviceName(&name));
  EXPECT_EQ(name, "Vorn");
}

// A device whose name chunks come back empty would otherwise keep the name loop asking forever.
class EmptyChunks : public Feature0005DeviceNameType {
 public:
  using Feature0005DeviceNameType::Feature0005DeviceNameType;
  bool GetDeviceNameChunk(int, Bytes* chunk) override {
    ++calls;
    chunk->clear();
    return true;
  }
  int calls = 0;
};

TEST_F(DeviceNameType, AnEmptyChunkEndsTheReadWithCode29) {
  auto empty = std::make_shared<EmptyChunks>(3, device);
  device->answer(long_payload({20}));
  std::string name = "kept";
  EXPECT_FALSE(empty->GetDeviceName(&name));
  EXPECT_EQ(to_int(last_error().code), 29);
  EXPECT_EQ(empty->calls, 1);
  EXPECT_EQ(name, "kept");
}

TEST_F(DeviceNameType, DeviceTypeInBothForms) {
  device->answer(long_payload({0x00}));
  device->answer(long_payload({0x02}));
  int type = -1;
  char letter = 'x';
  ASSERT_TRUE(feature->GetDeviceType(&type));
  ASSERT_TRUE(feature->GetDeviceType(&letter));
  EXPECT_EQ(type, 0);
  EXPECT_EQ(letter, 2);
  EXPECT_EQ(device->sent()[0].request, (Bytes{0x10, 0xFF, 0x03, 0x21}));
  EXPECT_FALSE(feature->GetDeviceType(static_cast<int*>(nullptr)));
  EXPECT_EQ(device->sent().size(), 2u);
}

TEST_F(DeviceNameType, GetCountAndChunkPassTheEnginesErrorThrough) {
  device->fail(ErrorCode::NotConnected);
  device->fail(ErrorCode::DeviceRemoved);
  int count = -1;
  Bytes chunk{1};
  EXPECT_FALSE(feature->GetCount(&count));
  EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
  EXPECT_FALSE(feature->GetDeviceNameChunk(0, &chunk));
  EXPECT_EQ(last_error().code, ErrorCode::DeviceRemoved);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(chunk, Bytes{1});
}

}  // namespace
}  // namespace dovod::testing
