// Writing one report to a HID device: the report id and padding its layout asks for, the rules of
// a blocking write, and one onWrite for every call however it ends.
#include <map>

#include "Source/HidDevice.h"
#include "Source/HidReadThread.h"
#include "Source/ReportTrace.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

// Puts into byte 0 the id of the shortest report that holds the bytes given and pads the report to
// that report's length. When none holds them the first byte stays as given and the report is
// padded to the longest output report. False when the report is longer than that.
bool shape_report(Bytes& report, const std::map<std::uint8_t, unsigned>& lengths, unsigned output_length) {
  unsigned target = output_length;
  for (const auto& [id, length] : lengths) {
    if (length >= report.size()) {
      report[0] = id;
      target = length;
      break;
    }
  }
  if (report.size() > target) return false;
  report.resize(target, 0);
  return true;
}

}  // namespace

bool HidDevice::write(Bytes report, bool blocking) {
  const char* fn = write_fn_.c_str();
  xLog(name_, LOG_DEBUG, fn, "%s::write enter", name_);
  if (!open()) {
    const LastError failed = last_error();
    xLog(name_, LOG_WARNING, fn, "%s::write exit (false, open failed)", name_);
    return finish_write({}, failed.code, static_cast<unsigned>(failed.system_error), nullptr, failed.message);
  }

  std::unique_lock<std::mutex> writing(write_mutex_);
  std::shared_ptr<HidChannel> channel;
  bool reading = false;
  std::thread::id reader_id;
  std::map<std::uint8_t, unsigned> lengths;
  unsigned output_length = 0;
  unsigned product_id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    channel = channel_;
    reading = read_state_ && read_state_->running;
    reader_id = reader_.get_id();
    lengths = layout_.report_lengths;
    output_length = layout_.output_length;
    product_id = layout_.product_id;
  }
  if (!channel) {
    writing.unlock();
    return finish_write({}, ErrorCode::InvalidDeviceHandle, 0, "InvalidDeviceHandle");
  }
  if (report.empty()) {
    writing.unlock();
    return finish_write({}, ErrorCode::WriteTooShort, 0, "WriteTooShort");
  }
  if (!shape_report(report, lengths, output_length)) {
    writing.unlock();
    return finish_write({}, ErrorCode::WriteExceedsCollectionSize, 0, "WriteExceedsCollectionSize");
  }
  if (blocking) {
    // A blocking write's caller waits for the answer, which only the read thread delivers.
    if (!reading) {
      xLog(name_, LOG_WARNING, fn, "%s::write dev=%s", name_, path_.c_str());
      writing.unlock();
      return finish_write({}, ErrorCode::WriteWithoutReadThread, 0, "CannotPerformWriteWithoutReadThreadRunning");
    }
    if (reader_id == std::this_thread::get_id()) {
      writing.unlock();
      return finish_write({}, ErrorCode::BlockingWriteOnReadThread, 0, "CannotPerformBlockingWriteOnReadThread");
    }
  }

  log_report(fn, product_id, 'W', report);
  const HidChannel::WriteResult outcome = channel->write(report, write_limit_);
  writing.unlock();
  channel.reset();
  switch (outcome.kind) {
    case HidChannel::WriteKind::Ok:
      xLog(name_, LOG_DEBUG, fn, "%s::write successful", name_);
      return finish_write(std::move(report), ErrorCode::None, 0, nullptr);
    case HidChannel::WriteKind::TimedOut:
      return finish_write({}, ErrorCode::WriteTimedOut, 0, "WriteTimeout");
    case HidChannel::WriteKind::NotTaken:
      xLog(name_, LOG_WARNING, fn, "%s::write WriteError, errcode_sys=%u", name_, outcome.system_error);
      return finish_write({}, ErrorCode::WriteDeviceGone, outcome.system_error, nullptr);
    case HidChannel::WriteKind::Gone:
      xLog(name_, LOG_WARNING, fn, "%s::write WriteError, errcode_sys=%u", name_, outcome.system_error);
      report_removal();
      return finish_write({}, ErrorCode::WriteDeviceGone, outcome.system_error, "WriteDeviceGone");
    case HidChannel::WriteKind::Failed:
      break;
  }
  xLog(name_, LOG_WARNING, fn, "%s::write WriteError, errcode_sys=%u", name_, outcome.system_error);
  return finish_write({}, ErrorCode::WriteFailed, outcome.system_error, "WriteError");
}

bool HidDevice::finish_write(Bytes report, ErrorCode code, unsigned system_error, const char* what,
                             const char* message) {
  const char* fn = write_fn_.c_str();
  if (what) xLog(name_, LOG_WARNING, fn, "%s::write exit (false, %s)", name_, what);
  Producer<IHardwareDevice::Write>::produce(
      [report, code, system_error](IHardwareDevice::Write* s) { s->onWrite(report, code, system_error); },
      std::string(name_) + "::Write::onWrite");
  const bool ok = code == ErrorCode::None;
  // Set after the event, since a direct handler may have made failing calls of its own.
  if (ok) {
    xLog(name_, LOG_DEBUG, fn, "%s::write exit, ret=1", name_);
  } else {
    set_last_error(code, system_error, message);
  }
  return ok;
}

}  // namespace dovod
