#include "Source/VXP10Command.h"

#include <algorithm>

#include "Source/TandemLog.h"
#include "dovod/IDevice.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

const char* outcome(bool ok) { return ok ? "success" : "fail"; }

}  // namespace

bool VXP10Command::set_receiver_connection_state(IDevice* device) {
  if (device == nullptr) {
    set_last_error(ErrorCode::NullDevice, 0, "null device pointer passed to set_receiver_connection_state!");
    VXP_LOG(LOG_ERROR, "set_receiver_connection_state", "VXP10Command::set_receiver_connection_state exit (%s)",
            outcome(false));
    return false;
  }
  Bytes reply;
  const bool ok = device->sendSynchronousCommand({0x10, 0xFF, 0x80, 0x02, 0x02, 0x00, 0x00}, reply, 0, {});
  VXP_LOG(ok ? LOG_DEBUG : LOG_WARNING, "set_receiver_connection_state",
          "VXP10Command::set_receiver_connection_state exit (%s)", outcome(ok));
  return ok;
}

bool VXP10Command::read_receiver_connection_state(IDevice* device, unsigned& count, unsigned& second) {
  if (device == nullptr) {
    set_last_error(ErrorCode::NullDevice, 0, "null device pointer passed to read_receiver_connection_state!");
    VXP_LOG(LOG_ERROR, "read_receiver_connection_state", "VXP10Command::read_receiver_connection_state exit (%s)",
            outcome(false));
    return false;
  }
  Bytes reply;
  bool ok = device->sendSynchronousCommand({0x10, 0xFF, 0x81, 0x02, 0, 0, 0}, reply, 0, {});
  if (ok && reply.size() < 7) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    ok = false;
  }
  if (ok) {
    count = reply[5];
    second = reply[6];
  }
  VXP_LOG(ok ? LOG_DEBUG : LOG_WARNING, "read_receiver_connection_state",
          "VXP10Command::read_receiver_connection_state exit (%s)", outcome(ok));
  return ok;
}

bool VXP10Command::read_receiver_paired_device_name(IDevice* device, int slot, std::string& name) {
  if (device == nullptr) {
    set_last_error(ErrorCode::NullDevice, 0, "null device pointer passed to read_receiver_paired_device_name!");
    VXP_LOG(LOG_ERROR, "read_receiver_paired_device_name", "VXP10Command::read_receiver_paired_device_name exit (%s)",
            outcome(false));
    return false;
  }
  Bytes reply;
  bool ok = device->sendSynchronousCommand({0x10, 0xFF, 0x83, 0xB5, static_cast<Byte>(0x40 + slot), 0, 0}, reply, 0,
                                           {0});
  if (ok && reply.size() <= 15) {
    set_last_error(ErrorCode::CommandResponseTooShort);
    ok = false;
  }
  if (ok) {
    // The length byte comes from the device: never read past the answer it gave.
    const std::size_t length = std::min<std::size_t>(reply[5], reply.size() - 6);
    name.assign(reply.begin() + 6, reply.begin() + 6 + static_cast<std::ptrdiff_t>(length));
  }
  VXP_LOG(ok ? LOG_DEBUG : LOG_WARNING, "read_receiver_paired_device_name",
          "VXP10Command::read_receiver_paired_device_name exit (%s)", outcome(ok));
  return ok;
}

}  // namespace dovod
