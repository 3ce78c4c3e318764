// What the dialog's initialisation leaves behind: its face, the firmware images behind the progress
// bar, the run counted, and the failure path when an image is missing.

#include "ControllerFixture.h"
#include "FakeKeyboard.h"
#include "app/UiText.h"
#include "platform/Registry.h"

namespace vorn::testing {
namespace {

TEST_F(ControllerTest, InitialisationSetsTheFaceAndWaitsForTheKeyboard) {
  CVornDFUDlg& dlg = open_dialog_with_small_images(3, 2);

  EXPECT_TRUE(window().icons_set());
  EXPECT_TRUE(window().picture_set());
  EXPECT_TRUE(window().status_bold());
  EXPECT_EQ(window().text(control::kCaption), LoadText(text::kCaption));
  EXPECT_EQ(window().text(control::kIntro), LoadText(text::kIntro));
  EXPECT_EQ(window().text(control::kWarning), LoadText(text::kWarning));
  EXPECT_EQ(window().text(control::kNotesHeading), LoadText(text::kNotesHeading));
  EXPECT_EQ(window().text(control::kClose), LoadText(text::kClose));
  EXPECT_EQ(window().text(control::kStart), LoadText(text::kStart));
  EXPECT_FALSE(LoadText(text::kReleaseNote).empty());
  EXPECT_EQ(window().list_lines(), std::vector<std::wstring>{L"* " + LoadText(text::kReleaseNote)});
  EXPECT_EQ(window().list_extent(), 1200);

  // Both images together fill the bar, one byte a step.
  EXPECT_EQ(window().progress_low(), 0u);
  EXPECT_EQ(window().progress_high(), 5u * 16u);
  EXPECT_EQ(window().progress_step(), 1u);

  EXPECT_EQ(dlg.state(), kWaitingForDevice);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kWaitingForDevice));
  EXPECT_FALSE(window().visible(control::kProgress));
  EXPECT_FALSE(window().visible(control::kStart));
  EXPECT_FALSE(window().visible(control::kClose));

  // No host software ran: nothing to restart, nothing stored, but the run is counted.
  EXPECT_FALSE(dlg.restart_host());
  EXPECT_TRUE(dlg.host_path().empty());
  EXPECT_EQ(dovod::platform::Registry::read_dword(key_, kRunCountValue), std::optional<std::uint32_t>(1));
  EXPECT_FALSE(dovod::platform::Registry::read_string(key_, kHostPathValue, 1024).has_value());
}

TEST_F(ControllerTest, AMissingOrEmptyImageFailsTheRunAndNothingLeavesTheFailure) {
  struct Case {
    const char* name;
    std::optional<int> first_packets;   // image 2001; nothing: not found
    std::optional<int> second_packets;  // image 2000
    std::vector<int> asked;
  };
  const Case cases[] = {
      {"2000 missing", 3, std::nullopt, {2000}},
      {"2000 empty", 3, 0, {2000}},
      {"2001 missing", std::nullopt, 2, {2000, 2001}},
      {"2001 empty", 0, 2, {2000, 2001}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CVornDFUDlg::ResetFailureFlagForTesting();
    resources_ = ResourceTable();
    if (c.first_packets) resources_.put(kFirmwareSentFirst, small_image(*c.first_packets, 0xF1));
    if (c.second_packets) resources_.put(kFirmwareSentSecond, small_image(*c.second_packets, 0xF2));
    CVornDFUDlg& dlg = open_dialog_with_resources();

    EXPECT_EQ(resources_.asked(), c.asked);
    EXPECT_EQ(dlg.state(), kUpdateFailed);
    EXPECT_EQ(window().text(control::kStatus), LoadText(text::kFailed));
    EXPECT_EQ(window().period(timer::kCloseCountdown), std::optional<std::uint32_t>(1000));
    EXPECT_EQ(window().progress_high(), 100u) << "the range is only set from two loaded images";

    // Neither the scan that found no keyboard nor a keyboard arriving later hides the failure.
    auto keyboard = std::make_shared<FakeKeyboard>();
    dlg.onDeviceArrival(keyboard);
    EXPECT_EQ(dlg.state(), kUpdateFailed);
    EXPECT_FALSE(window().visible(control::kStart));
    EXPECT_EQ(window().text(control::kStatus), LoadText(text::kFailed));
  }
}

TEST_F(ControllerTest, TheFailureIsHandledOncePerProcess) {
  resources_.put(kFirmwareSentFirst, small_image(3, 0xF1));
  open_dialog_with_resources();
  ASSERT_EQ(dialog().state(), kUpdateFailed);

  // A second dialog of the same process that fails starts no countdown of its own.
  open_dialog_with_resources();
  EXPECT_EQ(dialog().state(), kWaitingForDevice);
  EXPECT_FALSE(window().running(timer::kCloseCountdown));
}

}  // namespace
}  // namespace vorn::testing
