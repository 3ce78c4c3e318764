#pragma once
// One Windows HID collection: a device interface path that opens with overlapped I/O. Windows
// gives every top-level collection its own path, so a device whose short and long reports are two
// collections is two of these, grouped again by the combiner. The first open decides from HidD
// and HidP whether the collection speaks the maker's protocol; reading and writing are the HID
// device base's, over a Win32Channel whose handle the bus watches.

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "Source/HidDevice.h"
#include "Source/Windows/IWin32System.h"

namespace dovod {

class Win32Bus;

class Win32Device : public HidDevice {
 public:
  // `devnode` is the one the enumeration found, 0 for a device made from a notification. Nothing
  // is opened here.
  Win32Device(std::weak_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path, DEVINST devnode,
              std::chrono::milliseconds write_limit = kWriteLimit);

  DEVINST devnode() const { return devnode_; }

 protected:
  std::shared_ptr<HidChannel> open_channel(HidLayout* layout) override;

 private:
  // The checks of the first open; false with LastError set. Throws DovodException when a system
  // function is missing.
  bool validate(HANDLE handle, HidLayout& layout);
  bool read_identity(HANDLE handle, HidLayout& layout);
  bool read_capabilities(HANDLE handle, HidLayout& layout);
  // The device instance of the collection's parent, which its sibling collections share; empty
  // when Windows will not say.
  std::string parent_instance();

  const std::weak_ptr<Win32Bus> win32_bus_;
  const std::shared_ptr<IWin32System> system_;
  const DEVINST devnode_;
  // Learnt on the first open; guarded as open_channel is.
  unsigned input_length_ = 0;
};

}  // namespace dovod
