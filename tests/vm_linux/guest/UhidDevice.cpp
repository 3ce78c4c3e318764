#include "UhidDevice.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn::guest {

namespace {

bool write_event(int fd, const uhid_event& event) {
  const ssize_t n = ::write(fd, &event, sizeof(event));
  return n == static_cast<ssize_t>(sizeof(event));
}

}  // namespace

UhidDevice::~UhidDevice() { destroy(); }

bool UhidDevice::create(const std::string& name, unsigned vendor, unsigned product,
                        const dovod::Bytes& descriptor, OutputHandler on_output) {
  if (descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
    errno = EINVAL;
    return false;
  }
  fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return false;
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) return false;
  on_output_ = std::move(on_output);

  uhid_event event{};
  event.type = UHID_CREATE2;
  std::strncpy(reinterpret_cast<char*>(event.u.create2.name), name.c_str(),
               sizeof(event.u.create2.name) - 1);
  event.u.create2.rd_size = static_cast<__u16>(descriptor.size());
  event.u.create2.bus = BUS_USB;
  event.u.create2.vendor = vendor;
  event.u.create2.product = product;
  std::memcpy(event.u.create2.rd_data, descriptor.data(), descriptor.size());
  if (!write_event(fd_, event)) return false;
  reader_ = std::thread([this] { read_loop(); });
  return true;
}

bool UhidDevice::send_input(const dovod::Bytes& report) {
  if (fd_ < 0 || report.size() > UHID_DATA_MAX) return false;
  uhid_event event{};
  event.type = UHID_INPUT2;
  event.u.input2.size = static_cast<__u16>(report.size());
  std::memcpy(event.u.input2.data, report.data(), report.size());
  return write_event(fd_, event);
}

void UhidDevice::destroy() {
  if (fd_ < 0) return;
  if (reader_.joinable()) {
    const char stop = 1;
    (void)!::write(stop_pipe_[1], &stop, 1);
    reader_.join();
  }
  uhid_event event{};
  event.type = UHID_DESTROY;
  write_event(fd_, event);
  ::close(fd_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
  fd_ = -1;
}

void UhidDevice::read_loop() {
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    uhid_event event{};
    const ssize_t n = ::read(fd_, &event, sizeof(event));
    if (n <= 0) return;
    if (event.type == UHID_OUTPUT && event.u.output.size <= UHID_DATA_MAX) {
      on_output_(dovod::Bytes(event.u.output.data, event.u.output.data + event.u.output.size));
    }
  }
}

}  // namespace vorn::guest
