#include "Source/Linux/HidrawChannel.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawDevice";

// A node whose device has gone answers reads with these; a socket pair's peer that went away
// answers with end of file instead, which is taken as ENODEV.
bool read_gone(int error) {
  return error == ENODEV || error == EIO || error == ENXIO || error == ECONNRESET || error == EPIPE ||
         error == ESHUTDOWN;
}

// Errors with which a node answers a write once its device has gone.
bool write_gone(int error) {
  return error == ENODEV || error == EPIPE || error == ECONNRESET || error == ESHUTDOWN;
}

}  // namespace

HidrawChannel::HidrawChannel(int fd, int stop_read, int stop_write, std::bitset<256> protocol_ids)
    : fd_(fd), stop_read_(stop_read), stop_write_(stop_write), protocol_ids_(protocol_ids) {}

HidrawChannel::~HidrawChannel() {
  ::close(fd_);
  ::close(stop_read_);
  ::close(stop_write_);
}

void HidrawChannel::stop() {
  const char wake = 1;
  if (::write(stop_write_, &wake, 1) < 0 && errno != EAGAIN) {
    xLog(kTag, LOG_ERROR, "dovod::HidrawDevice::close", "HidrawDevice::close could not signal stop, err=%d", errno);
  }
}

HidChannel::ReadResult HidrawChannel::read(Bytes& buffer) {
  static constexpr const char* kFn = "dovod::HidrawDevice::read_thread";
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_read_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return {ReadKind::Failed, 0, static_cast<unsigned>(errno)};
    }
    if (fds[1].revents != 0) return {ReadKind::Stopped};
    if (fds[0].revents & POLLNVAL) return {ReadKind::Failed, 0, EBADF};
    if (fds[0].revents == 0) continue;
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got == 0) return {ReadKind::Gone, 0, ENODEV};
    if (got < 0) {
      const int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
      return {read_gone(error) ? ReadKind::Gone : ReadKind::Failed, 0, static_cast<unsigned>(error)};
    }
    if (protocol_ids_.test(buffer[0])) return {ReadKind::Report, static_cast<std::size_t>(got)};
    xLog(kTag, LOG_VERBOSE, kFn, "HidrawDevice::read_thread ignoring report id 0x%02x", buffer[0]);
  }
}

// Waits for room within the limit, then hands the kernel the whole report at once. A kernel whose
// write() blocks by itself (the USB path) bounds the call with its own transfer timeout.
HidChannel::WriteResult HidrawChannel::write(const Bytes& report, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      xLog(kTag, LOG_WARNING, "dovod::HidrawDevice::write", "HidrawDevice::write timeout after %lld ms",
           static_cast<long long>(limit.count()));
      return {WriteKind::TimedOut};
    }
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {stop_read_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return {WriteKind::Failed, static_cast<unsigned>(errno)};
    }
    if (ready == 0) continue;
    if (fds[1].revents != 0) return {WriteKind::Failed, ECANCELED};
    if (fds[0].revents & POLLNVAL) return {WriteKind::Failed, EBADF};
    // Hang-up or error without room: write() tells which.
    const ssize_t written = ::write(fd_, report.data(), report.size());
    if (written == static_cast<ssize_t>(report.size())) return {WriteKind::Ok};
    if (written >= 0) return {WriteKind::Failed, EIO};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
    return {write_gone(error) ? WriteKind::Gone : WriteKind::Failed, static_cast<unsigned>(error)};
  }
}

}  // namespace dovod
