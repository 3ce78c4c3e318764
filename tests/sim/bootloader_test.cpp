// The keyboard restarts into its bootloader on request, and the bootloader takes the two images the
// way the update sends them.

#include <gtest/gtest.h>

#include "BootloaderHelpers.h"

namespace simtest {
namespace {

class Bootloader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(link.keyboard().in_bootloader());
    ASSERT_TRUE(link.write(enter_dfu_request()));
    ASSERT_TRUE(restarted(link, 0));
    ASSERT_TRUE(link.keyboard().in_bootloader());
  }

  KeyboardLink link{sim::find_scenario("normal")->scaled(0.01)};
};

TEST_F(Bootloader, EnteringItSendsNoReplyAndKeepsTheHardwareDevice) {
  EXPECT_TRUE(link.drain().empty()) << "SetDfuControl is not answered";
  EXPECT_EQ(link.bus().keyboard_device(), link.device());
  EXPECT_TRUE(link.device()->connected());
  EXPECT_EQ(link.keyboard().boots(), 2);
}

TEST_F(Bootloader, OffersOnlyRootFeatureSetFirmwareInformationAndDfu) {
  EXPECT_EQ(link.call(request(1, 0))[4], 3);
  EXPECT_EQ(link.index_of(sim::kFirmwareInfo), kBootFirmwareInfo);
  EXPECT_EQ(link.index_of(sim::kDfu), kBootDfu);
  EXPECT_EQ(link.index_of(sim::kDfuControl), 0);
  EXPECT_EQ(link.index_of(sim::kDeviceName), 0);
  EXPECT_EQ(running_prefix(link, kBootFirmwareInfo), "BOT");
  // The running firmware comes first, so a check of entity 0 sees the firmware change.
  const Bytes first = payload(link.call(request(kBootFirmwareInfo, 1, {0})));
  EXPECT_EQ(std::string(first.begin() + 1, first.begin() + 4), "BOT");
  EXPECT_EQ(first[0] & 0x0F, 1);
  const Bytes second = payload(link.call(request(kBootFirmwareInfo, 1, {1})));
  EXPECT_EQ(std::string(second.begin() + 1, second.begin() + 4), "QRX");
  EXPECT_EQ(second[6] << 8 | second[7], 0x0016) << "the installed application, not running";
  const Bytes echo = link.call({0x10, 0xFF, 0x00, 0x1F, 0, 0, 0x99});
  EXPECT_EQ(echo[6], 0x99) << "pings are answered in the bootloader too";
}

TEST_F(Bootloader, TakesBothImagesWithTheStatusesTheUpdateExpectsAndRunsTheNewFirmware) {
  const TransferOutcome first = send_image(link, kBootDfu, first_packets());
  EXPECT_EQ(first.start_status, sim::kDfuSendNext);
  EXPECT_EQ(first.last_status, sim::kDfuFirstImageComplete);
  EXPECT_EQ(first.last_number, first_packets().size() - 1);
  EXPECT_EQ(first.statuses.size(), first_packets().size()) << "one status per packet";
  EXPECT_TRUE(link.keyboard().image_complete(0x02));

  ASSERT_TRUE(restart_out_of_transfer(link));
  EXPECT_TRUE(link.keyboard().in_bootloader()) << "the second image is still missing";

  const TransferOutcome second = send_image(link, kBootDfu, second_packets());
  EXPECT_EQ(second.last_status, sim::kDfuTransferComplete);
  EXPECT_EQ(second.last_number, second_packets().size() - 1);
  EXPECT_EQ(second.resends, 0);

  ASSERT_TRUE(restart_out_of_transfer(link));
  EXPECT_FALSE(link.keyboard().in_bootloader());
  EXPECT_EQ(running_prefix(link, 2), "QRX");
  const Bytes app = payload(link.call(request(2, 1, {0})));
  EXPECT_EQ(app[6] << 8 | app[7], 0x0017) << "5.1.17";
  EXPECT_EQ(link.keyboard().application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
}

TEST_F(Bootloader, StartIsAnsweredAndFollowedByANotificationForPacketZero) {
  const Bytes reply = link.call(request(kBootDfu, sim::kDfuStartFunction, first_packets()[0]));
  EXPECT_EQ(dfu_status(reply), sim::kDfuSendNext);
  const auto note = link.take([](const Bytes& r) { return r[2] == kBootDfu && (r[3] & 0x0F) == 0; });
  ASSERT_TRUE(note);
  EXPECT_EQ(dfu_number(*note), 0u);
  EXPECT_EQ(dfu_status(*note), sim::kDfuSendNext);
  EXPECT_EQ((*note)[3] >> 4, 0);
}

TEST_F(Bootloader, ACorruptedImageIsRefusedAndTheKeyboardComesBackInItsBootloader) {
  std::vector<Bytes> broken = first_packets();
  broken[7557][15] = 0x5A;  // the padding after the segment's end
  const TransferOutcome refused = send_image(link, kBootDfu, broken);
  EXPECT_EQ(refused.last_status, sim::kDfuBadRecord);
  EXPECT_EQ(refused.last_number, 7557u);
  EXPECT_FALSE(link.keyboard().image_complete(0x02));

  ASSERT_TRUE(restart_out_of_transfer(link));
  EXPECT_TRUE(link.keyboard().in_bootloader());
  EXPECT_EQ(link.keyboard().application_version(), (sim::FirmwareVersion{0x0501, 0x0016}));

  // The transfer can be sent again from the start.
  EXPECT_EQ(send_image(link, kBootDfu, first_packets()).last_status, sim::kDfuFirstImageComplete);
}

TEST_F(Bootloader, RestartBeforeBothImagesArrivedStaysInTheBootloader) {
  ASSERT_EQ(send_image(link, kBootDfu, first_packets()).last_status, sim::kDfuFirstImageComplete);
  const std::vector<Bytes> half(second_packets().begin(), second_packets().begin() + 1000);
  EXPECT_EQ(send_image(link, kBootDfu, half).last_status, sim::kDfuSendNext);
  ASSERT_TRUE(restart_out_of_transfer(link));
  EXPECT_TRUE(link.keyboard().in_bootloader());
  EXPECT_FALSE(link.keyboard().image_complete(0x01));
  EXPECT_TRUE(link.keyboard().image_complete(0x02)) << "a whole image survives the restart";
  EXPECT_EQ(send_image(link, kBootDfu, second_packets()).last_status, sim::kDfuTransferComplete);
}

TEST_F(Bootloader, ARepeatedPacketIsAnsweredAgainAndTakenOnce) {
  ASSERT_EQ(dfu_status(link.call(request(kBootDfu, sim::kDfuStartFunction, first_packets()[0]))), sim::kDfuSendNext);
  link.drain();
  const Bytes one = request(kBootDfu, 1, first_packets()[1]);
  const Bytes first = link.call(one);
  const Bytes again = link.call(one);
  EXPECT_EQ(first, again);
  EXPECT_EQ(dfu_status(again), sim::kDfuSendNext);
  EXPECT_EQ(dfu_status(link.call(request(kBootDfu, 2, first_packets()[2]))), sim::kDfuSendNext)
      << "the packet after it is number 2, not 3";
}

TEST_F(Bootloader, PacketsOutOfOrderOrWithoutAStartAreRefused) {
  const Bytes early = link.call(request(kBootDfu, 1, first_packets()[1]));
  EXPECT_EQ(dfu_status(early), sim::kDfuNotStarted);

  ASSERT_EQ(dfu_status(link.call(request(kBootDfu, sim::kDfuStartFunction, first_packets()[0]))), sim::kDfuSendNext);
  const Bytes skipped = link.call(request(kBootDfu, 2, first_packets()[2]));
  EXPECT_EQ(dfu_status(skipped), sim::kDfuOutOfSequence);
  EXPECT_EQ(dfu_status(link.call(request(kBootDfu, 1, first_packets()[1]))), sim::kDfuNotStarted)
      << "a refused image has to start again";
}

TEST_F(Bootloader, ABadHeaderIsRefusedAtTheStartWithoutANotification) {
  Bytes header = first_packets()[0];
  header[2] = 'Z';
  const Bytes reply = link.call(request(kBootDfu, sim::kDfuStartFunction, header));
  EXPECT_EQ(dfu_status(reply), sim::kDfuBadHeader);
  EXPECT_FALSE(link.take([](const Bytes& r) { return (r[3] & 0x0F) == 0; }, 50ms));
}

TEST_F(Bootloader, RestartWithAValueOtherThanOneIsAnErrorAndDoesNotRestart) {
  const Bytes reply = link.call(request(kBootDfu, sim::kDfuRestartFunction, {2}));
  ASSERT_TRUE(is_error_reply(reply));
  EXPECT_EQ(reply[5], sim::kErrInvalidArgument);
  EXPECT_EQ(link.connect_events().size(), 2u);
}

TEST(Scenarios, StartAsTheirNamesSay) {
  KeyboardLink in_boot(sim::find_scenario("in-bootloader")->scaled(0.01));
  EXPECT_EQ(running_prefix(in_boot, kBootFirmwareInfo), "BOT");
  EXPECT_EQ(in_boot.index_of(sim::kDfu), kBootDfu);

  KeyboardLink current(sim::find_scenario("up-to-date")->scaled(0.01));
  const Bytes app = payload(current.call(request(2, 1, {0})));
  EXPECT_EQ(app[8], 1);
  EXPECT_EQ(app[4] << 8 | app[5], 0x0501);
  EXPECT_EQ(app[6] << 8 | app[7], 0x0017);
}

}  // namespace
}  // namespace simtest
