#pragma once
// Feature 0x1D4B: notifications about the wireless link of a device behind a receiver. It has no
// operations; the device subscribes to its reports.

namespace dovod {

class IFeature1D4BWirelessStatus {
 public:
  class Report {
   public:
    virtual ~Report() = default;
    virtual void onWirelessStatusEvent(bool reconnect, bool config_needed, bool powerswitch) {}
  };

  virtual ~IFeature1D4BWirelessStatus() = default;
};

}  // namespace dovod
