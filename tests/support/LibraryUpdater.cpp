#include "LibraryUpdater.h"

#include "RunLoopHost.h"
#include "dovod/CDovod.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/IFeature00c2DFUControl.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "protocol/DeviceTuning.h"
#include "firmware/ImageBuilder.h"

namespace dovod::testing {
namespace {

constexpr int kFirmwareInfo = 0x0003;
constexpr int kDfuControl = 0x00C2;
constexpr int kDfu = 0x00D0;
constexpr int kSendNext = 1;
constexpr int kTransferComplete = 2;
constexpr int kFirstImageComplete = 6;

template <class I>
std::shared_ptr<I> feature_of(const std::shared_ptr<IDevice>& device, int id) {
  return std::dynamic_pointer_cast<I>(device->feature_by_id(id));
}

// The prefix of the running firmware entity, "" when it cannot be read.
constexpr int kFirmwareReadAttempts = 3;

std::string running_prefix(IFeature0003FirmwareInfo& info) {
  int count = 0;
  if (!info.GetEntityCount(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0)) return {};
  for (int entity = 0; entity < count; ++entity) {
    std::string prefix;
    int rdnf = 0;
    if (!info.GetFwInfo(entity, nullptr, &prefix, static_cast<std::uint16_t*>(nullptr), nullptr, &rdnf,
                        nullptr, 0)) {
      return {};
    }
    if (rdnf & IFeature0003FirmwareInfo::kRdnfRunning) return prefix;
  }
  return {};
}

}  // namespace

LibraryUpdater::LibraryUpdater(std::vector<Bytes> first, std::vector<Bytes> second)
    : first_(std::move(first)), second_(std::move(second)) {}

LibraryUpdater::LibraryUpdater()
    : LibraryUpdater(firmware::cut_packets(firmware::build_firmware_image(firmware::first_image_spec())),
                     firmware::cut_packets(firmware::build_firmware_image(firmware::second_image_spec()))) {}

bool LibraryUpdater::run_to_end(RunLoopHost& host, const std::function<void()>& each_turn,
                                std::chrono::seconds limit) {
  if (!host.attach()) return false;
  std::shared_ptr<IDeviceManager> manager = CDovod::instance();
  if (!Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, RunLoop)) return false;
  CDovod::instance().config_set(IDeviceManager::usb_active, true);
  if (!CDovod::instance().connectToHardwareBusses()) return false;
  return host.pump_until(
      [&] {
        if (each_turn) each_turn();
        return finished();
      },
      limit);
}

void use_fast_device_timing() {
  DeviceTuning fast;
  fast.ping_jitter_ms = 5;
  fast.ping_backoff_base_ms = 1;
  fast.reconnect_window_ms = 10;
  fast.fw_check_delay_ms = 10;
  fast.deactivation_delay_ms = 50;
  fast.cache_write_delay_ms = 100;
  set_device_tuning(fast);
}

LibraryUpdater::~LibraryUpdater() {
  if (dfu_) Subscriber<IFeature00d0DFU::Report>::unsubscribe(dfu_);
  if (device_) Subscriber<IDevice::Connect>::unsubscribe(device_);
}

void LibraryUpdater::onDeviceArrival(std::shared_ptr<IDevice> device) {
  if (device->pid() != maker::kKeyboardPid || device_) return;
  device_ = device;
  note("arrival");
  if (!Subscriber<IDevice::Connect>::subscribe(device_, RunLoop)) return fail("cannot follow connections");
  if (device_->connected()) examine();
}

// A transport that shows a restart as the device leaving and coming back brings a new device
// object; the update goes on with it where it stood.
void LibraryUpdater::onDeviceRemoval(std::shared_ptr<IDevice> device) {
  if (!device_ || device != device_) return;
  note("removal");
  if (dfu_) Subscriber<IFeature00d0DFU::Report>::unsubscribe(dfu_);
  dfu_.reset();
  Subscriber<IDevice::Connect>::unsubscribe(device_);
  device_.reset();
}

void LibraryUpdater::onConnect(std::shared_ptr<IDevice> device, bool) {
  note("connect");
  examine();
}

void LibraryUpdater::onDisconnect(std::shared_ptr<IDevice>) { note("disconnect"); }

void LibraryUpdater::onFirmwareChanged(std::shared_ptr<IDevice>) {
  ++firmware_changes_;
  note("firmware changed");
}

// What the keyboard runs now decides the next step.
void LibraryUpdater::examine() {
  if (finished()) return;
  auto info = feature_of<IFeature0003FirmwareInfo>(device_, kFirmwareInfo);
  if (!info) return fail("no firmware information");
  // A keyboard just back from a restart may not answer its first question on a loaded machine; it
  // is asked again, as the update tool asks a keyboard that did not come back in time.
  std::string prefix = running_prefix(*info);
  for (int attempt = 1; prefix.empty() && attempt < kFirmwareReadAttempts; ++attempt) {
    note("firmware unreadable (code " + std::to_string(static_cast<int>(last_error().code)) + ")");
    prefix = running_prefix(*info);
  }
  if (prefix == "QRX") {
    std::string version;
    if (!info->GetFwFormattedVersion(&version)) return fail("no version text");
    note("application " + version);
    if (phase_ == Phase::WaitingForNewFirmware) {
      phase_ = Phase::Done;
      return;
    }
    auto control = feature_of<IFeature00c2DFUControl>(device_, kDfuControl);
    if (!control) return fail("no DFU control");
    phase_ = Phase::EnteringBootloader;
    if (!control->SetDfuControl(1, 0)) return fail("SetDfuControl refused");
  } else if (prefix == "BOT") {
    note("bootloader");
    if (phase_ == Phase::BetweenImages) {
      start_image(second_);
      phase_ = Phase::SecondImage;
    } else if (phase_ != Phase::FirstImage && phase_ != Phase::SecondImage) {
      start_image(first_);
      phase_ = Phase::FirstImage;
    }
  } else {
    fail("unknown firmware '" + prefix + "'");
  }
}

void LibraryUpdater::start_image(const std::vector<Bytes>& packets) {
  if (dfu_) Subscriber<IFeature00d0DFU::Report>::unsubscribe(dfu_);
  dfu_ = feature_of<IFeature00d0DFU>(device_, kDfu);
  if (!dfu_) return fail("no DFU feature");
  if (!Subscriber<IFeature00d0DFU::Report>::subscribe(dfu_, RunLoop)) return fail("cannot follow DFU");
  current_ = &packets;
  int status = 0;
  if (!dfu_->DFUStart(packets.at(0), &status, nullptr) || status > 3) return fail("DFUStart refused");
  progress_ += 16;
}

void LibraryUpdater::onDfuStatus(unsigned packetNumber, Bytes payload) {
  if (finished() || !current_ || payload.size() < 5) return;
  switch (payload[4]) {
    case kSendNext: {
      const std::size_t next = static_cast<std::size_t>(packetNumber) + 1;
      if (next >= current_->size()) return;
      // The status of packet n accepts it; packet 0 was counted when DFUStart took it.
      if (packetNumber > 0) progress_ += 16;
      if (!dfu_->DFUSendPacket(static_cast<int>(packetNumber), (*current_)[next])) {
        fail("DFUSendPacket failed");
      }
      return;
    }
    case kFirstImageComplete:
      progress_ += 16;
      note("first image sent");
      phase_ = Phase::BetweenImages;
      dfu_->DFURestart(1);
      return;
    case kTransferComplete:
      progress_ += 16;
      note("second image sent");
      phase_ = Phase::WaitingForNewFirmware;
      dfu_->DFURestart(1);
      return;
    default:
      fail("DFU status " + std::to_string(payload[4]));
  }
}

void LibraryUpdater::fail(const std::string& why) {
  note("failed: " + why);
  phase_ = Phase::Failed;
}

}  // namespace dovod::testing
