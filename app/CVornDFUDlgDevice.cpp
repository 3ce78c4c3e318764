// The update dialog's answers to the keyboard's arrival, removal and connection events, and the
// version decision.

#include <optional>
#include <string>
#include <string_view>

#include "app/AppLog.h"
#include "app/CVornDFUDlg.h"
#include "app/UiText.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/MakerValues.h"

namespace vorn {
namespace {

constexpr int kFirmwareInfoFeature = 0x0003;
constexpr int kDfuControlFeature = 0x00C2;
// The package's version 5.1.17 as minor * 65536 + build; the major number is not compared.
constexpr std::uint32_t kPackageMinorBuild = 0x10011;

template <class I>
std::shared_ptr<I> feature_of(const std::shared_ptr<dovod::IDevice>& device, int id) {
  return std::dynamic_pointer_cast<I>(device->feature_by_id(id));
}

bool is_keyboard(const std::shared_ptr<dovod::IDevice>& device) { return device->pid() == dovod::maker::kKeyboardPid; }

// The value of the leading decimal digits, 0 without any, kept to 16 bits as the device keeps it.
std::uint16_t leading_number(std::string_view text) {
  std::uint16_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = static_cast<std::uint16_t>(value * 10 + (c - '0'));
  }
  return value;
}

struct MinorBuild {
  std::uint16_t minor;
  std::uint16_t build;
};

// "major.minor.build"; a four-character build that starts with "99" carries the build in its last
// two digits. Empty when the text has fewer than two dots.
std::optional<MinorBuild> parse_version(const std::string& text) {
  const std::size_t p1 = text.find('.');
  if (p1 == std::string::npos) return std::nullopt;
  const std::size_t p2 = text.find('.', p1 + 1);
  if (p2 == std::string::npos) return std::nullopt;
  std::string_view minor(text.data() + p1 + 1, p2 - p1 - 1);
  std::string_view rest(text.data() + p2 + 1, text.size() - p2 - 1);
  if (rest.size() == 4 && rest[0] == '9' && rest[1] == '9') rest.remove_prefix(2);
  return MinorBuild{leading_number(minor), leading_number(rest)};
}

}  // namespace

void CVornDFUDlg::onDeviceArrival(std::shared_ptr<dovod::IDevice> device) {
  if (m_retryCount >= 3 || !device || m_device || !is_keyboard(device)) return;
  LogMessage(L"Device 0x%04x is arrived.\n", device->pid());
  SwitchToState(kWaitingForConnection);
  m_device = device;
  Subscriber<dovod::IDevice::Connect>::subscribe(m_device, dovod::RunLoop);
  // A keyboard that arrives connected announces no connection of its own.
  if (m_device->connected()) onConnect(m_device, false);
}

void CVornDFUDlg::onDeviceRemoval(std::shared_ptr<dovod::IDevice> device) {
  if (!device || !m_device || !is_keyboard(device)) return;
  LogMessage(L"Device 0x%04x is removed.\n", device->pid());
  onDeviceDetached();
}

void CVornDFUDlg::onDeviceDetached() {
  LogMessage(L"CVornDFUDlg::onDeviceDetached\n");
  m_device.reset();
  m_f00c2.reset();
  m_f00d0.reset();
  ResetTransfer();
  SwitchToState(kWaitingForDevice);
}

void CVornDFUDlg::onConnect(std::shared_ptr<dovod::IDevice> device, bool settingsRetained) {
  LogMessage(L"Device 0x%04x is connected. [settings_retained(%s)]\n", device ? device->pid() : 0u,
             settingsRetained ? L"true" : L"false");
  if (!device || device != m_device) return;
  std::string prefix;
  if (!GetActiveFirmwarePrefix(prefix)) return;
  if (prefix == "BOT") {
    onDeviceBootLoaderAttached();
  } else if (prefix == "QRX") {
    onDeviceAttached();
  }
}

void CVornDFUDlg::onDisconnect(std::shared_ptr<dovod::IDevice> device) {
  LogMessage(L"Device 0x%04x is disconnected.\n", device ? device->pid() : 0u);
  if (device && device == m_device && (m_state == kUpdateAvailable || m_state == kEnteringDfu)) {
    SwitchToState(kWaitingForConnection);
  }
}

void CVornDFUDlg::onFirmwareChanged(std::shared_ptr<dovod::IDevice> device) {
  LogMessage(L"Device 0x%04x is firmware-changed.\n", device ? device->pid() : 0u);
  window_.KillTimer(timer::kFirmwareChange);
  if (m_state == kEnteringDfu) {
    SwitchToState(kStartingTransfer);
  } else if (m_state == kWaitingForFirmwareChange) {
    SwitchToState(kUpdateSucceeded);
  }
}

bool CVornDFUDlg::GetActiveFirmwarePrefix(std::string& prefix) {
  if (!m_device) {
    LogMessage(L"  no device instance\n");
    return false;
  }
  auto info = feature_of<dovod::IFeature0003FirmwareInfo>(m_device, kFirmwareInfoFeature);
  if (!info) {
    LogMessage(L"  unable to get feature 0x0003\n");
    return false;
  }
  int count = 0;
  if (!info->GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1)) {
    LogMessage(L"  unable to get the count of the entities from the feature 0x0003\n");
    return false;
  }
  for (int entity = 0; entity < count; ++entity) {
    int type = 0;
    std::string entity_prefix;
    std::uint16_t version = 0;
    std::uint16_t build = 0;
    int rdnf = 0;
    dovod::Bytes extra;
    if (info->GetFwInfo(entity, &type, &entity_prefix, &version, &build, &rdnf, &extra, 1) && rdnf == 1) {
      prefix = entity_prefix;
      return true;
    }
  }
  return false;
}

void CVornDFUDlg::onDeviceAttached() {
  LogMessage(L"CVornDFUDlg::onDeviceAttached\n");
  if (!m_device) {
    LogMessage(L"  no device instance\n");
    return;
  }
  m_f00c2 = feature_of<dovod::IFeature00c2DFUControl>(m_device, kDfuControlFeature);
  if (!m_f00c2) {
    LogMessage(L"  unable to get feature 0x00c2\n");
    return;
  }
  auto info = feature_of<dovod::IFeature0003FirmwareInfo>(m_device, kFirmwareInfoFeature);
  if (!info) {
    LogMessage(L"  unable to get feature 0x0003\n");
    return;
  }
  LogMessage(L"Calling f0003=>GetFwFormattedVersion\n");
  std::string text;
  if (!info->GetFwFormattedVersion(&text)) {
    LogMessage(L"  GetFwFormattedVersion failed\n");
    return;
  }
  std::optional<MinorBuild> version = parse_version(text);
  if (!version) return;
  ResetTransfer();
  LogMessage(L"f0003=>GetFwFormattedVersion: minor=%d, build=%d\n", int{version->minor}, int{version->build});
  LogMessage(L"  current state is %d\n", m_state);

  const std::uint32_t found = std::uint32_t{version->minor} * 65536u + version->build;
  std::int32_t next = (options_.force || found < kPackageMinorBuild) ? kUpdateAvailable : kNoUpdateNeeded;
  // The keyboard back from a complete transfer with a current version has been updated; its
  // connection follows the firmware change and must not turn success into "no update needed".
  if (next == kNoUpdateNeeded && (m_state == kWaitingForFirmwareChange || m_state == kUpdateSucceeded ||
                                  m_awaitedRestart == AwaitedRestart::kFirmware)) {
    next = kUpdateSucceeded;
    window_.KillTimer(timer::kFirmwareChange);
  }
  m_awaitedRestart = AwaitedRestart::kNone;
  SwitchToState(next);
}

void CVornDFUDlg::onDeviceBootLoaderAttached() {
  LogMessage(L"CVornDFUDlg::onDeviceBootLoaderAttached. curState=%d\n", m_state);
  window_.KillTimer(timer::kBootloaderArrival);
  // Whichever restart brought the bootloader, the wait for it is over.
  window_.KillTimer(timer::kFirmwareChange);
  const bool resume = m_state == kSendingFirstImage || m_awaitedRestart == AwaitedRestart::kBootloader;
  m_awaitedRestart = AwaitedRestart::kNone;
  if (resume && m_state != kSendingFirstImage) {
    // Back as a new device: its DFU feature is new, and the waiting states hid the progress.
    window_.Show(control::kProgress, true);
    ShowStatusText(text::kUpdating);
    if (!TakeDfuFeature()) return;
  }
  SwitchToState(resume ? kSendingSecondImage : kStartingTransfer);
}

}  // namespace vorn
