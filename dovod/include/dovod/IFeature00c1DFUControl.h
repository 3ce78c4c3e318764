#pragma once
// Feature 0x00C1: asks the application firmware to restart into the bootloader (second form).

namespace dovod {

class IFeature00c1DFUControl {
 public:
  class ConfigReport {
   public:
    virtual ~ConfigReport() = default;
    // Never produced by this form; kept so that all three forms can be subscribed alike.
    virtual void onConfigReport(unsigned swid, unsigned short value) {}
  };

  virtual ~IFeature00c1DFUControl() = default;
  // `value` must be given.
  virtual bool GetDfuControl(int* value) = 0;
  virtual bool SetDfuControl(unsigned char enable, unsigned char param1, unsigned char param2,
                             unsigned char param3) = 0;
};

}  // namespace dovod
