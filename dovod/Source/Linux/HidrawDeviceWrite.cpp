// Writing one report to a hidraw node: the report id and padding its layout asks for, one write()
// per report, and a time limit after which the write is abandoned.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>

#include "Source/Linux/HidrawDevice.h"
#include "Source/Linux/HidrawReadChannel.h"
#include "Source/ReportTrace.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawDevice";
constexpr const char* kFn = "dovod::HidrawDevice::write";

struct WriteOutcome {
  ErrorCode code = ErrorCode::None;
  unsigned system_error = 0;
  const char* what = nullptr;
  bool removal = false;
};

// Errors with which a node answers a write once its device has gone.
bool is_gone(int error) {
  return error == ENODEV || error == EPIPE || error == ECONNRESET || error == ESHUTDOWN;
}

// Waits for room within the limit, then hands the kernel the whole report at once. The wait also
// ends when close signals `stop`. A kernel whose write() blocks by itself (the USB path) bounds
// the call with its own transfer timeout.
WriteOutcome write_within(int fd, int stop, const Bytes& report, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return {ErrorCode::WriteTimedOut, 0, "WriteTimeout"};
    pollfd fds[2] = {{fd, POLLOUT, 0}, {stop, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return {ErrorCode::WriteFailed, static_cast<unsigned>(errno), "WriteError"};
    }
    if (ready == 0) continue;
    if (fds[1].revents != 0) return {ErrorCode::WriteFailed, ECANCELED, "WriteError"};
    if (fds[0].revents & POLLNVAL) return {ErrorCode::WriteFailed, EBADF, "WriteError"};
    // Hang-up or error without room: write() tells which.
    const ssize_t written = ::write(fd, report.data(), report.size());
    if (written == static_cast<ssize_t>(report.size())) return {};
    if (written >= 0) return {ErrorCode::WriteFailed, EIO, "WriteError"};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
    if (is_gone(error)) return {ErrorCode::WriteDeviceGone, static_cast<unsigned>(error), "WriteDeviceGone", true};
    return {ErrorCode::WriteFailed, static_cast<unsigned>(error), "WriteError"};
  }
}

}  // namespace

bool HidrawDevice::write(Bytes report, bool blocking) {
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::write enter");
  if (!open()) {
    const LastError failed = last_error();
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::write exit (false, open failed)");
    return finish_write({}, failed.code, failed.system_error, nullptr, failed.message);
  }

  std::unique_lock<std::mutex> writing(write_mutex_);
  int fd = -1, stop = -1;
  bool reading = false;
  std::thread::id reader_id;
  std::map<std::uint8_t, unsigned> lengths;
  unsigned product_id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fd = fd_;
    stop = stop_read_;
    reading = channel_ && channel_->running;
    reader_id = reader_.get_id();
    lengths = protocol_.report_lengths;
    product_id = product_id_;
  }
  if (fd < 0 || stop < 0) {
    writing.unlock();
    return finish_write({}, ErrorCode::InvalidDeviceHandle, 0, "InvalidDeviceHandle");
  }
  if (report.empty()) {
    writing.unlock();
    return finish_write({}, ErrorCode::WriteTooShort, 0, "WriteTooShort");
  }
  // The shortest report that holds the bytes given carries them; its id goes into byte 0.
  unsigned target = 0;
  for (const auto& [id, length] : lengths) {
    if (length >= report.size()) {
      report[0] = id;
      target = length;
      break;
    }
  }
  if (target == 0) {
    writing.unlock();
    return finish_write({}, ErrorCode::WriteExceedsCollectionSize, 0, "WriteExceedsCollectionSize");
  }
  report.resize(target, 0);
  if (blocking) {
    // A blocking write's caller waits for the answer, which only the read thread delivers.
    if (!reading) {
      xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::write dev=%s", path_.c_str());
      writing.unlock();
      return finish_write({}, ErrorCode::WriteWithoutReadThread, 0,
                          "CannotPerformWriteWithoutReadThreadRunning");
    }
    if (reader_id == std::this_thread::get_id()) {
      writing.unlock();
      return finish_write({}, ErrorCode::BlockingWriteOnReadThread, 0,
                          "CannotPerformBlockingWriteOnReadThread");
    }
  }

  log_report(kFn, product_id, 'W', report);
  const WriteOutcome outcome = write_within(fd, stop, report, write_limit_);
  writing.unlock();
  if (outcome.code == ErrorCode::WriteTimedOut) {
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::write timeout after %lld ms",
         static_cast<long long>(write_limit_.count()));
  } else if (outcome.code != ErrorCode::None) {
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::write WriteError, errcode_sys=%u", outcome.system_error);
  }
  if (outcome.removal) report_removal();
  if (outcome.code != ErrorCode::None) {
    return finish_write({}, outcome.code, outcome.system_error, outcome.what);
  }
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::write successful");
  return finish_write(std::move(report), ErrorCode::None, 0, nullptr);
}

bool HidrawDevice::finish_write(Bytes report, ErrorCode code, unsigned system_error, const char* what,
                                const char* message) {
  if (what) xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::write exit (false, %s)", what);
  Producer<IHardwareDevice::Write>::produce(
      [report, code, system_error](IHardwareDevice::Write* s) { s->onWrite(report, code, system_error); },
      "HidrawDevice::Write::onWrite");
  const bool ok = code == ErrorCode::None;
  // Set after the event, since a direct handler may have made failing calls of its own.
  if (ok) {
    xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::write exit, ret=1");
  } else {
    set_last_error(code, system_error, message);
  }
  return ok;
}

}  // namespace dovod
