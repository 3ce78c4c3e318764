#include "sim/SimHardwareDevice.h"

#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "sim/SimEndpoint.h"

namespace sim {

using dovod::ErrorCode;

SimHardwareDevice::SimHardwareDevice(const std::shared_ptr<SimEndpoint>& endpoint,
                                     std::weak_ptr<dovod::IHardwareBus> bus, CollectionShape shape)
    : endpoint_(endpoint),
      bus_(std::move(bus)),
      shape_(std::move(shape)),
      pid_(endpoint->pid()),
      product_name_(endpoint->product_name()) {}

int SimHardwareDevice::command_timeout_ms() {
  auto endpoint = endpoint_.lock();
  return endpoint ? endpoint->command_timeout_ms() : IHardwareDevice::command_timeout_ms();
}

unsigned SimHardwareDevice::vendor_id() const { return dovod::maker::kVendorId; }

bool SimHardwareDevice::connected() {
  if (removed_) return false;
  auto endpoint = endpoint_.lock();
  return endpoint && endpoint->reachable();
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
  std::size_t length = static_cast<std::size_t>(shape_.report_length);
  if (shape_.report_id == 0) {
    length = report[0] == kShortReportId ? kShortReportLength : kLongReportLength;
  } else {
    report[0] = shape_.report_id;
  }
  if (report.size() > length) return fail(ErrorCode::WriteExceedsCollectionSize, 0, "report too long");
  report.resize(length, 0);
  auto endpoint = endpoint_.lock();
  // A blocking write on the thread that delivers the reports would wait for a reply that only this
  // thread can deliver.
  if (blocking && endpoint && endpoint->on_delivery_thread()) {
    return fail(ErrorCode::BlockingWriteOnReadThread, 0, "blocking write on the read thread");
  }
  if (!endpoint || !endpoint->receive(report)) {
    return fail(ErrorCode::WriteFailed, kNotConnectedSystemError, "device not connected");
  }
  Producer<Write>::produce([report](Write* s) { s->onWrite(report, ErrorCode::None, 0); },
                           "SimHardwareDevice::Write::onWrite");
  return true;
}

void SimHardwareDevice::deliver(const Bytes& report) {
  if (!open_) return;
  const auto length = static_cast<unsigned>(shape_.report_length);
  Producer<Read>::produce([report, length](Read* s) { s->onRead(report, false, 0, length); },
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
