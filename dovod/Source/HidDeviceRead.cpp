// The read thread of a HID device: one report per read, delivered whole and in order, until close
// stops the channel or the device goes away.
#include <algorithm>

#include "Source/HidDevice.h"
#include "Source/HidReadThread.h"
#include "Source/ReportTrace.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

// A failed read is reported and reading goes on; this many in a row mean that the handle is
// unusable, and the thread takes the device as gone instead of spinning on reads that fail at once.
constexpr int kFailedReadsInARow = 16;

}  // namespace

void HidDevice::read_loop(std::shared_ptr<ReadThread> state, std::weak_ptr<HidDevice> device) {
  const char* name = state->name;
  const std::string fn = std::string("dovod::") + name + "::read_thread";
  xLog(name, LOG_DEBUG, fn.c_str(), "%s::read_thread start", name);
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->started = true;
  }
  state->changed.notify_all();

  Bytes buffer(state->length > 0 ? state->length : 1);
  int failed_in_a_row = 0;
  while (state->running) {
    const HidChannel::ReadResult got = state->channel->read(buffer);
    if (got.kind == HidChannel::ReadKind::Stopped) {
      xLog(name, LOG_DEBUG, fn.c_str(), "%s::read_thread got stop event", name);
      break;
    }
    // Holding the device keeps it alive while its event runs; releasing it may destroy it here,
    // after which only `state` is used.
    std::shared_ptr<HidDevice> self = device.lock();
    if (!self || self->destructing_ || !state->running) {
      xLog(name, LOG_DEBUG, fn.c_str(), "%s::read_thread stopping because destructed (before producing event)", name);
      break;
    }
    if (got.kind == HidChannel::ReadKind::Report) {
      failed_in_a_row = 0;
      Bytes report(buffer.begin(), buffer.begin() + std::min(got.length, buffer.size()));
      log_report(fn.c_str(), state->product_id, 'R', report);
      self->deliver(std::move(report), state->length);
      continue;
    }
    if (got.kind == HidChannel::ReadKind::Gone || ++failed_in_a_row >= kFailedReadsInARow) {
      xLog(name, LOG_INFO, fn.c_str(), "%s::read_thread device gone, err=%u", name, got.system_error);
      state->running = false;
      self->deliver_removal(got.system_error);
      break;
    }
    xLog(name, LOG_WARNING, fn.c_str(), "%s::read_thread read failed, err=%u", name, got.system_error);
    self->deliver_failure(got.system_error, state->length);
  }
  state->running = false;
  xLog(name, LOG_DEBUG, fn.c_str(), "%s::read_thread end", name);
}

void HidDevice::deliver(Bytes report, unsigned length) {
  Producer<IHardwareDevice::Read>::produce(
      [report, length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
      std::string(name_) + "::Read::onRead");
}

void HidDevice::deliver_failure(unsigned error, unsigned length) {
  Producer<IHardwareDevice::Read>::produce(
      [error, length](IHardwareDevice::Read* s) { s->onRead({}, false, error, length); },
      std::string(name_) + "::Read::onRead");
}

void HidDevice::deliver_removal(unsigned error) {
  report_removal();
  deliver_failure(error, 0);
}

}  // namespace dovod
