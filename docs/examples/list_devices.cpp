// Lists the maker's devices present now with the firmware version of each.
#include <cstdio>
#include <memory>
#include <string>

#include "dovod/CDovod.h"
#include "dovod/IDevice.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/LastError.h"
#include "dovod/PrintableText.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

int main() {
  dovod::Vs2003SingletonThreadCleanup cleanup;  // joins the library's threads when main ends
  dovod::CDovod& library = dovod::CDovod::instance();
  library.config_set(dovod::IDeviceManager::usb_active, true);     // directly attached devices
  library.config_set(dovod::IDeviceManager::tandem_active, true);  // receivers and their devices
  const auto devices = library.devices();  // starts the buses; blocks while they list
  if (devices.empty() && dovod::last_error().code != dovod::ErrorCode::None) {
    std::fprintf(stderr, "listing failed, error %d\n", dovod::to_int(dovod::last_error().code));
    return 1;
  }
  for (const std::shared_ptr<dovod::IDevice>& device : devices) {
    auto info = std::dynamic_pointer_cast<dovod::IFeature0003FirmwareInfo>(device->feature_by_id(0x0003));
    std::string version;
    if (!info || !info->GetFwFormattedVersion(&version)) {
      version = "unknown (error " + std::to_string(dovod::to_int(dovod::last_error().code)) + ")";
    }
    // Names and versions come from the devices: escaped before they reach the terminal.
    std::printf("%04x %-24s %s\n", device->pid(), dovod::printable_text(device->product_name()).c_str(),
                dovod::printable_text(version).c_str());
  }
  return 0;
}
