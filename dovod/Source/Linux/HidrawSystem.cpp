#include "Source/Linux/HidrawSystem.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dovod {
namespace {

class HidrawSystem : public IHidrawSystem {
 public:
  int open_node(const std::string& path) override {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }

  bool raw_info(int fd, HidrawInfo& info) override {
    hidraw_devinfo raw{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &raw) < 0) return false;
    info.bus_type = raw.bustype;
    info.vendor_id = static_cast<std::uint16_t>(raw.vendor);
    info.product_id = static_cast<std::uint16_t>(raw.product);
    return true;
  }

  bool report_descriptor(int fd, Bytes& descriptor) override {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0) return false;
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
      errno = EINVAL;
      return false;
    }
    hidraw_report_descriptor raw{};
    raw.size = static_cast<__u32>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &raw) < 0) return false;
    descriptor.assign(raw.value, raw.value + size);
    return true;
  }

  bool raw_name(int fd, std::string& name) override {
    char buffer[256] = {};
    const int length = ::ioctl(fd, HIDIOCGRAWNAME(sizeof(buffer) - 1), buffer);
    if (length < 0) return false;
    name.assign(buffer, ::strnlen(buffer, sizeof(buffer) - 1));
    return true;
  }
};

}  // namespace

std::shared_ptr<IHidrawSystem> make_hidraw_system() { return std::make_shared<HidrawSystem>(); }

}  // namespace dovod
