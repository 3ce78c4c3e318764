#pragma once
// A HID device made by the kernel's uhid driver: the kernel parses its report descriptor and offers
// it through hidraw like any USB device. Output reports written by programs arrive at `on_output`
// on a thread of this object's own; `send_input` hands input reports to the kernel.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "dovod/Types.h"

namespace vorn::guest {

class UhidDevice {
 public:
  using OutputHandler = std::function<void(const dovod::Bytes& report)>;

  UhidDevice() = default;
  ~UhidDevice();
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  // False with errno set when /dev/uhid cannot be opened or refuses the device.
  bool create(const std::string& name, unsigned vendor, unsigned product,
              const dovod::Bytes& descriptor, OutputHandler on_output);
  bool send_input(const dovod::Bytes& report);
  // The device leaves the system as if unplugged.
  void destroy();

 private:
  void read_loop();

  int fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::thread reader_;
  OutputHandler on_output_;
};

}  // namespace vorn::guest
