#pragma once

#include "dovod/IFeature00c2DFUControl.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion00c2 {
 public:
  IFeatureForceInclusion00c2();
};

class Feature00c2DFUControl : public Feature,
                              public IFeature00c2DFUControl,
                              public Producer<IFeature00c2DFUControl::ConfigReport> {
 public:
  static constexpr int kId = 0x00C2;

  Feature00c2DFUControl(Byte index, std::weak_ptr<IDevice> device);

  bool GetDfuControl(bool* enabled) override;
  bool SetDfuControl(unsigned char enable, unsigned char param) override;

 protected:
  void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) override;
};

}  // namespace dovod
