#pragma once

#include "dovod/IFeature0001FeatureSet.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion0001 {
 public:
  IFeatureForceInclusion0001();
};

class Feature0001FeatureSet : public Feature, public IFeature0001FeatureSet {
 public:
  static constexpr int kId = 0x0001;

  Feature0001FeatureSet(Byte index, std::weak_ptr<IDevice> device);

  bool GetCount(int* count) override;
  bool GetFeatureID(int featureIndex, int* featureId, bool* engineeringHidden, bool* swHidden, bool* obsolete,
                    int* version) override;
};

}  // namespace dovod
