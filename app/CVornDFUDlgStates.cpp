// The update dialog's states with their entry actions, its window timers, the posted state switch,
// the buttons and the close rule.

#include "app/AppLog.h"
#include "app/CVornDFUDlg.h"
#include "app/UiText.h"
#include "dovod/CDovod.h"

namespace vorn {

void CVornDFUDlg::SwitchToState(std::int32_t next) {
  if (m_state == kUpdateFailed && next != kUpdateFailed) {
    // A failed run keeps saying so until its countdown closes the tool.
    LogMessage(L"CVornDFUDlg::SwitchToState() from %d to %d refused after the failure\n", m_state, next);
    return;
  }
  LogMessage(L"CVornDFUDlg::SwitchToState() called from %d to %d\n", m_state, next);
  m_state = next;
  EnterState(next);
}

void CVornDFUDlg::EnterState(std::int32_t state) {
  switch (state) {
    case kWaitingForDevice:
    case kWaitingForConnection:
      window_.Show(control::kProgress, false);
      window_.Show(control::kStart, false);
      window_.Show(control::kClose, false);
      ShowStatusText(state == kWaitingForDevice ? text::kWaitingForDevice : text::kWaitingForConnection);
      break;
    case kUpdateAvailable:
      window_.Show(control::kProgress, false);
      window_.Show(control::kStart, true);
      window_.Show(control::kClose, false);
      ShowStatusText(text::kUpdateAvailable);
      break;
    case kEnteringDfu:
      if (EnterDfu()) {
        window_.SetTimer(timer::kFirmwareChange, timing_.firmware_change_ms);
        LogMessage(L"Waiting Firmware Change...\n");
      } else {
        // Nothing would ever leave this state, and closing is refused in it: offer the update again.
        LogMessage(L"  unable to enter the bootloader\n");
        SwitchToState(m_device ? kUpdateAvailable : kWaitingForDevice);
      }
      break;
    case kStartingTransfer:
      StartTransfer();
      break;
    case kSendingSecondImage:
      m_currentImage = &m_image2000;
      DFUSendPacket(0);
      break;
    case kUpdateSucceeded:
    case kNoUpdateNeeded:
      ShowStatusText(state == kUpdateSucceeded ? text::kSucceeded : text::kNoUpdateNeeded);
      window_.Show(control::kClose, true);
      window_.Show(control::kProgress, false);
      break;
    case kUpdateFailed:
      ShowStatusText(m_packageDamaged ? text::kPackageDamaged : text::kFailed);
      break;
    default:
      break;
  }
}

void CVornDFUDlg::OnTimer(std::uint32_t id) {
  switch (id) {
    case timer::kRunLoop:
      window_.KillTimer(id);
      dovod::CDovod::instance().call_event_from_runloop();
      break;
    case timer::kBootloaderArrival:
    case timer::kFirmwareChange:
      LogMessage(L"Timer 0x%08x is timeout.\n", id);
      window_.KillTimer(id);
      if (!m_device) {
        SwitchToState(kWaitingForDevice);
      } else if ((id == timer::kBootloaderArrival && m_awaitedRestart == AwaitedRestart::kBootloader) ||
                 (id == timer::kFirmwareChange && (m_state == kEnteringDfu || m_state == kWaitingForFirmwareChange))) {
        OnRestartOverdue();
      }
      break;
    case timer::kPacket:
    case timer::kRetry:
      window_.KillTimer(id);
      RetryDfu();
      break;
    case timer::kCloseCountdown:
      OnCloseCountdownTick();
      break;
    default:
      window_.KillTimer(id);
      break;
  }
}

// The keyboard was asked to restart and is still tracked, yet nothing said it came back: it is asked
// where it stands, as when it connects. One that cannot say, or whose answer moves nothing on, is
// retried, so the dialog never waits in a state it refuses to close.
void CVornDFUDlg::OnRestartOverdue() {
  LogMessage(L"  the keyboard did not restart in time\n");
  if (!m_device->connected()) {
    SwitchToState(kWaitingForConnection);
    return;
  }
  const std::int32_t waiting = m_state;
  std::string prefix;
  if (GetActiveFirmwarePrefix(prefix)) {
    if (prefix == "BOT") {
      onDeviceBootLoaderAttached();
    } else if (prefix == "QRX") {
      onDeviceAttached();
    }
  }
  if (m_state == waiting) RetryDfu();
}

void CVornDFUDlg::onRunLoopEvent() { window_.SetTimer(timer::kRunLoop, 0); }

std::intptr_t CVornDFUDlg::OnMessage(std::uint32_t message, std::uintptr_t wparam) {
  if (message == kSwitchStateMessage) SwitchToState(static_cast<std::int32_t>(wparam));
  return 0;
}

void CVornDFUDlg::OnStartClicked() {
  window_.Show(control::kStart, false);
  ShowStatusText(text::kPreparing);
  window_.Show(control::kProgress, true);
  SwitchToState(kEnteringDfu);
}

void CVornDFUDlg::OnCloseClicked() { OnOK(); }

void CVornDFUDlg::OnOK() { Close(kResultOk); }

void CVornDFUDlg::OnCancel() { Close(kResultCancel); }

void CVornDFUDlg::Close(int result) {
  const bool busy = m_state == 2 || (m_state >= kEnteringDfu && m_state <= kWaitingForFirmwareChange) ||
                    m_state > kUpdateFailed;
  if (m_device && busy) return;
  if (m_restartHost) host_.RestartHost();
  window_.EndDialog(result);
}

void CVornDFUDlg::OnCloseCountdownTick() {
  if (--m_closeCountdown > 0) return;
  window_.KillTimer(timer::kCloseCountdown);
  m_restartHost = true;
  host_.RestartHost();
  window_.PostQuit(0);
}

}  // namespace vorn
