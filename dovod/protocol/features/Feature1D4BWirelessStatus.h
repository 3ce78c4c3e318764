#pragma once

#include "dovod/IFeature1D4BWirelessStatus.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion1D4B {
 public:
  IFeatureForceInclusion1D4B();
};

class Feature1D4BWirelessStatus : public Feature,
                                  public IFeature1D4BWirelessStatus,
                                  public Producer<IFeature1D4BWirelessStatus::Report> {
 public:
  static constexpr int kId = 0x1D4B;

  Feature1D4BWirelessStatus(Byte index, std::weak_ptr<IDevice> device);

 protected:
  void onFeatureReport(int function, const Bytes& payload) override;
};

}  // namespace dovod
