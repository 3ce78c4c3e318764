// A damaged embedded image ends the run before anything is offered: the failure says the tool is
// damaged, the log names the image and what is wrong with it, and the keyboard is never touched.

#include "ControllerFixture.h"
#include "FakeKeyboard.h"
#include "app/UiText.h"

namespace vorn::testing {
namespace {

std::vector<std::uint8_t> embedded(int id) {
  FirmwareImage image;
  if (!LoadFirmwareResource(id, image)) return {};
  return std::vector<std::uint8_t>(image.data, image.data + image.size);
}

TEST_F(ControllerTest, ADamagedImageFailsTheRunAndNothingReachesTheKeyboard) {
  std::vector<std::uint8_t> first = embedded(kFirmwareSentFirst);
  ASSERT_FALSE(first.empty());
  first[16 * 1000 + 3] ^= 0x10;
  resources_.put(kFirmwareSentFirst, std::move(first));
  resources_.put(kFirmwareSentSecond, embedded(kFirmwareSentSecond));
  CVornDFUDlg& dlg = open_dialog(resources_.finder(), DialogTiming{}, CheckFirmwareImage);

  EXPECT_TRUE(logged(L"Firmware image 2001 is damaged: digest mismatch\n"));
  EXPECT_FALSE(logged(L"Firmware image 2000 is damaged: digest mismatch\n"));
  EXPECT_EQ(dlg.state(), kUpdateFailed);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kPackageDamaged));
  EXPECT_NE(LoadText(text::kPackageDamaged), LoadText(text::kFailed));
  EXPECT_TRUE(window().running(timer::kCloseCountdown));
  EXPECT_EQ(window().progress_high(), 100u) << "no progress range for a package that is not sent";

  // A keyboard with old firmware is offered no Start button; one waiting in its bootloader, which
  // a working run would start sending to at once, is asked for nothing either.
  auto keyboard = std::make_shared<FakeKeyboard>();
  dlg.onDeviceArrival(keyboard);
  EXPECT_FALSE(window().visible(control::kStart));
  auto waiting = std::make_shared<FakeKeyboard>();
  waiting->info->run("BOT");
  dlg.onDeviceArrival(waiting);
  pump_pending();

  for (const auto& device : {keyboard, waiting}) {
    EXPECT_EQ(device->control->requests, 0);
    EXPECT_TRUE(device->dfu->sent.empty());
    EXPECT_TRUE(device->dfu->restarts.empty());
  }
  EXPECT_EQ(dlg.state(), kUpdateFailed);
  EXPECT_FALSE(window().visible(control::kStart));
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kPackageDamaged));
}

TEST_F(ControllerTest, TheFirstDamagedImageIsTheOneReported) {
  // Swapped resources: image 2000 is checked first and holds 2001's bytes; 2001 is never loaded.
  resources_.put(kFirmwareSentSecond, embedded(kFirmwareSentFirst));
  resources_.put(kFirmwareSentFirst, embedded(kFirmwareSentSecond));
  CVornDFUDlg& dlg = open_dialog(resources_.finder(), DialogTiming{}, CheckFirmwareImage);

  EXPECT_TRUE(logged(L"Firmware image 2000 is damaged: holds image 2001\n"));
  EXPECT_EQ(resources_.asked(), std::vector<int>{kFirmwareSentSecond});
  EXPECT_EQ(dlg.state(), kUpdateFailed);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kPackageDamaged));
}

}  // namespace
}  // namespace vorn::testing
