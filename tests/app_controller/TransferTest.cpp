// The transfer against a fake keyboard: packets as the DFU statuses ask, the restarts between and
// after the images, the timers, the retries and the failure with its countdown.

#include <thread>

#include "ControllerFixture.h"
#include "FakeKeyboard.h"
#include "app/UiText.h"

namespace vorn::testing {
namespace {

constexpr std::uint8_t kFirstMark = 0xF1;   // image 2001
constexpr std::uint8_t kSecondMark = 0xF2;  // image 2000

Bytes status(std::uint8_t value) { return {0, 0, 0, 0, value}; }

// Which record of which image a packet is.
std::pair<int, std::uint8_t> record(const SentPacket& sent) {
  return {sent.packet.size() == 16 ? sent.packet[0] : -1, sent.packet.size() == 16 ? sent.packet[1] : 0};
}

class Transfer : public ControllerTest {
 protected:
  // A dialog with a keyboard in its bootloader: the first image starts at once. Image 2001 has
  // `first` records, image 2000 `second`.
  CVornDFUDlg& started(int first = 3, int second = 2) {
    keyboard->info->run("BOT");
    CVornDFUDlg& dlg = open_dialog_with_small_images(first, second);
    dlg.onDeviceArrival(keyboard);
    return dlg;
  }

  std::vector<SentPacket>& sent() { return keyboard->dfu->sent; }

  std::shared_ptr<FakeKeyboard> keyboard = std::make_shared<FakeKeyboard>();
};

TEST_F(Transfer, BothImagesGoOutInOrderAndFillTheProgressBar) {
  CVornDFUDlg& dlg = started(3, 2);
  ASSERT_EQ(dlg.state(), kSendingFirstImage);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kUpdating));
  EXPECT_TRUE(window().visible(control::kProgress));
  EXPECT_EQ(window().period(timer::kPacket), std::optional<std::uint32_t>(5000));

  dlg.onDfuStatus(0, status(1));
  dlg.onDfuStatus(1, status(1));
  dlg.onDfuStatus(2, status(6));
  EXPECT_FALSE(window().running(timer::kPacket));
  EXPECT_EQ(window().period(timer::kBootloaderArrival), std::optional<std::uint32_t>(10000));
  EXPECT_TRUE(logged(L"Waiting Bootloader Arrival...\n"));
  EXPECT_EQ(dlg.state(), kSendingFirstImage);

  // The bootloader comes back for the second image.
  dlg.onConnect(keyboard, false);
  EXPECT_FALSE(window().running(timer::kBootloaderArrival));
  EXPECT_EQ(dlg.state(), kSendingSecondImage);
  dlg.onDfuStatus(0, status(1));
  dlg.onDfuStatus(1, status(2));
  EXPECT_EQ(dlg.state(), kWaitingForFirmwareChange);
  EXPECT_EQ(window().period(timer::kFirmwareChange), std::optional<std::uint32_t>(10000));
  EXPECT_TRUE(logged(L"Waiting Firmware Change...\n"));

  const std::vector<std::pair<int, std::uint8_t>> expected = {
      {0, kFirstMark}, {1, kFirstMark}, {2, kFirstMark}, {0, kSecondMark}, {1, kSecondMark}};
  std::vector<std::pair<int, std::uint8_t>> records;
  for (const SentPacket& p : sent()) records.push_back(record(p));
  EXPECT_EQ(records, expected);
  ASSERT_EQ(sent().size(), 5u);
  EXPECT_TRUE(sent()[0].start);
  EXPECT_EQ(sent()[1].number, 0);
  EXPECT_EQ(sent()[2].number, 1);
  EXPECT_TRUE(sent()[3].start);
  EXPECT_EQ(keyboard->dfu->restarts, (std::vector<dovod::Byte>{1, 1}));
  EXPECT_EQ(window().ProgressPosition(), 80u);
  EXPECT_EQ(window().progress_high(), 80u);

  // The new firmware: success, and the connection that follows keeps it.
  dlg.onFirmwareChanged(keyboard);
  EXPECT_FALSE(window().running(timer::kFirmwareChange));
  EXPECT_EQ(dlg.state(), kUpdateSucceeded);
  keyboard->info->run("QRX");
  keyboard->info->version = "5.1.17";
  dlg.onConnect(keyboard, false);
  EXPECT_EQ(dlg.state(), kUpdateSucceeded);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kSucceeded));
  EXPECT_TRUE(window().visible(control::kClose));
  EXPECT_FALSE(window().visible(control::kProgress));
}

TEST_F(Transfer, StatusTwoInTheFirstImageEndsTheTransferWithoutTheSecond) {
  CVornDFUDlg& dlg = started(3, 2);
  dlg.onDfuStatus(0, status(2));
  EXPECT_EQ(dlg.state(), kWaitingForFirmwareChange);
  dlg.onFirmwareChanged(keyboard);
  EXPECT_EQ(dlg.state(), kUpdateSucceeded);
  for (const SentPacket& p : sent()) EXPECT_EQ(record(p).second, kFirstMark);
}

TEST_F(Transfer, EachDfuStatusHasItsAnswer) {
  struct Case {
    const char* name;
    Bytes report;
    int state;
    std::size_t sent;     // packets sent in all, the start included
    std::size_t restarts;
    std::vector<std::uint32_t> running;
    const wchar_t* logged;
  };
  const Case cases[] = {
      {"1: the next packet", status(1), kSendingFirstImage, 2, 0, {timer::kPacket}, nullptr},
      {"2: transfer complete", status(2), kWaitingForFirmwareChange, 1, 1, {timer::kFirmwareChange},
       L"Waiting Firmware Change...\n"},
      {"3: busy", status(3), kSendingFirstImage, 1, 0, {timer::kPacket}, nullptr},
      {"6: first image complete", status(6), kSendingFirstImage, 1, 1, {timer::kBootloaderArrival},
       L"Waiting Bootloader Arrival...\n"},
      {"0: unexpected", status(0), kSendingFirstImage, 1, 0, {timer::kPacket, timer::kRetry}, nullptr},
      {"4: unexpected", status(4), kSendingFirstImage, 1, 0, {timer::kPacket, timer::kRetry}, nullptr},
      {"0xFF: unexpected", status(0xFF), kSendingFirstImage, 1, 0, {timer::kPacket, timer::kRetry}, nullptr},
      {"four bytes", {0, 0, 0, 1}, kSendingFirstImage, 1, 0, {timer::kPacket},
       L"  DFU status report too short (4 bytes)\n"},
      {"empty", {}, kSendingFirstImage, 1, 0, {timer::kPacket}, L"  DFU status report too short (0 bytes)\n"},
  };
  const std::uint32_t watched[] = {timer::kPacket, timer::kRetry, timer::kFirmwareChange, timer::kBootloaderArrival};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    keyboard = std::make_shared<FakeKeyboard>();
    CVornDFUDlg& dlg = started();
    dlg.onDfuStatus(0, c.report);
    EXPECT_EQ(dlg.state(), c.state);
    EXPECT_EQ(sent().size(), c.sent);
    EXPECT_EQ(keyboard->dfu->restarts.size(), c.restarts);
    for (std::uint32_t id : watched) {
      const bool expected = std::find(c.running.begin(), c.running.end(), id) != c.running.end();
      EXPECT_EQ(window().running(id), expected) << std::hex << id;
    }
    if (c.logged) EXPECT_TRUE(logged(c.logged));
  }
}

TEST_F(Transfer, AStatusAfterTheLastPacketWaitsForThePacketTimerWhichRetries) {
  CVornDFUDlg& dlg = started(2, 2);
  dlg.onDfuStatus(0, status(1));
  ASSERT_EQ(sent().size(), 2u);
  dlg.onDfuStatus(1, status(1));
  EXPECT_TRUE(logged(L"  nextPacket is null\n"));
  EXPECT_EQ(sent().size(), 2u);
  EXPECT_FALSE(window().running(timer::kRetry));

  fire(timer::kPacket);
  EXPECT_TRUE(logged(L"CVornDFUDlg::RetryDfu\n"));
  EXPECT_EQ(dlg.retry_count(), 1);
  // The new attempt is posted, so it starts after the timer's handler.
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
  ASSERT_EQ(window().posted_count(), 1u);
  pump_pending();
  ASSERT_EQ(sent().size(), 3u);
  EXPECT_TRUE(sent()[2].start);
  EXPECT_EQ(record(sent()[2]), std::make_pair(0, kFirstMark));
  EXPECT_EQ(window().ProgressPosition(), 16u);
}

TEST_F(Transfer, TheThirdFailedAttemptFailsTheUpdateAndClosesTenTicksLater) {
  struct Case {
    const char* name;
    std::function<void(FakeDfu&)> fault;
    const wchar_t* logged;
    std::size_t packets_per_attempt;
  };
  const Case cases[] = {
      {"start refused", [](FakeDfu& dfu) { dfu.start_succeeds = false; }, nullptr, 1},
      {"start answers an error", [](FakeDfu& dfu) { dfu.start_status = 4; }, L"  IsDfuError returned true\n", 1},
      {"packet refused", [](FakeDfu& dfu) { dfu.send_succeeds = false; }, nullptr, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CVornDFUDlg::ResetFailureFlagForTesting();
    keyboard = std::make_shared<FakeKeyboard>();
    c.fault(*keyboard->dfu);
    CVornDFUDlg& dlg = started();
    for (int attempt = 1; attempt <= 3; ++attempt) {
      if (c.packets_per_attempt == 2) dlg.onDfuStatus(0, status(1));
      ASSERT_TRUE(window().running(timer::kRetry)) << "attempt " << attempt;
      EXPECT_EQ(window().period(timer::kRetry), std::optional<std::uint32_t>(2000));
      fire(timer::kRetry);
      pump_pending();
    }
    EXPECT_TRUE(logged(L"  DFUSendPacket failed. Retrying after delay\n"));
    if (c.logged) EXPECT_TRUE(logged(c.logged));
    EXPECT_EQ(sent().size(), 3 * c.packets_per_attempt);
    EXPECT_EQ(dlg.retry_count(), 3);
    // The keyboard was asked to restart, and the run fails all the same.
    EXPECT_EQ(keyboard->dfu->restarts, std::vector<dovod::Byte>{1});
    EXPECT_EQ(dlg.state(), kUpdateFailed);
    EXPECT_EQ(window().text(control::kStatus), LoadText(text::kFailed));
    EXPECT_FALSE(window().running(timer::kPacket));
    EXPECT_FALSE(window().running(timer::kRetry));
  }

  // The countdown: ten ticks, the tenth closes.
  EXPECT_EQ(window().period(timer::kCloseCountdown), std::optional<std::uint32_t>(1000));
  for (int tick = 1; tick < 10; ++tick) fire(timer::kCloseCountdown);
  EXPECT_EQ(dialog().close_countdown(), 1);
  EXPECT_FALSE(window().quit_code().has_value());
  EXPECT_FALSE(dialog().restart_host());
  fire(timer::kCloseCountdown);
  EXPECT_EQ(window().quit_code(), std::optional<int>(0));
  EXPECT_FALSE(window().running(timer::kCloseCountdown));
  EXPECT_TRUE(dialog().restart_host());

  // After the third retry no keyboard is taken on again.
  dialog().onDeviceRemoval(keyboard);
  EXPECT_EQ(dialog().device(), nullptr);
  dialog().onDeviceArrival(std::make_shared<FakeKeyboard>());
  EXPECT_EQ(dialog().device(), nullptr);
}

TEST_F(Transfer, ARetryWithTheKeyboardUnreachableWaitsForItsConnection) {
  keyboard->dfu->start_succeeds = false;
  CVornDFUDlg& dlg = started();
  keyboard->is_connected = false;
  fire(timer::kRetry);
  EXPECT_EQ(dlg.state(), kWaitingForConnection);
  EXPECT_EQ(dlg.retry_count(), 0);
  EXPECT_EQ(window().posted_count(), 0u);

  // Connected again in its bootloader: a new transfer.
  keyboard->is_connected = true;
  keyboard->dfu->start_succeeds = true;
  dlg.onConnect(keyboard, false);
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
  EXPECT_EQ(sent().size(), 2u);
}

TEST_F(Transfer, RemovalMidTransferForgetsTheKeyboardAndItsTransfer) {
  CVornDFUDlg& dlg = started(3, 2);
  dlg.onDfuStatus(0, status(1));
  dlg.onDfuStatus(1, status(7));
  ASSERT_TRUE(window().running(timer::kRetry));

  dlg.onDeviceRemoval(keyboard);
  EXPECT_TRUE(logged(L"Device 0xb3f1 is removed.\n"));
  EXPECT_TRUE(logged(L"CVornDFUDlg::onDeviceDetached\n"));
  EXPECT_EQ(dlg.state(), kWaitingForDevice);
  EXPECT_EQ(dlg.device(), nullptr);
  EXPECT_FALSE(window().running(timer::kRetry));
  EXPECT_FALSE(window().running(timer::kPacket));
  EXPECT_FALSE(window().visible(control::kProgress));

  // A removal without a tracked keyboard, or of another product, is not ours.
  auto receiver = std::make_shared<FakeKeyboard>();
  receiver->pid_value = 0xC510;
  dlg.onDeviceRemoval(receiver);
  dlg.onDeviceRemoval(keyboard);
  const std::vector<std::wstring> lines = messages();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Device 0xb3f1 is removed.\n"), 1);

  // It comes back in its bootloader on a new device object: the transfer starts over.
  auto back = std::make_shared<FakeKeyboard>();
  back->info->run("BOT");
  dlg.onDeviceArrival(back);
  EXPECT_EQ(dlg.device(), back);
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
  ASSERT_EQ(back->dfu->sent.size(), 1u);
  EXPECT_TRUE(back->dfu->sent[0].start);
  EXPECT_EQ(window().ProgressPosition(), 16u);
}

TEST_F(Transfer, AnOverdueRestartAsksTheKeyboardWhereItStandsAndNeverLeavesTheDialogWaiting) {
  struct Case {
    const char* name;
    std::uint32_t timer;
    bool held;
    bool connected;
    const char* answers;  // the running entity's prefix, "" when the keyboard cannot say
    const char* version;
    int state;            // after the expiry, with posted messages handled
    int retries;
  };
  const Case cases[] = {
      {"keyboard gone", timer::kBootloaderArrival, false, true, "BOT", "", kWaitingForDevice, 0},
      {"bootloader still there", timer::kBootloaderArrival, true, true, "BOT", "", kSendingSecondImage, 0},
      {"bootloader silent", timer::kBootloaderArrival, true, true, "", "", kSendingFirstImage, 1},
      {"bootloader not connected", timer::kBootloaderArrival, true, false, "BOT", "", kWaitingForConnection, 0},
      {"new firmware, change never reported", timer::kFirmwareChange, true, true, "QRX", "5.1.17", kUpdateSucceeded, 0},
      {"old firmware back", timer::kFirmwareChange, true, true, "QRX", "5.1.16", kUpdateAvailable, 0},
      {"still in the bootloader", timer::kFirmwareChange, true, true, "BOT", "", kSendingFirstImage, 0},
      {"firmware silent", timer::kFirmwareChange, true, true, "", "", kSendingFirstImage, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    keyboard = std::make_shared<FakeKeyboard>();
    CVornDFUDlg& dlg = started();
    dlg.onDfuStatus(0, status(c.timer == timer::kBootloaderArrival ? 6 : 2));
    if (!c.held) dlg.onDeviceRemoval(keyboard);
    keyboard->is_connected = c.connected;
    if (*c.answers) {
      keyboard->info->run(c.answers);
      keyboard->info->version = c.version;
    } else {
      keyboard->info->count_readable = false;
    }
    fire(c.timer);
    pump_pending();
    EXPECT_FALSE(window().running(c.timer));
    EXPECT_EQ(dlg.state(), c.state);
    EXPECT_EQ(dlg.retry_count(), c.retries);
    wchar_t line[64];
    std::swprintf(line, 64, L"Timer 0x%08x is timeout.\n", c.timer);
    EXPECT_TRUE(logged(line));
    EXPECT_EQ(logged(L"  the keyboard did not restart in time\n"), c.held);
  }
}

TEST_F(Transfer, AWaitTimerLeftOverFromAnEndedWaitChangesNothing) {
  CVornDFUDlg& dlg = started();
  dlg.onDfuStatus(0, status(1));
  // Mid-image, neither restart is awaited: a stray expiry must not move the transfer on.
  for (std::uint32_t id : {timer::kBootloaderArrival, timer::kFirmwareChange}) dlg.OnTimer(id);
  pump_pending();
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
  EXPECT_EQ(dlg.retry_count(), 0);
  EXPECT_EQ(sent().size(), 2u);
}

TEST_F(Transfer, OtherTimersAreKilledAndTheRunLoopTimerStartsFromAnyThread) {
  open_dialog_with_small_images();
  window().SetTimer(0x1234, 50);
  dialog().OnTimer(0x1234);
  EXPECT_FALSE(window().running(0x1234));
  EXPECT_EQ(dialog().state(), kWaitingForDevice);

  std::thread library([this] { dialog().onRunLoopEvent(); });
  library.join();
  EXPECT_EQ(window().period(timer::kRunLoop), std::optional<std::uint32_t>(0));
  dialog().OnTimer(timer::kRunLoop);
  EXPECT_FALSE(window().running(timer::kRunLoop));
}

TEST_F(Transfer, StartAsksForTheBootloaderAndFallsBackWhenRefused) {
  CVornDFUDlg& dlg = open_dialog_with_small_images();
  dlg.onDeviceArrival(keyboard);
  ASSERT_EQ(dlg.state(), kUpdateAvailable);
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kUpdateAvailable));

  keyboard->control->accepts = false;
  dlg.OnStartClicked();
  EXPECT_EQ(keyboard->control->requests, 1);
  EXPECT_EQ(dlg.state(), kUpdateAvailable);
  EXPECT_TRUE(window().visible(control::kStart));
  EXPECT_FALSE(window().visible(control::kProgress));

  keyboard->control->accepts = true;
  dlg.OnStartClicked();
  EXPECT_EQ(dlg.state(), kEnteringDfu);
  const std::vector<std::wstring> history = window().status_history();
  EXPECT_EQ(history.back(), LoadText(text::kPreparing));
  EXPECT_FALSE(window().visible(control::kStart));
  EXPECT_TRUE(window().visible(control::kProgress));
  EXPECT_EQ(window().period(timer::kFirmwareChange), std::optional<std::uint32_t>(10000));

  // The keyboard restarts: it drops its connection and comes back in its bootloader.
  dlg.onDisconnect(keyboard);
  EXPECT_TRUE(logged(L"Device 0xb3f1 is disconnected.\n"));
  EXPECT_EQ(dlg.state(), kWaitingForConnection);
  keyboard->info->run("BOT");
  dlg.onConnect(keyboard, false);
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
}

TEST_F(Transfer, AFirmwareChangeWhileEnteringTheBootloaderStartsTheTransfer) {
  CVornDFUDlg& dlg = open_dialog_with_small_images();
  dlg.onDeviceArrival(keyboard);
  dlg.OnStartClicked();
  ASSERT_EQ(dlg.state(), kEnteringDfu);
  dlg.onFirmwareChanged(keyboard);
  EXPECT_TRUE(logged(L"Device 0xb3f1 is firmware-changed.\n"));
  EXPECT_FALSE(window().running(timer::kFirmwareChange));
  EXPECT_EQ(dlg.state(), kSendingFirstImage);
  EXPECT_EQ(sent().size(), 1u);
}

TEST_F(Transfer, AMissingDfuFeatureCountsAsAFailedSend) {
  keyboard->has_dfu = false;
  CVornDFUDlg& dlg = started();
  EXPECT_TRUE(logged(L"  unable to get feature 0x00d0\n"));
  EXPECT_EQ(dlg.state(), kStartingTransfer);
  EXPECT_TRUE(window().running(timer::kRetry));
  for (int attempt = 0; attempt < 3; ++attempt) {
    fire(timer::kRetry);
    pump_pending();
  }
  EXPECT_EQ(dlg.state(), kUpdateFailed);
}

}  // namespace
}  // namespace vorn::testing
