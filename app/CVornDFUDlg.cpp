// Construction, initialisation and the face of the update dialog.

#include "app/CVornDFUDlg.h"

#include <atomic>

#include "app/AppLog.h"
#include "app/UiText.h"
#include "app/WideText.h"
#include "dovod/CDovod.h"

namespace vorn {
namespace {

// The failure handling runs once per process, whichever dialog asks for it.
std::atomic<bool> failure_handled{false};

constexpr int kReleaseNotesExtentPixels = 1200;

}  // namespace

CVornDFUDlg::CVornDFUDlg(IDialogWindow& window, AppOptions& options, DialogTiming timing, HostSoftware host,
                         ResourceFinder find, FirmwareCheck check)
    : window_(window),
      options_(options),
      timing_(timing),
      host_(std::move(host)),
      find_(std::move(find)),
      check_(std::move(check)) {
  OpenApplicationLog();
}

CVornDFUDlg::~CVornDFUDlg() {
  // The trigger comes on library threads: stop it before any member goes away.
  if (auto manager = manager_.lock()) Subscriber<dovod::IDeviceManager::RunLoopEvent>::unsubscribe(manager);
}

void CVornDFUDlg::ResetFailureFlagForTesting() { failure_handled = false; }

bool CVornDFUDlg::MarkFailureHandled() { return !failure_handled.exchange(true); }

bool CVornDFUDlg::OnInitDialog() {
  window_.SetWindowIcons();

  // The host software lets go of the keyboard before the device library first touches it.
  HostShutdown shutdown = host_.ShutdownHost();
  m_hostPath = shutdown.path;
  m_restartHost = shutdown.restart_host;
  host_.StoreHostPath(m_hostPath);
  host_.CountRun();

  dovod::CDovod& dovod = dovod::CDovod::instance();
  dovod.config_set(dovod::IDeviceManager::usb_active, true);
  dovod.config_set(dovod::IDeviceManager::tandem_active, true);
  std::shared_ptr<dovod::IDeviceManager> manager = dovod;
  manager_ = manager;
  Subscriber<dovod::IDeviceManager::RunLoopEvent>::subscribe(manager, dovod::Direct, "CVornDFUDlg::RunLoopEvent");
  Subscriber<dovod::IDeviceManager::ArrivalRemoval>::subscribe(manager, dovod::RunLoop);

  SetStaticTexts();
  FillReleaseNotes();
  if (!LoadFirmwareImages()) FailUpdate();
  window_.MakeStatusTextBold();
  window_.SetProductPicture();
  ScanDevices();
  window_.SetListHorizontalExtent(kReleaseNotesExtentPixels);
  return true;
}

void CVornDFUDlg::SetStaticTexts() {
  static constexpr struct {
    int control;
    int text;
  } kTexts[] = {
      {control::kCaption, text::kCaption}, {control::kIntro, text::kIntro},
      {control::kWarning, text::kWarning}, {control::kNotesHeading, text::kNotesHeading},
      {control::kClose, text::kClose},     {control::kStart, text::kStart},
  };
  for (const auto& entry : kTexts) window_.SetText(entry.control, LoadText(entry.text));
}

void CVornDFUDlg::FillReleaseNotes() { window_.AddListLine(L"* " + LoadText(text::kReleaseNote)); }

void CVornDFUDlg::ShowStatusText(int text_id) { window_.SetText(control::kStatus, LoadText(text_id)); }

bool CVornDFUDlg::LoadFirmwareImages() {
  if (!LoadFirmwareImage(kFirmwareSentSecond, m_image2000)) return false;
  if (!LoadFirmwareImage(kFirmwareSentFirst, m_image2001)) return false;
  window_.SetProgressRange(0, m_image2000.size + m_image2001.size);
  window_.SetProgressStep(1);
  return true;
}

bool CVornDFUDlg::LoadFirmwareImage(int id, FirmwareImage& image) {
  if (!LoadFirmwareResource(id, image, find_)) return false;
  const std::string damage = check_(id, image);
  if (damage.empty()) return true;
  LogMessage(L"Firmware image %d is damaged: %s\n", id, WideFromUtf8(damage).c_str());
  m_packageDamaged = true;
  return false;
}

void CVornDFUDlg::ScanDevices() {
  // onDeviceArrival examines a keyboard that is already connected.
  for (const std::shared_ptr<dovod::IDevice>& device : dovod::CDovod::instance().devices()) onDeviceArrival(device);
  if (!m_device) SwitchToState(kWaitingForDevice);
}

}  // namespace vorn
