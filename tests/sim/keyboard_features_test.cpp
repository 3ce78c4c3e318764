// The simulated keyboard's application firmware answers each feature at the byte level.

#include <gtest/gtest.h>

#include <string>

#include "KeyboardLink.h"
#include "dovod/MakerValues.h"

namespace simtest {
namespace {

class ApplicationFirmware : public ::testing::Test {
 protected:
  sim::Scenario scenario = *sim::find_scenario("normal");
  KeyboardLink link{scenario.scaled(0.01)};
};

TEST_F(ApplicationFirmware, HardwareDeviceCarriesTheKeyboardsIdentity) {
  auto device = link.device();
  EXPECT_EQ(device->pid(), dovod::maker::kKeyboardPid);
  EXPECT_EQ(device->vendor_id(), dovod::maker::kVendorId);
  EXPECT_EQ(device->bus_type(), 0);
  EXPECT_EQ(device->report_length(), 20);
  EXPECT_TRUE(device->connected());
  EXPECT_EQ(link.bus().devices().size(), 1u);
  EXPECT_EQ(device->bus().get(), &link.bus());
}

TEST_F(ApplicationFirmware, RootMapsFeatureIdsToIndexes) {
  const struct {
    int id;
    int index;
  } cases[] = {{0x0000, 0}, {0x0001, 1}, {0x0003, 2}, {0x0005, 3}, {0x0020, 4}, {0x00C2, 5}, {0x1D4B, 6},
               {0x00D0, 0}, {0x1802, 0}};
  for (const auto& c : cases) {
    const Bytes reply = link.call(request(0, 0, {static_cast<Byte>(c.id >> 8), static_cast<Byte>(c.id)}));
    ASSERT_EQ(reply.size(), 20u) << std::hex << c.id;
    EXPECT_EQ(reply[0], sim::kLongReportId);
    EXPECT_EQ(reply[4], c.index) << std::hex << c.id;
  }
}

TEST_F(ApplicationFirmware, ProtocolVersionEchoesThePingByteOfAShortRequest) {
  for (Byte ping : {Byte{0}, Byte{0x5A}, Byte{0xFF}}) {
    const Bytes req = {0x10, 0xFF, 0x00, 0x1E, 0x00, 0x00, ping};
    const Bytes reply = link.call(req);
    ASSERT_EQ(reply.size(), 20u);
    EXPECT_EQ(Bytes(reply.begin() + 1, reply.begin() + 4), Bytes(req.begin() + 1, req.begin() + 4));
    EXPECT_EQ(reply[6], ping);
    EXPECT_NE(reply[4], 0) << "a protocol version";
  }
}

TEST_F(ApplicationFirmware, FeatureSetListsEveryFeatureUpToTheHighestIndex) {
  const Bytes count = link.call(request(1, 0));
  ASSERT_EQ(count.size(), 20u);
  EXPECT_EQ(count[4], 6);
  const int ids[] = {0x0000, 0x0001, 0x0003, 0x0005, 0x0020, 0x00C2, 0x1D4B};
  for (int index = 0; index <= 6; ++index) {
    const Bytes reply = link.call(request(1, 1, {static_cast<Byte>(index)}));
    EXPECT_EQ(reply[4] << 8 | reply[5], ids[index]) << index;
  }
  EXPECT_TRUE(is_error_reply(link.call(request(1, 1, {7}))));
}

TEST_F(ApplicationFirmware, FirmwareInformationNamesTheRunningApplicationAndTheBootloader) {
  const Bytes count = link.call(request(2, 0));
  EXPECT_EQ(count[4], 2);
  EXPECT_EQ(count[11] << 8 | count[12], static_cast<int>(dovod::maker::kKeyboardPid)) << "pid1";

  const Bytes app = payload(link.call(request(2, 1, {0})));
  EXPECT_EQ(app[0] & 0x0F, 0);
  EXPECT_EQ(std::string(app.begin() + 1, app.begin() + 4), "QRX");
  EXPECT_EQ(app[4] << 8 | app[5], 0x0501);
  EXPECT_EQ(app[6] << 8 | app[7], 0x0016);
  EXPECT_EQ(app[8], 1) << "running";

  const Bytes boot = payload(link.call(request(2, 1, {1})));
  EXPECT_EQ(boot[0] & 0x0F, 1);
  EXPECT_EQ(std::string(boot.begin() + 1, boot.begin() + 4), "BOT");
  EXPECT_EQ(boot[8], 0);

  EXPECT_TRUE(is_error_reply(link.call(request(2, 1, {2}))));
}

TEST_F(ApplicationFirmware, NameComesInChunksFromTheRequestedOffset) {
  const std::string name = sim::kProductName;
  EXPECT_EQ(link.call(request(3, 0))[4], name.size());
  std::string read;
  while (read.size() < name.size()) {
    const Bytes chunk = payload(link.call(request(3, 1, {static_cast<Byte>(read.size())})));
    ASSERT_EQ(chunk.size(), 16u);
    read.append(chunk.begin(), chunk.end());
  }
  EXPECT_EQ(read.substr(0, name.size()), name);
  EXPECT_TRUE(is_error_reply(link.call(request(3, 1, {static_cast<Byte>(name.size())}))));
  EXPECT_EQ(link.call(request(3, 2))[4], sim::kDeviceTypeKeyboard);
}

TEST_F(ApplicationFirmware, ConfigCookieIsWrittenAndReadBack) {
  const Bytes fresh = link.call(request(4, 0));
  EXPECT_EQ(fresh[4] << 8 | fresh[5], 0) << "no cookie after power-up";
  const Bytes written = link.call(request(4, 1, {0xBE, 0xEF}));
  EXPECT_EQ(written[4], 0xBE);
  EXPECT_EQ(written[5], 0xEF);
  const Bytes read = link.call(request(4, 0));
  EXPECT_EQ(read[4] << 8 | read[5], 0xBEEF);
  EXPECT_EQ(link.keyboard().cookie(), 0xBEEF);
}

TEST_F(ApplicationFirmware, DfuControlReportsDfuOffAndChecksTheMagic) {
  EXPECT_EQ(link.call(request(5, 0))[6] & 1, 0);
  const Bytes bad = link.call(request(5, 1, {1, 0, 0, 0, 'D', 'F', 'X'}));
  ASSERT_TRUE(is_error_reply(bad));
  EXPECT_EQ(bad[5], sim::kErrInvalidArgument);
  EXPECT_FALSE(link.keyboard().in_bootloader());
  EXPECT_FALSE(is_error_reply(link.call(request(5, 1, {0, 0, 0, 0, 'D', 'F', 'U'})))) << "enable 0 is answered";
  EXPECT_FALSE(link.keyboard().in_bootloader());
}

TEST_F(ApplicationFirmware, UnknownFeatureIndexAndFunctionGetErrorReplies) {
  const struct {
    const char* label;
    Bytes req;
    Byte error;
  } cases[] = {
      {"index beyond the table", request(9, 0), sim::kErrUnknownFeatureIndex},
      {"root function 3", request(0, 3), sim::kErrUnknownFunction},
      {"name function 5", request(3, 5), sim::kErrUnknownFunction},
      {"wireless status has no functions", request(6, 0), sim::kErrUnknownFunction},
  };
  for (const auto& c : cases) {
    const Bytes reply = link.call(c.req);
    ASSERT_EQ(reply.size(), 20u) << c.label;
    EXPECT_EQ(reply[1], 0xFF) << c.label;
    EXPECT_EQ(reply[2], 0xFF) << c.label;
    EXPECT_EQ(reply[3], c.req[2]) << c.label;
    EXPECT_EQ(reply[4], c.req[3]) << c.label;
    EXPECT_EQ(reply[5], c.error) << c.label;
  }
}

TEST_F(ApplicationFirmware, RepliesCarryTheRequestsDeviceIndexAndSoftwareId) {
  const Bytes req = {0x10, 0x03, 0x00, 0x1B, 0x00, 0x00, 0x42};
  const Bytes reply = link.call(req);
  EXPECT_EQ(reply[1], 0x03);
  EXPECT_EQ(reply[3], 0x1B);
}

}  // namespace
}  // namespace simtest
