// The read thread of a hidraw device: one report per read(), until close signals the stop pipe or
// the node goes away.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "Source/Linux/HidrawDevice.h"
#include "Source/Linux/HidrawReadChannel.h"
#include "Source/ReportTrace.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawDevice";
constexpr const char* kFn = "dovod::HidrawDevice::read_thread";

// A node whose device has gone answers reads with these; a socket pair's peer that went away
// answers with end of file instead, which is taken as ENODEV.
bool is_gone(int error) {
  return error == ENODEV || error == EIO || error == ENXIO || error == ECONNRESET || error == EPIPE ||
         error == ESHUTDOWN;
}

// Any other read error is reported and reading goes on; this many in a row mean that the node is
// unusable, and the thread treats it as gone instead of spinning on it.
constexpr int kFailedReadsInARow = 16;

}  // namespace

void hidraw_read_loop(std::shared_ptr<HidrawReadChannel> channel, std::weak_ptr<HidrawDevice> device) {
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::read_thread start");
  Bytes buffer(channel->length > 0 ? channel->length : 1);
  int failed_in_a_row = 0;
  while (channel->running) {
    pollfd fds[2] = {{channel->fd, POLLIN, 0}, {channel->stop, POLLIN, 0}};
    int error = 0;
    ssize_t got = -1;
    if (::poll(fds, 2, -1) < 0) {
      error = errno;
      if (error == EINTR) continue;
    } else if (fds[1].revents != 0) {
      xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::read_thread got stop event");
      break;
    } else if (fds[0].revents & POLLNVAL) {
      error = EBADF;
    } else if (fds[0].revents != 0) {
      got = ::read(channel->fd, buffer.data(), buffer.size());
      if (got == 0) error = ENODEV;
      if (got < 0) error = errno;
      if (got < 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)) continue;
    } else {
      continue;
    }

    // Holding the device keeps it alive while its event runs; releasing it may destroy it here,
    // after which only `channel` is used.
    std::shared_ptr<HidrawDevice> self = device.lock();
    if (!self || !channel->running) {
      xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::read_thread stopping because destructed (before producing event)");
      break;
    }
    if (got > 0) {
      failed_in_a_row = 0;
      if (channel->protocol_ids.test(buffer[0])) {
        Bytes report(buffer.begin(), buffer.begin() + got);
        log_report(kFn, channel->product_id, 'R', report);
        self->deliver(std::move(report), channel->length);
      } else {
        xLog(kTag, LOG_VERBOSE, kFn, "HidrawDevice::read_thread ignoring report id 0x%02x", buffer[0]);
      }
      continue;
    }
    if (is_gone(error) || ++failed_in_a_row >= kFailedReadsInARow) {
      xLog(kTag, LOG_INFO, kFn, "HidrawDevice::read_thread device gone, err=%d", error);
      self->deliver_removal(error);
      break;
    }
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::read_thread read failed, err=%d", error);
    self->deliver_failure(error, channel->length);
  }
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::read_thread end");
}

}  // namespace dovod
