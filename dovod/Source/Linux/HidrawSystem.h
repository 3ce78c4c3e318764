#pragma once
// The calls through which a hidraw device opens its node and asks the kernel about it. Reading,
// writing and polling use the descriptor directly; only these go through an interface, so that a
// test can hand the device one end of a socket pair and answer the questions itself.

#include <cstdint>
#include <memory>
#include <string>

#include "dovod/Types.h"

namespace dovod {

struct HidrawInfo {
  std::uint32_t bus_type = 0;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

class IHidrawSystem {
 public:
  virtual ~IHidrawSystem() = default;

  // A new descriptor for the node, read and write, or -1 with errno set. The caller closes it.
  virtual int open_node(const std::string& path) = 0;
  // HIDIOCGRAWINFO; false with errno set.
  virtual bool raw_info(int fd, HidrawInfo& info) = 0;
  // HIDIOCGRDESCSIZE and HIDIOCGRDESC; false with errno set.
  virtual bool report_descriptor(int fd, Bytes& descriptor) = 0;
  // HIDIOCGRAWNAME; false with errno set.
  virtual bool raw_name(int fd, std::string& name) = 0;
};

// The kernel's hidraw interface.
std::shared_ptr<IHidrawSystem> make_hidraw_system();

}  // namespace dovod
