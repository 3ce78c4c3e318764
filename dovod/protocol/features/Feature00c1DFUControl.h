#pragma once

#include "dovod/IFeature00c1DFUControl.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion00c1 {
 public:
  IFeatureForceInclusion00c1();
};

class Feature00c1DFUControl : public Feature,
                              public IFeature00c1DFUControl,
                              public Producer<IFeature00c1DFUControl::ConfigReport> {
 public:
  static constexpr int kId = 0x00C1;

  Feature00c1DFUControl(Byte index, std::weak_ptr<IDevice> device);

  bool GetDfuControl(int* value) override;
  bool SetDfuControl(unsigned char enable, unsigned char param1, unsigned char param2, unsigned char param3) override;

 protected:
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override;
};

}  // namespace dovod
