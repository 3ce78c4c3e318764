// Which close requests end the dialog: none while a tracked keyboard is being updated.

#include "ControllerFixture.h"
#include "FakeKeyboard.h"

namespace vorn::testing {
namespace {

TEST_F(ControllerTest, CloseRequestsByStateWithAndWithoutAKeyboard) {
  for (bool with_keyboard : {true, false}) {
    for (int state = 0; state <= 12; ++state) {
      SCOPED_TRACE(::testing::Message() << "state " << state << (with_keyboard ? " with" : " without") << " keyboard");
      CVornDFUDlg::ResetFailureFlagForTesting();
      CVornDFUDlg& dlg = open_dialog_with_small_images();
      // Without its DFU feature the keyboard keeps the transfer states from moving on.
      auto keyboard = std::make_shared<FakeKeyboard>();
      keyboard->has_dfu = false;
      if (with_keyboard) dlg.onDeviceArrival(keyboard);
      dlg.OnMessage(kSwitchStateMessage, static_cast<std::uintptr_t>(state));
      const bool busy = with_keyboard && (state == 2 || (state >= 4 && state <= 8) || state > 11);
      if (with_keyboard) ASSERT_EQ(dlg.state(), state);

      dlg.OnCancel();
      EXPECT_EQ(window().end_result(), busy ? std::nullopt : std::optional<int>(kResultCancel));
    }
  }
}

TEST_F(ControllerTest, OkAndTheCloseButtonEndWithOkCancelWithCancel) {
  struct Case {
    void (CVornDFUDlg::*input)();
    int result;
  };
  const Case cases[] = {{&CVornDFUDlg::OnOK, kResultOk},
                        {&CVornDFUDlg::OnCloseClicked, kResultOk},
                        {&CVornDFUDlg::OnCancel, kResultCancel}};
  for (const Case& c : cases) {
    CVornDFUDlg& dlg = open_dialog_with_small_images();
    (dlg.*c.input)();
    EXPECT_EQ(window().end_result(), std::optional<int>(c.result));
    EXPECT_FALSE(window().quit_code().has_value());
  }
}

}  // namespace
}  // namespace vorn::testing
