#pragma once
// Feature 0x0001: enumerates the device's features with their flags. Out-parameters may be null.

namespace dovod {

class IFeature0001FeatureSet {
 public:
  virtual ~IFeature0001FeatureSet() = default;
  // The highest feature index of the device.
  virtual bool GetCount(int* count) = 0;
  virtual bool GetFeatureID(int featureIndex, int* featureId, bool* engineeringHidden, bool* swHidden,
                            bool* obsolete, int* version) = 0;
};

}  // namespace dovod
