#include "sim/SimHardwareDevice.h"

#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "sim/SimKeyboard.h"

namespace sim {

using dovod::ErrorCode;

SimHardwareDevice::SimHardwareDevice(std::weak_ptr<SimKeyboard> keyboard, std::weak_ptr<dovod::IHardwareBus> bus,
                                     std::string path)
    : keyboard_(std::move(keyboard)), bus_(std::move(bus)), path_(std::move(path)) {}

unsigned SimHardwareDevice::pid() { return dovod::maker::kKeyboardPid; }

int SimHardwareDevice::command_timeout_ms() {
  auto keyboard = keyboard_.lock();
  return keyboard ? keyboard->scenario().timing.command_timeout_ms : IHardwareDevice::command_timeout_ms();
}

unsigned SimHardwareDevice::vendor_id() const { return dovod::maker::kVendorId; }

bool SimHardwareDevice::connected() {
  if (removed_) return false;
  auto keyboard = keyboard_.lock();
  return keyboard && keyboard->reachable(this);
}

bool SimHardwareDevice::open() {
  if (removed_) {
    dovod::set_last_error(ErrorCode::DeviceRemoved, 0, "device removed");
    return false;
  }
  open_ = true;
  return true;
}

void SimHardwareDevice::close() { open_ = false; }

bool SimHardwareDevice::fail(ErrorCode code, unsigned system_error, const char* message) {
  dovod::set_last_error(code, system_error, message);
  Producer<Write>::produce([code, system_error](Write* s) { s->onWrite({}, code, system_error); },
                           "SimHardwareDevice::Write::onWrite");
  return false;
}

bool SimHardwareDevice::write(Bytes report, bool blocking) {
  if (removed_) return fail(ErrorCode::DeviceRemoved, 0, "device removed");
  if (!open_) return fail(ErrorCode::InvalidDeviceHandle, 0, "device not open");
  if (report.empty()) return fail(ErrorCode::WriteTooShort, 0, "empty report");
  const std::size_t length = report[0] == kShortReportId ? kShortReportLength : kLongReportLength;
  if (report.size() > length) return fail(ErrorCode::WriteExceedsCollectionSize, 0, "report too long");
  report.resize(length, 0);
  auto keyboard = keyboard_.lock();
  if (blocking && keyboard && keyboard->on_keyboard_thread()) {
    return fail(kBlockingWriteOnReadThread, 0, "blocking write on the read thread");
  }
  if (!keyboard || !keyboard->receive(this, report)) {
    return fail(ErrorCode::WriteFailed, kNotConnectedSystemError, "keyboard not connected");
  }
  Producer<Write>::produce([report](Write* s) { s->onWrite(report, ErrorCode::None, 0); },
                           "SimHardwareDevice::Write::onWrite");
  return true;
}

void SimHardwareDevice::deliver(const Bytes& report) {
  if (!open_) return;
  Producer<Read>::produce(
      [report](Read* s) { s->onRead(report, false, 0, static_cast<unsigned>(kLongReportLength)); },
      "SimHardwareDevice::Read::onRead");
}

void SimHardwareDevice::announce(bool connected) {
  auto self = shared_from_this();
  if (connected) {
    Producer<Connect>::produce([self](Connect* s) { s->onConnect(self); }, "SimHardwareDevice::Connect::onConnect");
  } else {
    Producer<Connect>::produce([self](Connect* s) { s->onDisconnect(self); },
                               "SimHardwareDevice::Connect::onDisconnect");
  }
}

}  // namespace sim
