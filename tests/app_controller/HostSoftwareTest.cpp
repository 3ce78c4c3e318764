// The host software around the dialog: stopped before the library starts, started again on close.

#include "ControllerFixture.h"
#include "StandInProcess.h"
#include "app/platform/NamedEvent.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(ControllerTest, AHostThatRanAtStartIsStoppedAndStartedAgainWhenTheDialogCloses) {
  // Root starts the host only for the user who asked for root: the host is that user's.
  SudoFromSecondUser sudo;
  StandInCopy copy(host_config_.executable);
  StandInProcess running;
  ASSERT_TRUE(running.start(copy.path(), host_config_.shutdown_event));

  CVornDFUDlg& dlg = open_dialog_with_small_images();
  EXPECT_TRUE(logged(L"Setting Shutdown Event...\n"));
  EXPECT_TRUE(running.wait_exit(20s).has_value());
  EXPECT_TRUE(dlg.restart_host());
  EXPECT_FALSE(dlg.host_path().empty());
  EXPECT_EQ(Settings(key_).ReadHostPath(), std::optional<std::wstring>(dlg.host_path()));

  dlg.OnCancel();
  EXPECT_EQ(window().end_result(), std::optional<int>(kResultCancel));
  // Started without arguments, the stand-in names its event after its own file.
  const std::wstring started_event = L"Global\\" + host_config_.executable;
  EXPECT_TRUE(EventAppears(started_event, 20s));
  platform::NamedEvent event;
  if (event.open_existing(started_event)) event.set();
}

}  // namespace
}  // namespace vorn::testing
