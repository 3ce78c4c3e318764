// The receiver's notification and configuration registers: connection notifications, the
// software-present mark, per-slot configuration complete, and restoring them when another program
// overwrote register 0.
#include <exception>

#include "Source/TandemBus.h"
#include "Source/TandemLog.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

constexpr Byte kNotificationRegister = 0x00;
constexpr Byte kConfigurationRegister = 0x03;
constexpr Byte kWirelessNotifications = 0x01;
constexpr Byte kSoftwarePresent = 0x08;
constexpr std::size_t kShortAnswer = 7;

}  // namespace

bool TandemBus::short_register_bit_operation(Byte reg, Byte set0, Byte set1, Byte set2, Byte clear0, Byte clear1,
                                             Byte clear2) {
  Bytes old;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x81, reg, 0, 0, 0}, old, 0, {})) {
    TB_LOG(LOG_WARNING, "short_register_bit_operation", "TandemBus::short_register_bit_operation exit (false, error)");
    return false;
  }
  if (old.size() < kShortAnswer) {
    TB_LOG(LOG_WARNING, "short_register_bit_operation",
           "TandemBus::short_register_bit_operation exit (false, CommandResponseTooShort)");
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  const Byte b4 = static_cast<Byte>(set0 | (old[4] & ~clear0));
  const Byte b5 = static_cast<Byte>(set1 | (old[5] & ~clear1));
  const Byte b6 = static_cast<Byte>(set2 | (old[6] & ~clear2));
  if (b4 == old[4] && b5 == old[5] && b6 == old[6]) {
    TB_LOG(LOG_DEBUG, "short_register_bit_operation", "TandemBus::short_register_bit_operation exit (true, no change)");
    return true;
  }
  Bytes answer;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x80, reg, b4, b5, b6}, answer, 0, {})) {
    TB_LOG(LOG_WARNING, "short_register_bit_operation", "TandemBus::short_register_bit_operation exit (false, error)");
    return false;
  }
  if (answer.size() < kShortAnswer) {
    TB_LOG(LOG_WARNING, "short_register_bit_operation",
           "TandemBus::short_register_bit_operation exit (false, CommandResponseTooShort)");
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  TB_LOG(LOG_DEBUG, "short_register_bit_operation", "TandemBus::short_register_bit_operation exit (true, success)");
  return true;
}

bool TandemBus::enable_receiver_notifications() {
  if (notifications_enabled_) return true;
  enable_register_zero_monitoring();
  if (!short_register_bit_operation(kNotificationRegister, 0x00, kWirelessNotifications, 0x00, 0, 0, 0)) return false;
  notifications_enabled_ = true;
  return true;
}

void TandemBus::enable_register_zero_monitoring() {
  if (register_zero_subscribed_.exchange(true)) return;
  // Restoring the bits sends synchronous commands, which must run on the host thread.
  if (!Subscriber<IReceiver::RegisterZeroOverwritten>::subscribe(self(), RunLoop)) {
    TB_LOG(LOG_ERROR, "enable_register_zero_monitoring",
           "TandemBus::TandemBus subscribe(IReceiver::RegisterZeroOverwritten) failed");
  }
}

void TandemBus::onRegisterZeroOverwritten() {
  // Our own shutdown clears the software-present bit; putting bits back now would undo it.
  if (shutting_down_) return;
  Byte bits = kWirelessNotifications;
  if (software_present_) {
    TB_LOG(LOG_INFO, "onRegisterZeroOverwritten",
           "TandemBus::onRegisterZeroOverwritten() restoring software present and wireless notifications bits");
    bits |= kSoftwarePresent;
  } else {
    TB_LOG(LOG_INFO, "onRegisterZeroOverwritten",
           "TandemBus::onRegisterZeroOverwritten() no devices configured, so restoring only wireless notifications bit");
  }
  if (!short_register_bit_operation(kNotificationRegister, 0x00, bits, 0x00, 0, 0, 0)) {
    TB_LOG(LOG_ERROR, "onRegisterZeroOverwritten", "TandemBus::onRegisterZeroOverwritten error setting register");
  }
}

bool TandemBus::set_software_present() {
  if (software_present_) return true;
  enable_register_zero_monitoring();
  software_present_ = true;
  return short_register_bit_operation(kNotificationRegister, 0x00, kSoftwarePresent, 0x00, 0, 0, 0);
}

bool TandemBus::set_configuration_complete(int slot) {
  Bytes old;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x81, kConfigurationRegister, 0, 0, 0}, old, 0, {})) return false;
  if (old.size() < kShortAnswer) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  const Byte bit = slot >= 0 && slot < 8 ? static_cast<Byte>(1u << slot) : 0;
  Bytes answer;
  if (!sendSynchronousCommand({0x10, 0xFF, 0x80, kConfigurationRegister, static_cast<Byte>(old[4] | bit), old[5], old[6]},
                              answer, 0, {})) {
    return false;
  }
  if (answer.size() < kShortAnswer) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    return false;
  }
  return true;
}

void TandemBus::shutdown() {
  TB_LOG(LOG_INFO, "shutdown", "TandemBus::shutdown");
  shutting_down_ = true;
  if (software_present_) {
    try {
      short_register_bit_operation(kNotificationRegister, 0, 0, 0, 0x00, kSoftwarePresent, 0x00);
    } catch (const std::exception&) {
      set_last_error(ErrorCode::Mismatch);
    }
  }
  software_present_ = false;
}

}  // namespace dovod
