#pragma once
// Feature 0x00C0: asks the application firmware to restart into the bootloader (first form).

namespace dovod {

class IFeature00c0DFUControl {
 public:
  class ConfigReport {
   public:
    virtual ~ConfigReport() = default;
    // Another program (software id `swid`) set the control; only direct subscribers are called.
    virtual void onConfigReport(unsigned swid, unsigned short value) {}
  };

  virtual ~IFeature00c0DFUControl() = default;
  virtual bool EnterDfuMode() = 0;
};

}  // namespace dovod
