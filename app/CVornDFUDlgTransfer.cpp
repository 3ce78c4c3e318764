// The transfer: into the bootloader, the images packet by packet as the DFU statuses ask, the
// retries and the failure.

#include "app/AppLog.h"
#include "app/CVornDFUDlg.h"
#include "app/UiText.h"
#include "dovod/IFeature.h"

namespace vorn {
namespace {

constexpr int kDfuFeature = 0x00D0;
constexpr std::size_t kStatusByte = 4;
// DFUStart's status above this is an error.
constexpr int kHighestGoodStartStatus = 3;

enum DfuStatus : int {
  kSendNextPacket = 1,
  kTransferComplete = 2,
  kBusy = 3,
  kFirstImageComplete = 6,
};

bool has_data(const FirmwareImage& image) { return image.data && image.size != 0; }

}  // namespace

bool CVornDFUDlg::EnterDfu() {
  if (!m_device || !m_f00c2 || !has_data(m_image2000) || !has_data(m_image2001)) return false;
  return m_f00c2->SetDfuControl(1, 0);
}

void CVornDFUDlg::ResetTransfer() {
  m_image2000.offset = 0;
  m_image2001.offset = 0;
  window_.KillTimer(timer::kRetry);
  window_.KillTimer(timer::kPacket);
}

void CVornDFUDlg::StartTransfer() {
  ResetTransfer();
  m_awaitedRestart = AwaitedRestart::kNone;
  window_.SetProgressPosition(0);
  window_.Show(control::kProgress, true);
  ShowStatusText(text::kUpdating);
  if (!TakeDfuFeature()) return;
  m_state = kSendingFirstImage;
  m_currentImage = &m_image2001;
  DFUSendPacket(0);
}

bool CVornDFUDlg::TakeDfuFeature() {
  if (!m_f00d0) m_f00d0 = std::dynamic_pointer_cast<dovod::IFeature00d0DFU>(m_device ? m_device->feature_by_id(kDfuFeature) : nullptr);
  if (!m_f00d0) {
    // Counts as a failed send, so the retries and in the end the failure take over.
    LogMessage(L"  unable to get feature 0x00d0\n");
    window_.SetTimer(timer::kRetry, timing_.retry_ms);
    return false;
  }
  Subscriber<dovod::IFeature00d0DFU::Report>::subscribe(m_f00d0, dovod::RunLoop);
  return true;
}

bool CVornDFUDlg::DFUSendPacket(unsigned packetNumber) {
  if (!m_f00d0) {
    LogMessage(L"  m_f00d0 is null\n");
    return false;
  }
  dovod::Bytes packet = m_currentImage ? m_currentImage->nextPacket(packetNumber + 1) : dovod::Bytes{};
  if (packet.empty()) {
    LogMessage(L"  nextPacket is null\n");
    return false;
  }
  bool sent = false;
  if (m_currentImage->offset == 0) {
    int status = 0;
    sent = m_f00d0->DFUStart(packet, &status, nullptr);
    if (sent && status > kHighestGoodStartStatus) {
      LogMessage(L"  IsDfuError returned true\n");
      sent = false;
    }
  } else {
    sent = m_f00d0->DFUSendPacket(static_cast<int>(packetNumber), packet);
  }
  if (!sent) {
    LogMessage(L"  DFUSendPacket failed. Retrying after delay\n");
    window_.SetTimer(timer::kRetry, timing_.retry_ms);
    return false;
  }
  m_currentImage->offset += kPacketSize;
  window_.SetProgressPosition(window_.ProgressPosition() + kPacketSize);
  window_.SetTimer(timer::kPacket, timing_.packet_ms);
  return true;
}

void CVornDFUDlg::onDfuStatus(unsigned packetNumber, dovod::Bytes report) {
  if (report.size() <= kStatusByte) {
    // No status to act on; the packet timer still covers a keyboard that never answers.
    LogMessage(L"  DFU status report too short (%u bytes)\n", static_cast<unsigned>(report.size()));
    return;
  }
  switch (report[kStatusByte]) {
    case kSendNextPacket:
      DFUSendPacket(packetNumber);
      break;
    case kTransferComplete:
      window_.KillTimer(timer::kPacket);
      m_awaitedRestart = AwaitedRestart::kFirmware;
      SwitchToState(kWaitingForFirmwareChange);
      if (m_f00d0) m_f00d0->DFURestart(1);
      window_.SetTimer(timer::kFirmwareChange, timing_.firmware_change_ms);
      LogMessage(L"Waiting Firmware Change...\n");
      break;
    case kBusy:
      break;
    case kFirstImageComplete:
      window_.KillTimer(timer::kPacket);
      // Only the end of the first image leads on to the second. The same status during the second
      // image means the first never arrived whole: the restart then starts the transfer over.
      m_awaitedRestart = m_state == kSendingFirstImage ? AwaitedRestart::kBootloader : AwaitedRestart::kNone;
      if (m_f00d0) m_f00d0->DFURestart(1);
      window_.SetTimer(timer::kBootloaderArrival, timing_.bootloader_arrival_ms);
      LogMessage(L"Waiting Bootloader Arrival...\n");
      break;
    default:
      window_.SetTimer(timer::kRetry, timing_.retry_ms);
      break;
  }
}

void CVornDFUDlg::RetryDfu() {
  LogMessage(L"CVornDFUDlg::RetryDfu\n");
  m_image2000.offset = 0;
  m_image2001.offset = 0;
  if (!m_device) {
    SwitchToState(kWaitingForDevice);
    return;
  }
  if (!m_device->connected()) {
    SwitchToState(kWaitingForConnection);
    return;
  }
  if (++m_retryCount < 3) {
    // Runs after the current handler: a new transfer from the first image.
    window_.PostMessage(kSwitchStateMessage, kStartingTransfer);
    return;
  }
  ResetTransfer();
  FailUpdate();
}

void CVornDFUDlg::FailUpdate() {
  if (!MarkFailureHandled()) return;
  // The keyboard is asked to leave its bootloader; either way the run has failed and says so.
  if (m_f00d0) m_f00d0->DFURestart(1);
  SwitchToState(kUpdateFailed);
  window_.SetTimer(timer::kCloseCountdown, timing_.countdown_tick_ms);
}

}  // namespace vorn
