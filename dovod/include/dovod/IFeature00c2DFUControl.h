#pragma once
// Feature 0x00C2: asks the application firmware to restart into the bootloader (third form, the
// keyboard's).

namespace dovod {

class IFeature00c2DFUControl {
 public:
  class ConfigReport {
   public:
    virtual ~ConfigReport() = default;
    // Never produced by this form; kept so that all three forms can be subscribed alike.
    virtual void onConfigReport(unsigned swid, unsigned short value) {}
  };

  virtual ~IFeature00c2DFUControl() = default;
  // Any failure of the command reads as `ErrorCode::Mismatch` (1).
  virtual bool GetDfuControl(bool* enabled) = 0;
  // Does not wait: the device restarts instead of answering. True once the request was handed over.
  virtual bool SetDfuControl(unsigned char enable, unsigned char param) = 0;
};

}  // namespace dovod
