#include "KeyboardModel.h"

#include <cstring>

#include "Reports.h"
#include "dovod/MakerValues.h"

namespace sim {
namespace {

// Arrays with nothing to destroy: a simulated keyboard's timer thread may still answer a request
// while the process exits and runs its static destructors.
constexpr int kApplicationFeatures[] = {kRoot,         kFeatureSet, kFirmwareInfo,  kDeviceName,
                                        kConfigChange, kDfuControl, kWirelessStatus};
constexpr int kBootloaderFeatures[] = {kRoot, kFeatureSet, kFirmwareInfo, kDfu};

constexpr Byte kProtocolMajor = 4;
constexpr Byte kProtocolMinor = 2;

Byte high(unsigned v) { return static_cast<Byte>(v >> 8); }
Byte low(unsigned v) { return static_cast<Byte>(v); }

}  // namespace

KeyboardModel::KeyboardModel(const Scenario& scenario)
    : running_(scenario.start_in_bootloader ? Firmware::Bootloader : Firmware::Application),
      next_(running_),
      application_(scenario.application),
      updated_(scenario.updated),
      bootloader_(scenario.bootloader),
      unit_id_(scenario.unit_id) {}

std::span<const int> KeyboardModel::features() const {
  return in_bootloader() ? std::span<const int>(kBootloaderFeatures) : std::span<const int>(kApplicationFeatures);
}

int KeyboardModel::index_of(int feature_id) const {
  const std::span<const int> list = features();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == feature_id) return static_cast<int>(i);
  }
  return -1;
}

int KeyboardModel::feature_at(int index) const {
  const std::span<const int> list = features();
  return index >= 0 && index < static_cast<int>(list.size()) ? list[index] : -1;
}

ModelResult KeyboardModel::answer(const Bytes& request, const Bytes& payload) const {
  return {{reply_to(request, payload)}, false};
}

ModelResult KeyboardModel::error(const Bytes& request, Byte code) const {
  return {{error_reply_to(request, code)}, false};
}

ModelResult KeyboardModel::handle(const Bytes& request) {
  if (request.size() < 4) return {};
  switch (feature_at(feature_index_of(request))) {
    case kRoot:
      return root(request);
    case kFeatureSet:
      return feature_set(request);
    case kFirmwareInfo:
      return firmware_info(request);
    case kDeviceName:
      return device_name(request);
    case kConfigChange:
      return config_change(request);
    case kDfuControl:
      return dfu_control(request);
    case kDfu:
      return dfu(request);
    case kWirelessStatus:
      return error(request, kErrUnknownFunction);
    default:
      return error(request, kErrUnknownFeatureIndex);
  }
}

ModelResult KeyboardModel::refuse_packet(const Bytes& request, Byte status) {
  if (feature_at(feature_index_of(request)) != kDfu || function_of(request) > 3) return handle(request);
  return dfu_answer(request, dfu_.refuse(status), false);
}

void KeyboardModel::boot() {
  running_ = next_;
  cookie_ = 0;
}

void KeyboardModel::power_loss() {
  next_ = running_;
  cookie_ = 0;
  dfu_.drop_partial();
}

Bytes KeyboardModel::wireless_status(bool reconnect, bool powerswitch) const {
  const int index = index_of(kWirelessStatus);
  if (index < 0) return {};
  return notification(static_cast<Byte>(index), 0,
                      {static_cast<Byte>(reconnect), static_cast<Byte>(cookie_ == 0), static_cast<Byte>(powerswitch)});
}

ModelResult KeyboardModel::root(const Bytes& request) {
  switch (function_of(request)) {
    case 0: {
      const int id = request_byte(request, 4) << 8 | request_byte(request, 5);
      const int index = index_of(id);
      // A feature the keyboard lacks answers index 0.
      return answer(request, {static_cast<Byte>(index < 0 ? 0 : index), 0, 0});
    }
    case 1:
      return answer(request, {kProtocolMajor, kProtocolMinor, request_byte(request, 6)});
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::feature_set(const Bytes& request) {
  switch (function_of(request)) {
    case 0:
      return answer(request, {static_cast<Byte>(features().size() - 1)});
    case 1: {
      const int id = feature_at(request_byte(request, 4));
      if (id < 0) return error(request, kErrOutOfRange);
      return answer(request, {high(id), low(id), 0, 0});
    }
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::firmware_info(const Bytes& request) {
  switch (function_of(request)) {
    case 0: {
      const unsigned pid = dovod::maker::kKeyboardPid;
      return answer(request, {2, static_cast<Byte>(unit_id_ >> 24), static_cast<Byte>(unit_id_ >> 16),
                              high(unit_id_), low(unit_id_), 0x00, 0x01, high(pid), low(pid), 0, 0, 0, 0, 0});
    }
    case 1: {
      const Byte entity = request_byte(request, 4);
      if (entity > 1) return error(request, kErrOutOfRange);
      // The running firmware is entity 0. The library knows a device's firmware by one entity's
      // identity and keeps its reply cache while that identity stays the same; were the application
      // entity 0 in the bootloader too, cached answers would go on reporting the application running.
      const bool application = (entity == 0) != in_bootloader();
      const FirmwareVersion& v = application ? application_ : bootloader_;
      const char* prefix = application ? kApplicationPrefix : kBootloaderPrefix;
      const bool runs = application != in_bootloader();
      Bytes payload = {static_cast<Byte>(application ? 0 : 1)};
      payload.insert(payload.end(), prefix, prefix + 3);
      payload.insert(payload.end(), {high(v.bcd_version), low(v.bcd_version), high(v.bcd_build), low(v.bcd_build),
                                     static_cast<Byte>(runs ? 1 : 0)});
      return answer(request, payload);
    }
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::device_name(const Bytes& request) {
  const std::size_t length = std::strlen(kProductName);
  switch (function_of(request)) {
    case 0:
      return answer(request, {static_cast<Byte>(length)});
    case 1: {
      const std::size_t at = request_byte(request, 4);
      if (at >= length) return error(request, kErrOutOfRange);
      return answer(request, Bytes(kProductName + at, kProductName + length));
    }
    case 2:
      return answer(request, {kDeviceTypeKeyboard});
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::config_change(const Bytes& request) {
  switch (function_of(request)) {
    case 0:
      return answer(request, {high(cookie_), low(cookie_)});
    case 1:
      cookie_ = static_cast<std::uint16_t>(request_byte(request, 4) << 8 | request_byte(request, 5));
      return answer(request, {high(cookie_), low(cookie_)});
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::dfu_control(const Bytes& request) {
  switch (function_of(request)) {
    case 0:
      return answer(request, {0, 0, 0});
    case 1: {
      if (request_byte(request, 8) != kDfuMagic[0] || request_byte(request, 9) != kDfuMagic[1] ||
          request_byte(request, 10) != kDfuMagic[2]) {
        return error(request, kErrInvalidArgument);
      }
      if (request_byte(request, 4) != 1) return answer(request, {0});
      // The keyboard goes straight into its bootloader without answering.
      next_ = Firmware::Bootloader;
      return {{}, true};
    }
    default:
      return error(request, kErrUnknownFunction);
  }
}

ModelResult KeyboardModel::dfu(const Bytes& request) {
  const int function = function_of(request);
  const Bytes packet = parameters_of(request);
  if (function <= 3) return dfu_answer(request, dfu_.packet(function, packet), false);
  if (function == kDfuStartFunction) {
    const BootloaderDfu::Answer started = dfu_.start(packet);
    return dfu_answer(request, started, started.status == kDfuSendNext);
  }
  if (function == kDfuRestartFunction) {
    if (request_byte(request, 4) != 1) return error(request, kErrInvalidArgument);
    // Only two whole, well-formed images make a new application; anything less stays in the
    // bootloader so that the transfer can be sent again.
    if (dfu_.both_images_complete()) {
      application_ = updated_;
      dfu_.forget_images();
      next_ = Firmware::Application;
    } else {
      dfu_.drop_partial();
      next_ = Firmware::Bootloader;
    }
    ModelResult result = answer(request, {1});
    result.restart = true;
    return result;
  }
  return error(request, kErrUnknownFunction);
}

ModelResult KeyboardModel::dfu_answer(const Bytes& request, BootloaderDfu::Answer a, bool notify) const {
  const Bytes payload = {0, 0, high(a.packet_number), low(a.packet_number), a.status};
  ModelResult result = answer(request, payload);
  // The status that follows a start comes on its own, as a notification for packet 0.
  if (notify) result.reports.push_back(notification(feature_index_of(request), 0, payload));
  return result;
}

}  // namespace sim
