#pragma once
// The update dialog's logic and the update controller: a small numbered state machine that follows
// the keyboard through the device library's events, reads its firmware version, asks it into its
// bootloader, streams the two embedded images to it packet by packet, retries a failed transfer and
// ends in success, in "no update needed", or in failure with a close ten seconds later. It drives an
// abstract window (IDialogWindow) and is platform-free; each platform window hands it its inputs.
//
// Threads: everything runs on the dialog's thread except onRunLoopEvent, which the library calls on
// whatever thread produced the trigger; it only starts the run-loop window timer.

#include <cstdint>
#include <memory>
#include <string>

#include "app/AppOptions.h"
#include "app/DialogTiming.h"
#include "app/FirmwareImage.h"
#include "app/FirmwareIntegrity.h"
#include "app/HostSoftware.h"
#include "app/IDialogInputs.h"
#include "app/IDialogWindow.h"
#include "app/platform/ModuleResource.h"
#include "dovod/IDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IFeature00c2DFUControl.h"
#include "dovod/IFeature00d0DFU.h"
#include "dovod/Subscriber.h"

namespace vorn {

// Window timer ids of the dialog.
namespace timer {
inline constexpr std::uint32_t kRunLoop = 0xABCDABCD;
inline constexpr std::uint32_t kBootloaderArrival = 0xACACCACA;
inline constexpr std::uint32_t kFirmwareChange = 0xBDBDDBDB;
inline constexpr std::uint32_t kPacket = 0xDEADBEEF;
inline constexpr std::uint32_t kRetry = 0xABBABABE;
inline constexpr std::uint32_t kCloseCountdown = 0xABADBABE;
}  // namespace timer

// The controller's states.
enum DialogState : std::int32_t {
  kWaitingForDevice = 0,
  kWaitingForConnection = 1,
  kUpdateAvailable = 3,
  kEnteringDfu = 4,
  kStartingTransfer = 5,
  kSendingFirstImage = 6,
  kSendingSecondImage = 7,
  kWaitingForFirmwareChange = 8,
  kUpdateSucceeded = 9,
  kNoUpdateNeeded = 10,
  kUpdateFailed = 11,
};

class CVornDFUDlg : public IDialogInputs,
                    public dovod::Subscriber<dovod::IDeviceManager::RunLoopEvent>,
                    public dovod::Subscriber<dovod::IDeviceManager::ArrivalRemoval>,
                    public dovod::Subscriber<dovod::IDevice::Connect>,
                    public dovod::Subscriber<dovod::IFeature00d0DFU::Report> {
 public:
  // Opens the application log (with the log option). Nothing reaches the device library before
  // OnInitDialog. `find` looks up the firmware resources and `check` tells whether each loaded
  // image is the one the build made.
  explicit CVornDFUDlg(IDialogWindow& window, AppOptions& options = Options(), DialogTiming timing = {},
                       HostSoftware host = HostSoftware(), ResourceFinder find = platform::FindModuleResource,
                       FirmwareCheck check = CheckFirmwareImage);
  ~CVornDFUDlg() override;
  CVornDFUDlg(const CVornDFUDlg&) = delete;
  CVornDFUDlg& operator=(const CVornDFUDlg&) = delete;

  // IDialogInputs
  bool OnInitDialog() override;
  void OnTimer(std::uint32_t id) override;
  std::intptr_t OnMessage(std::uint32_t message, std::uintptr_t wparam) override;
  void OnStartClicked() override;
  void OnCloseClicked() override;
  void OnOK() override;
  void OnCancel() override;

  // Library events.
  void onRunLoopEvent() override;
  void onDeviceArrival(std::shared_ptr<dovod::IDevice> device) override;
  void onDeviceRemoval(std::shared_ptr<dovod::IDevice> device) override;
  void onConnect(std::shared_ptr<dovod::IDevice> device, bool settingsRetained) override;
  void onDisconnect(std::shared_ptr<dovod::IDevice> device) override;
  void onFirmwareChanged(std::shared_ptr<dovod::IDevice> device) override;
  void onDfuStatus(unsigned packetNumber, dovod::Bytes report) override;

  // What the controller holds, for the window layers' diagnostics and for tests.
  std::int32_t state() const { return m_state; }
  std::int32_t retry_count() const { return m_retryCount; }
  std::int32_t close_countdown() const { return m_closeCountdown; }
  bool restart_host() const { return m_restartHost; }
  const std::wstring& host_path() const { return m_hostPath; }
  const std::shared_ptr<dovod::IDevice>& device() const { return m_device; }

  // The failure handling runs once per process; tests that fail several dialogs clear the mark.
  static void ResetFailureFlagForTesting();

 private:
  // Initialisation and the dialog's face.
  void SetStaticTexts();
  void FillReleaseNotes();
  bool LoadFirmwareImages();
  bool LoadFirmwareImage(int id, FirmwareImage& image);
  void ScanDevices();
  void ShowStatusText(int text_id);

  // Device events.
  void onDeviceDetached();
  bool GetActiveFirmwarePrefix(std::string& prefix);
  void onDeviceAttached();
  void onDeviceBootLoaderAttached();

  // The transfer.
  bool EnterDfu();
  void ResetTransfer();
  // Fetches 0x00D0 of the tracked keyboard when not held and subscribes to its reports; without it,
  // false with the retry timer started.
  bool TakeDfuFeature();
  bool DFUSendPacket(unsigned packetNumber);
  void RetryDfu();
  void FailUpdate();

  // States, timers and closing.
  void SwitchToState(std::int32_t next);
  void EnterState(std::int32_t state);
  void StartTransfer();
  void OnCloseCountdownTick();
  void OnRestartOverdue();
  void Close(int result);

  // True for the first caller in the process, which then handles the failure.
  static bool MarkFailureHandled();

  IDialogWindow& window_;
  AppOptions& options_;
  const DialogTiming timing_;
  HostSoftware host_;
  const ResourceFinder find_;
  const FirmwareCheck check_;
  // The device manager whose run-loop trigger this dialog answers; unsubscribed first at
  // destruction, so no library thread reaches a dialog that is being torn down.
  std::weak_ptr<dovod::IDeviceManager> manager_;

  std::shared_ptr<dovod::IDevice> m_device;
  std::shared_ptr<dovod::IFeature00c2DFUControl> m_f00c2;
  std::shared_ptr<dovod::IFeature00d0DFU> m_f00d0;
  FirmwareImage m_image2000;
  FirmwareImage m_image2001;
  FirmwareImage* m_currentImage = nullptr;
  std::int32_t m_state = kWaitingForDevice;
  // The restart the keyboard was asked for at the end of an image. A keyboard on a cable leaves and
  // comes back as a new device, which must take up the transfer where it stood, not start it over.
  enum class AwaitedRestart { kNone, kBootloader, kFirmware };
  AwaitedRestart m_awaitedRestart = AwaitedRestart::kNone;
  std::int32_t m_retryCount = 0;
  std::int32_t m_closeCountdown = 10;
  bool m_restartHost = true;
  // An embedded image failed its check: the failure says the tool itself is damaged.
  bool m_packageDamaged = false;
  std::wstring m_hostPath;
};

}  // namespace vorn
