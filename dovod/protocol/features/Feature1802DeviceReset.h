#pragma once

#include "dovod/IFeature1802DeviceReset.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion1802 {
 public:
  IFeatureForceInclusion1802();
};

class Feature1802DeviceReset : public Feature, public IFeature1802DeviceReset {
 public:
  static constexpr int kId = 0x1802;

  Feature1802DeviceReset(Byte index, std::weak_ptr<IDevice> device);

  void forceDeviceReset() override;
};

}  // namespace dovod
